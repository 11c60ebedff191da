#include "commands/archive_command.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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

// The pass key: the variable DkKey, or the built-in key when it is empty.
std::string pass_key(RunState& run) {
    std::string key = expand_variables("{DkKey}", run.vars);
    return key.empty() ? std::string(kBuiltInArchiveKey) : key;
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

void compress(RunState& run, const ParsedCommand& cmd, TextFileSystem& fs, ArchiveEngine& engine) {
    const std::string working = container_working_copy(cmd.archiveFile);
    bool made_copy = false;
    if (cmd.containerFormat && fs.exists(cmd.archiveFile)) made_copy = make_working_copy(cmd.archiveFile, working);

    EngineBracket bracket(engine, true);
    ArchiveKey key;
    key.SetKey(pass_key(run));
    auto compress_into = [&](const std::string& archive) {
        return CompressFiles(engine, key.text(), archive, cmd.fileSpec, cmd.recurse, cmd.storePaths, cmd.relativePaths,
                             cmd.updateNewerOnly, cmd.archiveOp == 1, cmd.afterDate, cmd.afterDateText,
                             kCompressionLevel);
    };
    bool ok = compress_into(cmd.archiveFile);
    // The container itself is no ZIP archive, so the first attempt fails on it; the working copy
    // holds its content.
    if (!ok && made_copy) ok = compress_into(working);
    run.log.write(ok ? "File(s) compressed.\n" : "File(s) not compressed.\n");

    // After a failed compression the working copy stays where it is.
    if (ok && cmd.containerFormat) {
        if (made_copy) fs.replace(working, cmd.archiveFile);
        EncryptFileInPlace(kBuiltInArchiveKey, cmd.archiveFile, fs);
    }
}

void extract(RunState& run, const ParsedCommand& cmd, ArchiveEngine& engine) {
    std::string archive = cmd.archiveFile;
    if (cmd.containerFormat) {
        archive = container_working_copy(cmd.archiveFile);
        make_working_copy(cmd.archiveFile, archive);
    }
    {
        EngineBracket bracket(engine, false);
        ArchiveKey key;
        key.SetKey(pass_key(run));
        bool ok = ExtractFiles(engine, key.text(), archive, cmd.fileSpec.empty() ? "*.*" : cmd.fileSpec, cmd.recurse,
                               cmd.destination, cmd.storePaths, cmd.overwrite, cmd.archiveOp == 3);
        run.log.write(ok ? "File(s) decompressed.\n" : "File(s) not decompressed.\n");
        if (cmd.containerFormat) std::remove(archive.c_str());
    }
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
    std::string archive = cmd.archiveFile;
    if (cmd.containerFormat) {
        archive = container_working_copy(cmd.archiveFile);
        make_working_copy(cmd.archiveFile, archive);
    }
    {
        EngineBracket bracket(engine, false);
        std::vector<char> buffer(kListBuffer);
        size_t needed = 0;
        bool ok = ListArchive(engine, archive, std::string(), buffer.data(), buffer.size(), needed);
        if (!ok && needed > buffer.size()) {
            buffer.assign(needed, 0);
            ok = ListArchive(engine, archive, std::string(), buffer.data(), buffer.size(), needed);
        }
        if (ok) {
            write_list(run, cmd.outputFile, buffer.data());
        } else {
            run.log.write("Error listing archive files.\n");
        }
        if (cmd.containerFormat) std::remove(archive.c_str());
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

bool CompressFiles(ArchiveEngine& engine, const std::string& key, const std::string& archive,
                   const std::string& file_spec, bool recurse, bool store_paths, bool relative_paths,
                   bool update_newer_only, bool encrypt, bool after_date, const std::string& after_date_text,
                   int compression_level) {
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
        r.lpszEncryptCode = key.c_str();
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

bool ExtractFiles(ArchiveEngine& engine, const std::string& key, const std::string& archive,
                  const std::string& file_spec, bool recurse, const std::string& destination, bool store_paths,
                  bool overwrite, bool decrypt) {
    UNZIPCMDSTRUCT r = initial_unzip_record();
    r.Function = UNZIP_EXTRACT;
    r.lpszZIPFile = archive.c_str();
    r.lpszFilespec = file_spec.c_str();
    r.recurseFlag = recurse;
    r.lpszDestination = destination.c_str();
    r.overWriteFlag = overwrite;
    r.noDirectoryNamesFlag = !store_paths;
    r.decryptFlag = decrypt;
    if (decrypt) r.lpszDecryptCode = key.c_str();
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
