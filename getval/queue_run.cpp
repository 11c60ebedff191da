// File mode and entry mode of the value-queue tool (protocol described in queue_run.h).
#include "queue_run.h"

#include <cstdio>

#include "command_line.h"
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
    bool any_byte = false;
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
        line.any_byte = true;
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
    }
    return line;
}

bool copy_rest(OpenFile& from, OpenFile& to) {
    char block[kCopyBlock];
    long n;
    while ((n = from.read(block, sizeof block)) > 0) {
        if (!to.write(block, static_cast<unsigned long>(n))) return false;
    }
    return n == 0;
}

// Holding the lock file and the open queue: move the rest of the queue into the lock file, put it
// in the queue's place, then store the values.
FileRun take_first_line(const std::string& queue_file, const std::string& lock, std::unique_ptr<OpenFile> queue,
                        std::unique_ptr<OpenFile> lock_file, FileSystem& fs, ValueStore& store) {
    FileRun run;
    FirstLine line = read_first_line(*queue);
    bool copied = line.ok && copy_rest(*queue, *lock_file);
    queue.reset();
    lock_file.reset();
    if (!copied) {
        fs.remove(lock);
        run.outcome = FileOutcome::copy_failed;
        return run;
    }
    if (!fs.replace(lock, queue_file)) {
        fs.remove(lock);
        run.outcome = FileOutcome::replace_failed;
        return run;
    }
    run.line_taken = line.any_byte;
    run.line = std::move(line.kept);
    run.values = split_values(run.line);
    run.outcome = store_values(run.values, store) ? FileOutcome::stored : FileOutcome::key_failed;
    return run;
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
                return take_first_line(queue_file, lock, std::move(queue), std::move(lock_file), fs, store);
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

    // Rounds used up. A lock file left now is stale; when the queue file is gone the lock file
    // holds the queue's remaining lines and goes back under the queue's name.
    if (!fs.exists(queue_file) && fs.exists(lock) && fs.rename(lock, queue_file)) {
        run.outcome = FileOutcome::lock_restored;
        return run;
    }
    fs.remove(lock);
    run.outcome = FileOutcome::gave_up;
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
                                        "replace_failed", "key_failed", "stored"};
    std::string text = names[static_cast<int>(run.outcome)];
    if (run.outcome == FileOutcome::stored || run.outcome == FileOutcome::key_failed) {
        text += run.line_taken ? " taken " : " empty ";
        text += run.line;
    }
    return text;
}

}  // namespace dkgetval
