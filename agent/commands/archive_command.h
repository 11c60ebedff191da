// The "-rido" archive command: compresses files into a ZIP archive, extracts files from one, or lists
// its entries into a text file, through the archive engine's zip and unzip command records. With the
// container option the archive file on disk is the encrypted container; the engine then works on the
// decrypted working copy next to it ("name.dk@"), and a compression's result is encrypted into a
// temporary file ("name.dk~") that replaces the container.
//
// The engine is reached through `ArchiveEngine`, so tests can watch the records the command fills and
// the attach/detach bracket around each operation; `LinkedArchiveEngine` calls the real engine.
#pragma once

#include <cstdint>
#include <string>

#include "zipdll.h"

namespace dravik {

struct RunState;
struct ParsedCommand;
class TextFileSystem;

class ArchiveEngine {
  public:
    virtual ~ArchiveEngine() = default;
    // The life-cycle calls: process then thread attach before an operation, the detaches after it.
    virtual void attach_zip() = 0;
    virtual void detach_zip() = 0;
    virtual void attach_unzip() = 0;
    virtual void detach_unzip() = 0;
    // The entry points; the result is the engine's result code (0 success).
    virtual int32_t zip_execute(ZIPCMDSTRUCT& record) = 0;
    virtual int32_t unzip_execute(UNZIPCMDSTRUCT& record) = 0;
};

// The archive engine linked into the program. `instance` is handed to the process attach calls.
class LinkedArchiveEngine : public ArchiveEngine {
  public:
    explicit LinkedArchiveEngine(void* instance = nullptr) : instance_(instance) {}
    void attach_zip() override;
    void detach_zip() override;
    void attach_unzip() override;
    void detach_unzip() override;
    int32_t zip_execute(ZIPCMDSTRUCT& record) override;
    int32_t unzip_execute(UNZIPCMDSTRUCT& record) override;

  private:
    void* instance_;
};

// Runs the parsed "-rido" statement; its messages complete the statement's log line. A statement
// whose operation letter was not "c", "u" or "l" (the parser then leaves the operation's own argument
// empty) does nothing.
void ExecuteArchiveCommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs, ArchiveEngine& engine);
// The same with the linked engine.
void ExecuteArchiveCommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs);

// The engine calls of the three operations, exposed for the tests. `key` is the pass key.
bool CompressFiles(ArchiveEngine& engine, const char* key, const std::string& archive, const std::string& file_spec,
                   bool recurse, bool store_paths, bool relative_paths, bool update_newer_only, bool encrypt,
                   bool after_date, const std::string& after_date_text, int compression_level);
bool ExtractFiles(ArchiveEngine& engine, const char* key, const std::string& archive, const std::string& file_spec,
                  bool recurse, const std::string& destination, bool store_paths, bool overwrite, bool decrypt);
// Fills `buffer` with the entry names, each ended by a zero byte, and one more zero byte at the end.
// `needed` is the size that takes (0 when the engine failed); false when the engine failed or the
// buffer is smaller than `needed`.
bool ListArchive(ArchiveEngine& engine, const std::string& archive, const std::string& file_spec, char* buffer,
                 size_t size, size_t& needed);

}  // namespace dravik
