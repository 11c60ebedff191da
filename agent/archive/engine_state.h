// Working state of the engine per thread and side (zip, unzip), the result texts, reporting of
// results to the log and the display function, and the diagnostic log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip_reader.h"
#include "zip_writer.h"
#include "zipdll.h"

namespace dravik::archive {

struct ZipThreadState {
    bool busy = false;
    std::string progress_title = "Compress Progress";
    std::string last_message;
    uint32_t temp_counter = 0;
    // Threads that compress files for this thread's commands, this one included: 0 one per
    // processor, 1 this one alone.
    unsigned worker_threads = 0;
    // Files larger than this are streamed by the writer instead of prepared whole.
    uint64_t whole_entry_limit = kWholeEntryLimit;
};

struct UnzipThreadState {
    bool busy = false;
    std::string progress_title = "Extract Progress";
    std::string last_message;
    uint32_t temp_counter = 0;
    // The get-next sequence: which archive (and filespec for the named variant), and where. The
    // reader keeps the archive's directory between calls but never its file open.
    std::string listing_archive;
    std::string listing_filespec;
    int listing_function = 0;
    size_t listing_next = 0;
    std::unique_ptr<ZipReader> listing_reader;
};

// The calling thread's state, created on first use (nullptr when that fails).
ZipThreadState* zip_state();
UnzipThreadState* unzip_state();

// Writes a line to the caller's log.
void log_line(const std::string& text);

// Asks through the display function or a message box; returns the button (1 OK .. 7 No).
// `buttons` are the answers the style offers; others fall back to the message box.
int ask(ZIPMESSAGEPROC display, void* data, const std::string& text, unsigned style, const std::vector<int>& buttons);

// Appends `lines` to the diagnostic log with a dated header.
void write_diagnostic(const std::string& side, const std::vector<std::string>& lines);

std::string hex_pointer(const void* p);

}  // namespace dravik::archive
