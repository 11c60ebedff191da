// File mode and entry mode of the value-queue tool (protocol described in queue_run.h).
#include "queue_run.h"

#include <cstdio>

#include "command_line.h"
#include "queue_journal.h"
#include "values.h"

namespace dkgetval {

namespace {

std::string value_name(std::size_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "Value%u", static_cast<unsigned>(number));
    return name;
}

struct FirstLine {
    bool ok = true;
    std::uint64_t length = 0;  // bytes of the line and its line end
    std::string kept;
};

// Reads the first line up to CR, LF or the end; a CR may be followed by one LF, which belongs to
// the line end. Characters beyond kMaxLineKept are read but not kept.
FirstLine read_first_line(OpenFile& queue) {
    FirstLine line;
    char c;
    long n;
    bool cr = false;
    while ((n = queue.read(&c, 1)) == 1) {
        ++line.length;
        if (c == '\r') {
            cr = true;
            break;
        }
        if (c == '\n') break;
        if (line.kept.size() < kMaxLineKept) line.kept += c;
    }
    if (n < 0) line.ok = false;
    if (cr) {
        n = queue.read(&c, 1);
        if (n < 0 || (n == 1 && c != '\n' && !queue.step_back())) line.ok = false;
        if (n == 1 && c == '\n') ++line.length;
    }
    return line;
}

// Holding the lock file and the open queue: write the rest of the queue to the journal, commit to
// the rewrite, rewrite the queue in place, then store the values. A kill before the commit leaves
// the queue as it was; after it, a later run finishes the rewrite.
FileRun take_first_line(const std::string& lock, std::unique_ptr<OpenFile> queue, std::unique_ptr<OpenFile> journal,
                        FileSystem& fs, ValueStore& store) {
    FileRun run;
    auto let_go = [&] {
        queue.reset();
        journal.reset();
        fs.remove(lock);
    };
    FirstLine line = read_first_line(*queue);
    std::optional<std::uint64_t> size = queue->size();
    JournalHeader header;
    bool journaled = line.ok && size && write_header(*journal, header) && journal->seek(kHeaderSize) &&
                     queue->seek(line.length) && copy_bytes(*queue, *journal, *size - line.length) &&
                     journal->flush();
    if (!journaled) {
        let_go();
        run.outcome = FileOutcome::copy_failed;
        return run;
    }
    if (line.length > 0) {
        header.state = JournalState::ready;
        header.queue_size = *size;
        header.keep = *size - line.length;
        header.mark = new_mark();
        // The commit. Should writing it fail, what reached the disk decides, when a later run reads it.
        if (!write_header(*journal, header)) {
            run.outcome = FileOutcome::rewrite_failed;
            return run;
        }
        if (!apply(*queue, *journal, header)) run.outcome = FileOutcome::rewrite_failed;
    }
    if (run.outcome == FileOutcome::rewrite_failed) {
        // The journal stays: a later run finishes the rewrite. The line is taken all the same.
        queue.reset();
        journal.reset();
    } else {
        let_go();
    }

    run.line_taken = line.length > 0;
    run.line = std::move(line.kept);
    run.values = split_values(run.line);
    bool stored = store_values(run.values, store);
    if (run.outcome != FileOutcome::rewrite_failed) run.outcome = stored ? FileOutcome::stored : FileOutcome::key_failed;
    return run;
}

// The rounds ran out with a lock file that did not change. Unless a live run still holds it, the
// run that left it stopped: finish the rewrite its journal commits to, then delete it.
FileOutcome clear_stale_lock(const std::string& queue_file, const std::string& lock, FileSystem& fs, Pause& pause) {
    std::unique_ptr<OpenFile> journal = fs.open_exclusive(lock);
    if (!journal) return FileOutcome::gave_up;
    std::optional<JournalHeader> header = read_header(*journal);
    if (!header) {
        // A copy of the remaining lines that an earlier version left between deleting the queue
        // and renaming, or a lock file its run stopped before writing to.
        journal.reset();
        if (!fs.exists(queue_file) && fs.rename(lock, queue_file)) return FileOutcome::lock_restored;
        fs.remove(lock);
        return FileOutcome::gave_up;
    }
    // A queue file deleted since then (no run deletes it) leaves nothing to finish.
    if (needs_finishing(*header) && fs.exists(queue_file)) {
        std::unique_ptr<OpenFile> queue = fs.open_exclusive(queue_file);
        // Another program may hold the queue for a moment.
        for (int attempt = 0; !queue && attempt < kFinishAttempts; ++attempt) {
            pause.pause(kFinishPause);
            queue = fs.open_exclusive(queue_file);
        }
        if (!queue || !finish(*queue, *journal, *header)) return FileOutcome::gave_up;
    }
    journal.reset();
    fs.remove(lock);
    return FileOutcome::gave_up;
}

}  // namespace

