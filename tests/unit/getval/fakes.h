// In-memory stand-ins for the value-queue tool's services. The file system follows the Windows
// rules the tool relies on: an exclusively opened file cannot be opened, deleted or renamed by
// anyone else. Every operation, on the file system or on an open file, can be made to "crash"
// (throw SimulatedCrash) to stop a run at that point; unwinding closes its handles, as the system
// does for a killed process.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "services.h"

namespace dkgetval::testing {

struct SimulatedCrash {};

struct FakeNode {
    std::string data;
    int open_handles = 0;
};

class FakeFileSystem : public FileSystem {
  public:
    // Counting operations: the operation numbered crash_at (1-based) throws instead of acting.
    int operations = 0;
    int crash_at = 0;
    // Called before every operation with its name, e.g. to let another run act at that moment.
    std::function<void(const std::string&)> before;
    bool fail_writes = false;

    void put(const std::string& path, const std::string& data);
    bool has(const std::string& path) const { return names_.count(path) != 0; }
    std::string data(const std::string& path) const;
    // Opens a file as another program would, shared with nobody, until the handle is dropped.
    std::unique_ptr<OpenFile> hold(const std::string& path);
    // Another program appending to a file: only when nobody has it open, as an exclusive open for
    // appending would. False when the file is missing or held.
    bool append(const std::string& path, const std::string& data);
    std::vector<std::string> names() const;

    bool exists(const std::string& path) override;
    std::optional<std::uint64_t> size(const std::string& path) override;
    std::unique_ptr<OpenFile> open_exclusive(const std::string& path) override;
    std::unique_ptr<OpenFile> create_exclusive(const std::string& path, CreateResult& result) override;
    bool rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;

    void step(const std::string& operation);

  private:
    std::map<std::string, std::shared_ptr<FakeNode>> names_;
};

class FakePause : public Pause {
  public:
    std::vector<unsigned> pauses;
    std::function<void(int)> on_pause;  // called with the number of the pause (1-based)
    void pause(unsigned milliseconds) override {
        pauses.push_back(milliseconds);
        if (on_pause) on_pause(static_cast<int>(pauses.size()));
    }
};

class FakeStore : public ValueStore {
  public:
    bool key_exists = true;  // the key as left by an earlier run
    std::map<std::string, std::string> values{{"Value1", "old"}, {"Count", "1"}};
    bool key_open = false;
    bool refuse_create = false;
    std::vector<std::string> refuse_texts;  // texts whose write fails
    int deletes = 0;

    void delete_key() override {
        ++deletes;
        key_exists = false;
        key_open = false;
        values.clear();
    }
    bool create_key() override {
        if (refuse_create) return false;
        key_exists = true;
        key_open = true;
        return true;
    }
    bool set(const std::string& name, const std::string& text) override {
        if (!key_open) return false;
        for (const std::string& refused : refuse_texts) {
            if (refused == text) return false;
        }
        values[name] = text;
        return true;
    }
    void close_key() override { key_open = false; }
};

class FakePrompter : public Prompter {
  public:
    std::vector<std::optional<std::string>> answers;  // nothing = Cancel
    std::vector<std::string> asked;
    std::optional<std::string> ask(const std::string& prompt) override {
        asked.push_back(prompt);
        return asked.size() <= answers.size() ? answers[asked.size() - 1] : std::nullopt;
    }
};

}  // namespace dkgetval::testing
