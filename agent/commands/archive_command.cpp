#include "commands/archive_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/secure_zero.h"
#include "commands/command_parser.h"
#include "commands/encrypted_container.h"
#include "commands/parsed_command.h"
#include "commands/text_file.h"
#include "engine/expand.h"
#include "engine/run_state.h"

namespace dravik {

namespace {

constexpr int kCompressionLevel = 5;
constexpr size_t kListBuffer = 2048;
constexpr size_t kMaxListLine = 259;

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The lines of an "@" list file. A missing list file is created empty (and so names nothing). A line
// ends at CR, LF or CR LF; a longer line than the line buffer holds is read in pieces of its size, and
// an empty line names nothing, so it is passed over.
std::vector<std::string> read_list_file(const std::string& path) {
    std::vector<std::string> lines;
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        File created(std::fopen(path.c_str(), "wb"));
        return lines;
    }
    std::string line;
    auto finish = [&] {
        if (!line.empty()) lines.push_back(line);
        line.clear();
    };
    for (int c = std::fgetc(in.get()); c != EOF; c = std::fgetc(in.get())) {
        if (c == '\r' || c == '\n') {
            finish();
            if (c == '\r') {
                int next = std::fgetc(in.get());
                if (next != '\n' && next != EOF) std::ungetc(next, in.get());
            }
            continue;
        }
        line += static_cast<char>(c);
        if (line.size() == kMaxListLine) finish();
    }
    finish();
    return lines;
}

// The agent's initial values of the unzip record.
UNZIPCMDSTRUCT initial_unzip_record() {
    UNZIPCMDSTRUCT r{};
    r.size = static_cast<int32_t>(sizeof(UNZIPCMDSTRUCT));
    r.index = -1;
    r.quietFlag = 1;
    r.noDirectoryNamesFlag = 1;
    r.recurseFlag = 1;
    r.noDirectoryItemsFlag = 1;
    return r;
}

// Sets the pass key: the variable DkKey, or the built-in key when it is empty. The expanded text is a
// copy of the secret and is wiped before it is freed. A key too long for the key object leaves it
// empty, which the engine refuses wherever a key is needed.
void set_pass_key(ArchiveKey& key, RunState& run) {
    std::string expanded = expand_variables("{DkKey}", run.vars);
    key.SetKey(expanded.empty() ? std::string_view(kBuiltInArchiveKey) : std::string_view(expanded));
    archive::secure_zero(expanded.data(), expanded.size());
}

// True when the file begins like a ZIP archive: a local header, an empty archive's end record, or a
// split archive's marker.
bool starts_like_zip(const std::string& path) {
    File in(std::fopen(path.c_str(), "rb"));
    if (!in) return false;
    unsigned char head[4] = {};
    if (std::fread(head, 1, sizeof head, in.get()) != sizeof head) return false;
    if (head[0] != 'P' || head[1] != 'K') return false;
    return (head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6) || (head[2] == 7 && head[3] == 8) ||
           (head[2] == '0' && head[3] == '0');
}

// Decrypts the container into its working copy; on failure no working copy is left. A wrong key
// gives valid-looking padding about once in 256 tries, so the content must also begin like an
// archive: otherwise a failed compression would leave noise behind as the working copy.
bool make_working_copy(const std::string& container, const std::string& working) {
    if (DecryptFile(kBuiltInArchiveKey, container, working) && starts_like_zip(working)) return true;
    std::remove(working.c_str());
    return false;
}

// Copies a file whole; on failure no copy is left.
bool copy_file(const std::string& from, const std::string& to) {
    File in(std::fopen(from.c_str(), "rb"));
    if (!in) return false;
    File out(std::fopen(to.c_str(), "wb"));
    if (!out) return false;
    std::vector<char> buffer(64 * 1024);
    bool ok = true;
    for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;)
        ok = std::fwrite(buffer.data(), 1, n, out.get()) == n;
    ok = ok && !std::ferror(in.get());
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) std::remove(to.c_str());
    return ok;
}

