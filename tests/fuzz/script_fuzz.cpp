// Fuzz target: arbitrary bytes as a script, run from Common through the section driver against fake
// services. Loops that never end are a script's right, so each input gets a budget of statements
// after which the run is cancelled like a user would.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/fakes.h"
#include "engine/interpreter.h"
#include "engine/update_run.h"

namespace {

constexpr int kStatementBudget = 2000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dravik;
    test::FakeClock clock;
    test::FakeEnvironment env;
    env.values["PATH"] = "C:\\Windows";
    test::HostLogFileSystem files;
    test::FakeUi ui;
    test::FakeSystem system;
    RunState run(Services{clock, env, files, ui, system});
    run.reader.load_bytes(std::string(reinterpret_cast<const char*>(data), size));

    int statements = 0;
    StatementHandlers handlers;
    handlers.prompt = [](RunState&) { return true; };
    handlers.after_statement = [&](RunState& r) {
        if (++statements >= kStatementBudget) r.cancel = true;
    };
    SectionResult last =
        run_sections(run, [&](std::string_view name, bool resume) { return run_section(run, name, resume, handlers); });
    if (last != update_stopped) {
        run.calls.clear();
        run.cancel = false;
        statements = 0;
        run_section(run, "Cleanup", false, handlers);
    }
    return 0;
}
