// The shortcut and component commands over fake hosts: the link's name and folder, the version
// comparison, and the messages of outcomes Wine cannot produce on demand. The copy decisions on real
// files are tested under Wine (test_commands.py).
#include <gtest/gtest.h>

#include <set>

#include "command_test_support.h"
#include "commands/control.h"
#include "commands/shortcut.h"
#include "fake_registry.h"

namespace dravik::test {

namespace {

TEST(VersionTextTest, ComparesNumericallyFieldByField) {
    const struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"1.10", "1.9", 1},    {"1.9", "1.10", -1},           {"0.9", "1.0", -1},         {"1.0", "0.9", 1},
        {"1.0", "1.0", 0},     {"1.0 beta", "1.0", 0},        {"1.0", "1.0 beta", 0},     {"1.0.0.0", "1.0", 0},
        {"1.0.0.1", "1.0", 1}, {"5, 0, 2, 17", "5.0.2.9", 1}, {"1.2.3.4", "1.2.3.5", -1}, {"2.0.0.0", "10.0.0.0", -1},
        {"01.02", "1.2", 0},   {"1.2.3.4.9", "1.2.3.4", 0},  // a fifth field is no part of the version
    };
    for (const auto& c : cases) {
        int r = CompareVersionTexts(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " against " << c.b;
    }
}

class FakeShortcuts : public ShortcutHost {
  public:
    void create_directory(const std::string& path) override { folders.push_back(path); }
    LinkOutcome save_link(const LinkRequest& request, uint32_t& code) override {
        saved = request;
        code = fail_code;
        return outcome;
    }
    std::vector<std::string> folders;
    LinkRequest saved;
    LinkOutcome outcome = LinkOutcome::kSaved;
    uint32_t fail_code = 0;
};

TEST(ShortcutCommandTest, NamesTheLinkMakesItsFolderAndReportsEachOutcome) {
    HostFileSystem files;
    FakeRegistry registry;
    FakeShortcuts host;
    auto run = [&](const std::string& line) {
        CommandTestRun t;
        CommandServices services{files, registry};
        services.shortcuts = &host;
        std::string log = run_commands(t, line, services);
        return log.substr(log.find(", ") + 2);
    };
    EXPECT_EQ(run("-shortcut \"c:\\My Links\\Editor\" notepad.exe c:\\x.txt c:\\ max"), "Shortcut saved.\n");
    EXPECT_EQ(host.saved.file, "c:\\My Links\\Editor.LNK");
    EXPECT_EQ((std::vector<std::string>{host.saved.target, host.saved.arguments, host.saved.directory}),
              (std::vector<std::string>{"notepad.exe", "c:\\x.txt", "c:\\"}));
    EXPECT_EQ(host.saved.show, 3);
    EXPECT_EQ(host.folders, std::vector<std::string>{"c:\\My Links"});

    const std::pair<uint32_t, const char*> failures[] = {
        {0x80040154u, "Error initializing interface: Class not registered.\n"},
        {0x80040110u, "Error initializing interface: Class cannot be created as part of an aggregate.\n"},
        {0x80004002u, "Error initializing interface: The class does not implement the requested service.\n"},
        {0x80004005u, "Error initializing interface.\n"},
    };
    host.outcome = LinkOutcome::kNotCreated;
    for (const auto& [code, message] : failures) {
        host.fail_code = code;
        EXPECT_EQ(run("-shortcut a b"), message);
    }
    host.outcome = LinkOutcome::kNoPersist;
    EXPECT_EQ(run("-shortcut a b"), "Interface not supported.\n");
    host.outcome = LinkOutcome::kNotSaved;
    EXPECT_EQ(run("-shortcut a b"), "The shortcut could not be saved.\n");
}

class FakeComponents : public ComponentHost {
  public:
    std::set<std::string> in_use;  // copies onto them fail
    std::vector<std::string> calls;
    uint32_t ole_result = 0;

    // No versions, and no file opens exclusively: the copy is always made.
    bool version_text(const std::string&, std::string&) override { return false; }
    bool exclusive_write_time(const std::string&, FileStamp&) override { return false; }
    bool copy_file(const std::string& from, const std::string& to) override {
        calls.push_back("copy " + from + " " + to);
        return in_use.count(to) == 0;
    }
    bool replace_at_restart(const std::string& from, const std::string& to, std::string&) override {
        calls.push_back("at restart " + from + " " + to);
        return true;
    }
    uint32_t ole_initialize() override { return ole_result; }
    void ole_uninitialize() override { calls.push_back("uninitialize"); }
    bool call_entry_point(const std::string& path, const char* name) override {
        calls.push_back(std::string(name) + " " + path);
        return path != "plain.dll";
    }
    bool delete_file(const std::string& path, std::string& error_text) override {
        error_text = "Access is denied.";
        return path != "locked.dll";
    }
};

TEST(ControlCommandTest, ReportsEachOutcome) {
    HostFileSystem files;
    FakeRegistry registry;
    FakeComponents host;
    std::unique_ptr<CommandTestRun> t;
    auto run = [&](const std::string& line) {
        host.calls.clear();
        t = std::make_unique<CommandTestRun>();
        CommandServices services{files, registry};
        services.components = &host;
        std::string log = run_commands(*t, line, services);
        return log.substr(log.find(", ") + 2);
    };
    host.in_use = {"busy.dll"};
    // Nothing to compare, so the copy is made; the file in use gets it at the next restart. The
    // message has no line end: the next entry continues the line.
    EXPECT_EQ(run("-xdll busy.dll -r old.dll"), "Copy on Reboot file:  ");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"copy old.dll busy.dll", "at restart old.dll busy.dll"}));

    EXPECT_EQ(run("-xdll plain.dll"), "Control not registered: Could not find registration procedure.\n");
    EXPECT_EQ(run("-xdll plain.dll -u"), "Control not unregistered: Could not find unregistration procedure.\n");
    EXPECT_EQ(host.calls.back(), "uninitialize");
    EXPECT_EQ(run("-xdll ctl.dll -ud"), "Control unregistered and deleted.\n");
    EXPECT_EQ(t->clock.slept_ms, 1000u);
    EXPECT_EQ(run("-xdll locked.dll -uD"), "Control unregistered but not deleted: Access is denied.\n");
    EXPECT_EQ(run("-xdll ctl.dll -u"), "Control unregistered.\n");
    EXPECT_EQ(t->clock.sleeps, 0);

    const std::pair<uint32_t, const char*> ole[] = {
        {0x80070057u, "Error initializing COM: Invalid argument.\n"},
        {0x8007000Eu, "Error initializing COM: Out of memory.\n"},
        {0x8000FFFFu, "Error initializing COM: Unexpected error.\n"},
        {0x8004000Eu,
         "Error initializing COM: The versions of COMPOBJ.DLL and OLE2.DLL are incompatible with each other.\n"},
        {0x80010106u,
         "Error initializing COM: COM already initialized with a different concurrency model for this apartment.\n"},
        {0x80004005u, "Error initializing COM library.\n"},
    };
    for (const auto& [code, message] : ole) {
        host.ole_result = code;
        EXPECT_EQ(run("-xdll ctl.dll"), message);
        EXPECT_TRUE(host.calls.empty());
    }
    host.ole_result = 1;  // S_FALSE: already initialised on this thread, which is success
    EXPECT_EQ(run("-xdll ctl.dll"), "Control registered.\n");
}

}  // namespace

}  // namespace dravik::test