// Deletes a file that must not stay behind; true when it is gone (or was never there).
bool remove_file(const std::string& path) {
    errno = 0;
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
}

// Attaches one side of the engine for the lifetime of the object.
class EngineBracket {
  public:
    EngineBracket(ArchiveEngine& engine, bool zip) : engine_(engine), zip_(zip) {
        zip_ ? engine_.attach_zip() : engine_.attach_unzip();
    }
    ~EngineBracket() { zip_ ? engine_.detach_zip() : engine_.detach_unzip(); }
    EngineBracket(const EngineBracket&) = delete;
    EngineBracket& operator=(const EngineBracket&) = delete;

  private:
    ArchiveEngine& engine_;
    bool zip_;
};

bool compress_into(ArchiveEngine& engine, const ParsedCommand& cmd, const ArchiveKey& key, const std::string& archive) {
    return CompressFiles(engine, key.c_str(), archive, cmd.fileSpec, cmd.recurse, cmd.storePaths, cmd.relativePaths,
                         cmd.updateNewerOnly, cmd.archiveOp == 1, cmd.afterDate, cmd.afterDateText, kCompressionLevel);
}

// Compression into a container. The engine works on a plain archive beside the container: the
// decrypted working copy, or a new one under the working copy's name when there is no container yet.
// That archive is encrypted into a temporary file of its own, which takes the container's place in
// one step. Any failure leaves the container as it was; only the working copy of a compression the
// engine refused stays, holding the container's content. A plain ZIP archive under the container's
// name (not yet a container) is taken as the content; anything else that cannot be read is left alone.
bool compress_container(const ParsedCommand& cmd, TextFileSystem& fs, ArchiveEngine& engine, const ArchiveKey& key) {
    const std::string working = container_working_copy(cmd.archiveFile);
    const bool existing = fs.exists(cmd.archiveFile);
    if (existing) {
        if (!make_working_copy(cmd.archiveFile, working) &&
            !(starts_like_zip(cmd.archiveFile) && copy_file(cmd.archiveFile, working)))
            return false;
    } else if (fs.exists(working) && !remove_file(working)) {
        return false;  // a stale working copy would become the new container's content
    }
    bool ok;
    {
        EngineBracket bracket(engine, true);
        ok = compress_into(engine, cmd, key, working);
    }
    if (!ok) {
        if (!existing) remove_file(working);
        return false;
    }
    // The working copy now holds new content: it goes whatever happens next.
    const std::string temp = container_temp_copy(cmd.archiveFile);
    ok = EncryptFile(kBuiltInArchiveKey, working, temp, fs);
    ok = remove_file(working) && ok;
    ok = ok && fs.replace(temp, cmd.archiveFile);
    if (!ok) remove_file(temp);
    return ok;
}

void compress(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs, ArchiveEngine& engine) {
    ArchiveKey key;
    set_pass_key(key, run);
    bool ok;
    if (cmd.containerFormat) {
        ok = compress_container(cmd, fs, engine, key);
    } else {
        EngineBracket bracket(engine, true);
        ok = compress_into(engine, cmd, key, cmd.archiveFile);
    }
    run.log.write(ok ? "File(s) compressed.\n" : "File(s) not compressed.\n");
}

// The archive an extraction or listing reads: the archive file, or the container's working copy.
std::string archive_to_read(const ParsedCommand& cmd) {
    if (!cmd.containerFormat) return cmd.archiveFile;
    const std::string working = container_working_copy(cmd.archiveFile);
    make_working_copy(cmd.archiveFile, working);
    return working;
}

// Deletes the working copy after the engine let go of it (Windows refuses to delete an open file).
// A plain copy of the container's content left behind fails the statement.
bool remove_working_copy(const ParsedCommand& cmd, const std::string& archive) {
    return !cmd.containerFormat || remove_file(archive);
}