FileRun run_file_mode(const std::string& queue_file, int rounds, FileSystem& fs, Pause& pause, ValueStore& store) {
    const std::string lock = lock_file_name(queue_file);
    FileRun run;
    // A missing queue with a lock file left beside it is not missing: the lock file holds its lines.
    if (!fs.exists(queue_file) && !fs.exists(lock)) {
        pause.pause(kMissingQueuePause);
        run.outcome = FileOutcome::no_queue;
        return run;
    }
    store.delete_key();

    std::uint64_t size_seen = 0;
    for (int round = 0; round < rounds;) {
        CreateResult created;
        std::unique_ptr<OpenFile> lock_file = fs.create_exclusive(lock, created);
        if (created == CreateResult::created) {
            if (std::unique_ptr<OpenFile> queue = fs.open_exclusive(queue_file)) {
                return take_first_line(lock, std::move(queue), std::move(lock_file), fs, store);
            }
            // The queue is busy or gone: let go of the lock and try again next round.
            lock_file.reset();
            fs.remove(lock);
        } else if (created == CreateResult::exists) {
            // Another run (or a stopped one) holds the lock. Only rounds in which its size stays
            // the same count towards giving up.
            std::optional<std::uint64_t> size = fs.size(lock);
            if (size && *size != size_seen) {
                size_seen = *size;
                round = 0;
            }
        }
        pause.pause(kRoundMilliseconds);
        ++round;
    }

    run.outcome = fs.exists(lock) ? clear_stale_lock(queue_file, lock, fs, pause) : FileOutcome::gave_up;
    return run;
}

bool store_values(const std::vector<std::string>& values, ValueStore& store) {
    store.delete_key();
    if (!store.create_key()) return false;
    std::size_t number = 0;
    for (const std::string& value : values) store.set(value_name(++number), value);
    store.set("Count", std::to_string(values.size()));
    store.close_key();
    return true;
}

int run_entry_mode(const std::vector<std::string>& prompts, Prompter& prompter, ValueStore& store) {
    store.delete_key();
    if (!store.create_key()) return -1;
    int count = 0;
    for (const std::string& prompt : prompts) {
        std::optional<std::string> answer = prompter.ask(prompt);
        if (!answer) continue;
        if (answer->size() > kMaxValueLength) answer->resize(kMaxValueLength);
        // An empty answer is stored too; only a failed write leaves its number to the next one.
        if (store.set(value_name(count + 1), *answer)) ++count;
    }
    store.set("Count", std::to_string(count));
    store.close_key();
    return count;
}

std::string describe(const FileRun& run) {
    static const char* const names[] = {"no_queue",       "gave_up",    "lock_restored", "copy_failed",
                                        "rewrite_failed", "key_failed", "stored"};
    std::string text = names[static_cast<int>(run.outcome)];
    if (run.outcome == FileOutcome::stored || run.outcome == FileOutcome::key_failed ||
        run.outcome == FileOutcome::rewrite_failed) {
        text += run.line_taken ? " taken " : " empty ";
        text += run.line;
    }
    return text;
}

}  // namespace dkgetval
