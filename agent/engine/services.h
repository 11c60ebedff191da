// What the run needs from the workstation beyond files: the status window and message boxes, the
// reboot, and the existence test for the script. One Win32 implementation; fakes in the tests.
#pragma once

#include <string>

namespace dravik {

enum class MessageIcon { kNone, kExclamation, kQuestion, kStop };

class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // A modal message box owned by the status window, top-most; `foreground` also brings it forward.
    virtual void show_message(const std::string& text, const std::string& title, MessageIcon icon, bool foreground) = 0;
    // Yes/No box with the question icon; true for Yes.
    virtual bool ask_yes_no(const std::string& text, const std::string& title) = 0;
    // Just before the sections run: the tray icon is added or updated, and the status window is shown
    // with the update's name ("Dravik Status") or hidden ("Dravik").
    virtual void sections_starting(const std::string& update_name, bool show_progress) = 0;
    // After the sections: the status window is minimised (which hides it).
    virtual void sections_finished() = 0;
    // The status window has been closed: the program is ending.
    virtual bool stop_requested() = 0;
    // The passphrase prompt of the `promptpassphrase` option; returns once it is answered or has
    // waited 120 seconds. What was typed stays with the user interface.
    virtual void prompt_passphrase() {}
};

class SystemServices {
  public:
    virtual ~SystemServices() = default;
    virtual bool file_exists(const std::string& path) = 0;
    // The path made absolute against the current directory.
    virtual std::string full_path(const std::string& path) = 0;
    // Asks the system to restart (with the shutdown privilege enabled first on the NT family). On
    // failure `error_text` holds the system's description of the last error.
    virtual bool reboot(bool is_nt, std::string& error_text) = 0;
};

}  // namespace dravik