void extract(RunState& run, const ParsedCommand& cmd, ArchiveEngine& engine) {
    const std::string archive = archive_to_read(cmd);
    bool ok;
    {
        EngineBracket bracket(engine, false);
        ArchiveKey key;
        set_pass_key(key, run);
        ok = ExtractFiles(engine, key.c_str(), archive, cmd.fileSpec.empty() ? "*.*" : cmd.fileSpec, cmd.recurse,
                          cmd.destination, cmd.storePaths, cmd.overwrite, cmd.archiveOp == 3);
    }
    ok = remove_working_copy(cmd, archive) && ok;
    run.log.write(ok ? "File(s) decompressed.\n" : "File(s) not decompressed.\n");
}

// Writes the names (zero-separated, ending with an empty one) to the output file, one a line.
void write_list(RunState& run, const std::string& output, const char* names) {
    File out(std::fopen(output.c_str(), "wb"));
    if (!out) {
        run.log.write("Error creating output file.\n");
        return;
    }
    for (const char* name = names; *name; name += std::char_traits<char>::length(name) + 1) {
        std::string line = std::string(name) + "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), out.get()) != line.size()) {
            run.log.write("Error writing to output file.\n");
            return;
        }
    }
    // Buffered writes may only fail when they reach the file.
    bool flushed = std::fflush(out.get()) == 0;
    bool closed = std::fclose(out.release()) == 0;
    run.log.write(flushed && closed ? "Archive files listed in output file.\n" : "Error writing to output file.\n");
}

void list(RunState& run, const ParsedCommand& cmd, ArchiveEngine& engine) {
    const std::string archive = archive_to_read(cmd);
    std::vector<char> buffer(kListBuffer);
    bool ok;
    {
        EngineBracket bracket(engine, false);
        size_t needed = 0;
        ok = ListArchive(engine, archive, std::string(), buffer.data(), buffer.size(), needed);
        if (!ok && needed > buffer.size()) {
            buffer.assign(needed, 0);
            ok = ListArchive(engine, archive, std::string(), buffer.data(), buffer.size(), needed);
        }
    }
    ok = remove_working_copy(cmd, archive) && ok;
    if (ok) {
        write_list(run, cmd.outputFile, buffer.data());
    } else {
        run.log.write("Error listing archive files.\n");
    }
}

}  // namespace

void LinkedArchiveEngine::attach_zip() {
    ZipProcessAttach(instance_);
    ZipThreadAttach();
}
void LinkedArchiveEngine::detach_zip() {
    ZipThreadDetach();
    ZipProcessDetach();
}
void LinkedArchiveEngine::attach_unzip() {
    UnzipProcessAttach(instance_);
    UnzipThreadAttach();
}
void LinkedArchiveEngine::detach_unzip() {
    UnzipThreadDetach();
    UnzipProcessDetach();
}
int32_t LinkedArchiveEngine::zip_execute(ZIPCMDSTRUCT& record) { return ZipExecute(&record); }
int32_t LinkedArchiveEngine::unzip_execute(UNZIPCMDSTRUCT& record) { return UnzipExecute(&record); }

bool CompressFiles(ArchiveEngine& engine, const char* key, const std::string& archive, const std::string& file_spec,
                   bool recurse, bool store_paths, bool relative_paths, bool update_newer_only, bool encrypt,
                   bool after_date, const std::string& after_date_text, int compression_level) {
    ZIPCMDSTRUCT r{};
    r.size = static_cast<int32_t>(sizeof(ZIPCMDSTRUCT));
    r.quietFlag = 1;
    r.Function = update_newer_only ? ZIP_UPDATE : ZIP_ADD;
    r.lpszZIPFile = archive.c_str();
    r.recurseFlag = recurse;
    r.compFactor = compression_level;
    r.noDirectoryNamesFlag = !store_paths;
    if (store_paths && relative_paths) r.wZipSubOptions = 1;
    if (encrypt) {
        r.encryptFlag = 1;
        r.lpszEncryptCode = key;
        r.lZipSubOptions2 = 4;  // AES
        r.lSEInfo = 3;          // 256-bit key
    }
    r.afterDateFlag = after_date;
    r.lpszDate = after_date_text.c_str();

    if (!file_spec.empty() && file_spec[0] == '@') {
        // One engine call per line of the list file; the first failure ends the operation.
        for (const std::string& line : read_list_file(file_spec.substr(1))) {
            r.lpszItemList = line.c_str();
            if (engine.zip_execute(r) != 0) return false;
        }
        return true;
    }
    std::string items = file_spec;
    QuoteArgument(items);
    r.lpszItemList = items.c_str();
    return engine.zip_execute(r) == 0;
}

