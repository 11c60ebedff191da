// One run of the value-queue tool: take the first line of the queue file under its lock file and
// store its values (file mode), or ask for the values (entry mode). Platform-neutral; the services
// come in through the interfaces of services.h.
#pragma once

#include <string>
#include <vector>

#include "services.h"

namespace dkgetval {

constexpr std::size_t kMaxLineKept = 4096;  // characters of the first line that are kept

constexpr unsigned kRoundMilliseconds = 1000;
constexpr unsigned kMissingQueuePause = 2000;
constexpr int kFinishAttempts = 10;  // tries to open a busy queue when finishing a stopped run's rewrite
constexpr unsigned kFinishPause = 100;

enum class FileOutcome {
    no_queue,        // neither queue file nor lock file: nothing touched
    gave_up,         // the rounds ran out (queue busy or lock file present); a stale lock was deleted
    lock_restored,   // the rounds ran out with only a lock file left: it became the queue file again
    copy_failed,     // reading the queue or writing the lock file failed; the queue is unchanged
    rewrite_failed,  // the queue could not be rewritten at once: the lock file keeps the journal for a
                     // later run to finish; with line_taken, the line was taken and its values stored
    key_failed,      // the line was taken but the registry key could not be created
    stored,          // the line was taken and its values stored
};

struct FileRun {
    FileOutcome outcome = FileOutcome::no_queue;
    bool line_taken = false;  // the queue file lost its first line (false for an empty file)
    std::string line;         // the kept part of the first line
    std::vector<std::string> values;
};

// File mode. Locking protocol: a run owns the queue while it holds the lock file, which it creates
// exclusively (so two runs never both own it) before opening the queue file exclusively (so no
// other program is writing it). It copies everything after the first line into the lock file, a
// journal (queue_journal.h), and rewrites the queue in place from it before letting go of either:
// the queue file keeps its identity, and no program can append between reading and rewriting.
// A lock file whose size does not change for all rounds is stale: unless a live run holds it open,
// the rewrite its journal describes is finished and it is deleted; a lock file without a journal
// (left by an earlier version between deleting the queue and renaming) becomes the queue again.
FileRun run_file_mode(const std::string& queue_file, int rounds, FileSystem& fs, Pause& pause, ValueStore& store);

// Entry mode: one prompt per value; Cancel skips a prompt without using a number. Returns the
// number of values stored, or -1 when the key could not be created.
int run_entry_mode(const std::vector<std::string>& prompts, Prompter& prompter, ValueStore& store);

// Recreates the key with "Value1".."ValueN" and Count = N. False when the key cannot be created.
bool store_values(const std::vector<std::string>& values, ValueStore& store);

// One line describing a file-mode run, for the optional run trace.
std::string describe(const FileRun& run);

}  // namespace dkgetval
