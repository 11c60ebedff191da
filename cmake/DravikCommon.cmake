# Build settings shared by every target: warnings, sanitizers (native), static Win32 linking,
# and the helper that declares a unit-test executable.

set(DRAVIK_WARNINGS -Wall -Wextra)

if(WIN32)
    enable_language(RC)
    # ANSI Win32 API, XP-era structures available, no min/max macros.
    add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0600 NOMINMAX WIN32_LEAN_AND_MEAN)
    # Static runtime: the programs run on a workstation with no MinGW DLLs beside them.
    add_link_options(-static -static-libgcc -static-libstdc++)
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
else()
    option(DRAVIK_FUZZ "Build the libFuzzer targets (clang) instead of the unit tests" OFF)
    option(DRAVIK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
    option(DRAVIK_TSAN "Build with ThreadSanitizer (instead of the other sanitizers)" OFF)
    if(DRAVIK_FUZZ)
        add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    elseif(DRAVIK_TSAN)
        add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
        add_link_options(-fsanitize=thread)
    elseif(DRAVIK_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()

# Where GoogleTest comes from: the system package natively, the Debian source package when cross-compiling.
function(dravik_setup_gtest)
    if(TARGET GTest::gtest_main)
        return()
    endif()
    if(WIN32)
        set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    else()
        find_package(GTest REQUIRED)
    endif()
endfunction()

# dravik_add_unit_test(NAME name SOURCES ... LIBS ...): one GoogleTest executable.
# Natively each test is registered with ctest; in the Windows builds the executable is built
# and the native build runs it under Wine.
function(dravik_add_unit_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    dravik_setup_gtest()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
    target_compile_options(${T_NAME} PRIVATE ${DRAVIK_WARNINGS})
    if(WIN32)
        set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    else()
        include(GoogleTest)
        gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