bool ExtractFiles(ArchiveEngine& engine, const char* key, const std::string& archive, const std::string& file_spec,
                  bool recurse, const std::string& destination, bool store_paths, bool overwrite, bool decrypt) {
    UNZIPCMDSTRUCT r = initial_unzip_record();
    r.Function = UNZIP_EXTRACT;
    r.lpszZIPFile = archive.c_str();
    r.lpszFilespec = file_spec.c_str();
    r.recurseFlag = recurse;
    r.lpszDestination = destination.c_str();
    r.overWriteFlag = overwrite;
    r.noDirectoryNamesFlag = !store_paths;
    r.decryptFlag = decrypt;
    if (decrypt) r.lpszDecryptCode = key;
    return engine.unzip_execute(r) == 0;
}

bool ListArchive(ArchiveEngine& engine, const std::string& archive, const std::string& file_spec, char* buffer,
                 size_t size, size_t& needed) {
    const bool named = !file_spec.empty();
    needed = 0;
    UNZIPCMDSTRUCT count = initial_unzip_record();
    count.Function = named ? UNZIP_COUNTNAMED : UNZIP_COUNTALL;
    count.lpszZIPFile = archive.c_str();
    if (named) count.lpszFilespec = file_spec.c_str();
    if (engine.unzip_execute(count) != 0) return false;

    // The names go into the buffer while they fit; the size is counted on to the end.
    size_t used = 0;
    for (int32_t i = 0; i < count.returnCount; ++i) {
        auto info = std::make_unique<ZIPINFOEX>();
        UNZIPCMDSTRUCT next = initial_unzip_record();
        next.Function = named ? UNZIP_GETNEXTNAMED : UNZIP_GETNEXT;
        next.lpszZIPFile = archive.c_str();
        if (named) next.lpszFilespec = file_spec.c_str();
        next.pZipInfoEx = info.get();
        if (engine.unzip_execute(next) != 0) return false;
        const void* end = std::memchr(info->szFileName, 0, sizeof info->szFileName);
        const size_t length =
            end ? static_cast<size_t>(static_cast<const char*>(end) - info->szFileName) : sizeof info->szFileName;
        if (used + length + 1 < size) std::memcpy(buffer + used, info->szFileName, length);
        if (used + length + 1 < size) buffer[used + length] = '\0';
        used += length + 1;
    }
    needed = used + 1;
    if (needed > size) return false;
    buffer[used] = '\0';
    return true;
}

void ExecuteArchiveCommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs, ArchiveEngine& engine) {
    switch (cmd.archiveOp) {
        case 0:
        case 1:
            if (!cmd.fileSpec.empty()) compress(run, cmd, fs, engine);
            break;
        case 2:
        case 3:
            if (!cmd.destination.empty()) extract(run, cmd, engine);
            break;
        case 4:
        case 5:
            if (!cmd.outputFile.empty()) list(run, cmd, engine);
            break;
        default:
            break;
    }
}

void ExecuteArchiveCommand(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs) {
    LinkedArchiveEngine engine;
    ExecuteArchiveCommand(run, cmd, fs, engine);
}

}  // namespace dravik
