// The "-shortcut" command and the shell links it writes.
//
// The shell-link component is reached through a small interface (make one folder, save one link)
// with one Win32 implementation (shortcut_win32.h) and a fake in the tests. The executor decides the
// link's file name, the folder to make and the message for each outcome.
#pragma once

#include <cstdint>
#include <string>

#include "commands/parsed_command.h"

namespace dravik {

struct RunState;

struct LinkRequest {
    std::string file;  // the link file, ".lnk" already in place
    std::string target, arguments, directory;
    int show = 0;  // show command; 0 when the script named none
};

// How far saving a link got.
enum class LinkOutcome {
    kSaved,
    kNotCreated,  // the shell-link object could not be made; see `code`
    kNoPersist,   // the object offers no IPersistFile
    kNotSaved,    // IPersistFile::Save failed
};

class ShortcutHost {
  public:
    virtual ~ShortcutHost() = default;
    // Makes one folder; an existing one is fine, a failure is not reported.
    virtual void create_directory(const std::string& path) = 0;
    // `code` receives the component's result code when the object could not be made.
    virtual LinkOutcome save_link(const LinkRequest& request, uint32_t& code) = 0;
};

// "-shortcut": writes the link file and logs the outcome.
void CreateShortcut(RunState& run, const ParsedCommand& cmd, ShortcutHost& host);

}  // namespace dravik
