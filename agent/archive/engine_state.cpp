// Per-thread working state, texts and reporting shared by the zip and unzip sides.
#include "engine_state.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "host.h"

namespace dravik::archive {
namespace {

// The slot is "allocated" once per process; each thread's state lives in it between its attach
// and detach calls.
std::atomic<int> g_zip_slot{0}, g_unzip_slot{0};
// Plain pointers, released by the detach calls: a thread_local object with a destructor makes the
// MinGW runtime run that destructor from its thread-exit hook, and a worker thread ending while the
// process exits then deadlocked the agent's exit under Wine now and then.
thread_local ZipThreadState* t_zip = nullptr;
thread_local UnzipThreadState* t_unzip = nullptr;

std::mutex g_log_mutex;
ARCHIVELOGPROC g_log = nullptr;
void* g_log_data = nullptr;
std::string g_diag_path;

const char* const kZipTexts[] = {"Success",
                                 "Busy, can't re-enter now",
                                 "Unexpected end of Zip file",
                                 "Zip file structure invalid",
                                 "Out of memory",
                                 "Internal logic error",
                                 "Entry too big to split",
                                 "Invalid comment format",
                                 "Zip file invalid or insufficient memory",
                                 "Operation interrupted by application",
                                 "Temporary file failure",
                                 "Input file read failure",
                                 "Nothing to do!",
                                 "Missing or empty Zip file",
                                 "Output file write failure, possible disk full",
                                 "Could not create output file",
                                 "Invalid control parameters",
                                 "Could not complete operation",
                                 "File not found or no read permission",
                                 "Media Error Encountered",
                                 "Invalid Multi-Volume control parameters",
                                 "Improper use of Multi-Volume Zip file",
                                 "Encryption process could not complete"};

const char* unzip_text(int code) {
    switch (code) {
        case 0: return "Success";
        case 2: return "Unexpected end of zip file";
        case 3: return "Zip file structure invalid";
        case 4:
        case 5: return "Out of memory";
        case 9: return "File not found";
        case 11: return "No files to test, extract, etc.";
        case 22: return "Decryption process could not complete";
        case 25: return "Index out of bounds";
        case 26: return "Multi-disk archive, not supported";
        case 28: return "Error creating output file";
        case 29: return "Error opening archive";
        case 39: return "Bad CRC";
        case 40: return "Application cancelled operation";
        case 41: return "File skipped, encrypted";
        case 42: return "File skipped, unknown compression method";
        case 44: return "Bad or missing decryption key";
        case 45: return "Busy, can't re-enter now";
        case 46: return "Can't extract a Volume ID item";
        case 47: return "Command syntax error";
        case 48: return "User cancelled this operation";
        case 49: return "User skipped this operation";
        case 50: return "Disk full";
        default: return "-";
    }
}

}  // namespace

ZipThreadState* zip_state() {
    if (!t_zip && !ZipThreadAttach()) return nullptr;
    return t_zip;
}

UnzipThreadState* unzip_state() {
    if (!t_unzip && !UnzipThreadAttach()) return nullptr;
    return t_unzip;
}

void log_line(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    if (g_log) g_log(text.c_str(), g_log_data);
}

int ask(ZIPMESSAGEPROC display, void* data, const std::string& text, unsigned style, const std::vector<int>& buttons) {
    if (display) {
        char title[256] = "Dravik archive engine";
        int answer = display(0, style, 0, 0, text.c_str(), title, data);
        if (std::find(buttons.begin(), buttons.end(), answer) != buttons.end()) return answer;
    }
    return host().message_box(text, "Dravik archive engine", style);
}

std::string hex_pointer(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%#08lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    return buf;
}

void write_diagnostic(const std::string& side, const std::vector<std::string>& lines) {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_log_mutex);
        path = g_diag_path;
    }
    if (path.empty()) path = host().diagnostic_log_path();
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return;
    std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%m/%d/%Y %H:%M:%S", std::localtime(&now));
    std::fprintf(f, "%s %s\r\n", side.c_str(), date);
    for (const auto& l : lines) std::fputs(l.c_str(), f);
    std::fclose(f);
}

}  // namespace dravik::archive

using namespace dravik::archive;

extern "C" {

int32_t ZipProcessAttach(void*) {
    int expected = 0;
    g_zip_slot.compare_exchange_strong(expected, 1);
    return 1;
}
int32_t ZipThreadAttach(void) {
    if (!t_zip) t_zip = new (std::nothrow) ZipThreadState();
    return t_zip ? 1 : 0;
}
void ZipThreadDetach(void) {
    delete t_zip;
    t_zip = nullptr;
}
void ZipProcessDetach(void) { g_zip_slot = 0; }

int32_t UnzipProcessAttach(void*) {
    int expected = 0;
    g_unzip_slot.compare_exchange_strong(expected, 1);
    return 1;
}
int32_t UnzipThreadAttach(void) {
    if (!t_unzip) t_unzip = new (std::nothrow) UnzipThreadState();
    return t_unzip ? 1 : 0;
}
void UnzipThreadDetach(void) {
    delete t_unzip;
    t_unzip = nullptr;
}
void UnzipProcessDetach(void) { g_unzip_slot = 0; }

const char* ZipResultText(int32_t code) {
    return (code >= 0 && code < int32_t(sizeof kZipTexts / sizeof kZipTexts[0])) ? kZipTexts[code] : "-";
}
const char* UnzipResultText(int32_t code) { return unzip_text(code); }

const char* ZipLastMessage(void) {
    ZipThreadState* s = zip_state();
    return s ? s->last_message.c_str() : "";
}
const char* UnzipLastMessage(void) {
    UnzipThreadState* s = unzip_state();
    return s ? s->last_message.c_str() : "";
}

void ArchiveSetLog(ARCHIVELOGPROC log, void* userData) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_log = log;
    g_log_data = userData;
}

void ArchiveSetDiagnosticLogPath(const char* path) {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    g_diag_path = path ? path : "";
}

}  // extern "C"
