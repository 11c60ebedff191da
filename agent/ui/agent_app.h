// The update agent's process-wide objects: its windows, events and threads, the Win32 services, and
// the one run. Win32 only.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "commands/registry_win32.h"
#include "engine/platform_win32.h"
#include "engine/run_state.h"
#include "prompt_window.h"

namespace dravik {

class AgentApp;

// The status window and message boxes as the run sees them.
class Win32UserInterface : public UserInterface {
public:
    explicit Win32UserInterface(AgentApp& app) : app_(app) {}
    void show_message(const std::string& text, const std::string& title, MessageIcon icon, bool foreground) override;
    bool ask_yes_no(const std::string& text, const std::string& title) override;
    void sections_starting(const std::string& update_name, bool show_progress) override;
    void sections_finished() override;
    bool stop_requested() override;
    void prompt_passphrase() override;

private:
    AgentApp& app_;
};

enum class TrayMode { kAdd, kModify, kRemove };

constexpr UINT kTrayCallbackMessage = 10002;  // TRAY_CALLBACK_MESSAGE
constexpr int kProgressBound = 60;
constexpr char kProgramName[] = "DravikLT";

// Owned by the main entry; destroyed only once the worker and the progress thread have ended.
class AgentApp {
public:
    explicit AgentApp(HINSTANCE instance)
        : instance(instance),
          ui(*this),
          run(Services{clock, environment, log_files, ui, system}) {}
    ~AgentApp();
    AgentApp(const AgentApp&) = delete;
    AgentApp& operator=(const AgentApp&) = delete;

    HINSTANCE instance;
    HWND status = nullptr;       // the status window (user-interface thread)
    HWND status_text = nullptr;  // its text line
    HWND status_bar = nullptr;   // its activity bar
    HFONT status_font = nullptr;
    HWND prompt = nullptr;       // the hidden prompt window (worker thread)
    std::unique_ptr<PromptState> prompt_state;  // its forms and passphrase (worker thread)
    HANDLE worker = nullptr;                 // joined by the main entry before it returns
    HANDLE progress = nullptr;               // started by the worker, joined after it
    std::atomic<HANDLE> stop_event{nullptr};
    std::atomic<bool> closing{false};        // the status window has closed; see signal_stop()
    HANDLE prompt_event = nullptr;
    std::atomic<bool> tray_added{false};
    UINT taskbar_created = 0;

    Win32Clock clock;
    Win32Environment environment;
    Win32LogFileSystem log_files;
    Win32System system;
    Win32UserInterface ui;
    Win32Registry registry;
    RunState run;
};

// Status window (status_window.cpp).
bool register_status_class(HINSTANCE instance);
HWND create_status_window(AgentApp& app);
void UpdateTrayIcon(AgentApp& app, TrayMode mode);
DWORD WINAPI progress_thread(LPVOID app);
// Tells the progress thread and the run that the program is ending. Safe before the progress thread
// has created the stop event: it then sees the closing flag instead.
void signal_stop(AgentApp& app);

// Worker thread (worker.cpp) and its hidden prompt window (prompt_window.cpp).
DWORD WINAPI worker_thread(LPVOID app);
bool create_prompt_window(AgentApp& app);
// Closes the prompt window at the end of the run, with any form still on it.
void close_prompt_window(AgentApp& app);

// The modal help dialog, owned by the status window.
void show_help_dialog(AgentApp& app);

}  // namespace dravik
