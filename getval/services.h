// The operating-system services the value-queue logic needs, as small interfaces: files, pauses,
// the registry key the values go to, and the entry prompts. The program implements them with
// Win32 (services_win32.cpp, entry_dialog_win32.cpp); the unit tests with in-memory fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace dkgetval {

// An open file; closing is the object's end.
class OpenFile {
  public:
    virtual ~OpenFile() = default;
    // Reads up to size bytes; returns how many were read (0 at the end of the file), -1 on error.
    virtual long read(char* buffer, unsigned long size) = 0;
    // Writes all of data; false on error.
    virtual bool write(const char* data, unsigned long size) = 0;
    // Moves the position back by one byte.
    virtual bool step_back() = 0;
    // Moves the position to `offset` bytes from the start; a write beyond the end extends the file.
    virtual bool seek(std::uint64_t offset) = 0;
    // The file's size, or nothing on error.
    virtual std::optional<std::uint64_t> size() = 0;
    // Ends the file at the position.
    virtual bool truncate() = 0;
    // Writes the file's buffers through to the disk.
    virtual bool flush() = 0;
};

enum class CreateResult { created, exists, failed };

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool exists(const std::string& path) = 0;
    // The size of a file, or nothing when it cannot be looked up (for instance when it is gone).
    virtual std::optional<std::uint64_t> size(const std::string& path) = 0;
    // Opens an existing file for reading and writing, shared with nobody; null when missing, busy
    // or read-only.
    virtual std::unique_ptr<OpenFile> open_exclusive(const std::string& path) = 0;
    // Creates a new file for reading and writing, shared with nobody. Reports `exists` when the name
    // is taken (also by a file another program holds), `failed` for any other error.
    virtual std::unique_ptr<OpenFile> create_exclusive(const std::string& path, CreateResult& result) = 0;
    // Gives `from` the name `to`, which must not exist (never replaces a file).
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    virtual bool remove(const std::string& path) = 0;
};

class Pause {
  public:
    virtual ~Pause() = default;
    virtual void pause(unsigned milliseconds) = 0;
};

// The registry key that receives the values.
class ValueStore {
  public:
    virtual ~ValueStore() = default;
    virtual void delete_key() = 0;
    virtual bool create_key() = 0;
    // Stores a text value (in the registry: REG_SZ without the terminating zero).
    virtual bool set(const std::string& name, const std::string& text) = 0;
    virtual void close_key() = 0;
};

// Asks the person at the workstation for one value: the text on OK, nothing on Cancel.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual std::optional<std::string> ask(const std::string& prompt) = 0;
};

}  // namespace dkgetval
