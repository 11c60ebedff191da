// A test hook, built only with the CMake option DRAVIK_TEST_HOOKS (never in the shipped program):
// when the environment variable DKGETVAL_TRACE names a folder, each file-mode run leaves a file
// there with one line saying what it did, so the integration tests can account for concurrent runs.
#pragma once

#include <string>

namespace dkgetval {

void write_trace(const std::string& line);

}  // namespace dkgetval
