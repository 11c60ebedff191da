#include "fakes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace dravik::test {

std::string FakeEnvironment::expand_reference(const std::string& reference) {
    if (fail) return std::string();
    std::string name = reference.substr(1, reference.size() - 2);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = values.find(name);
    return it == values.end() ? reference : it->second;
}

namespace {

// The file's bytes are worked on in memory and written back when it is closed.
class HostFile : public MemoryFile {
  public:
    HostFile(std::string path, std::string bytes) : MemoryFile(std::move(bytes)), path_(std::move(path)) {}
    ~HostFile() override { write_file(path_, data); }

  private:
    std::string path_;
};

}  // namespace

std::unique_ptr<ExclusiveFile> HostLogFileSystem::open_exclusive(const std::string& path, bool& busy) {
    busy = false;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        std::ofstream create(path, std::ios::binary);
        if (!create) return nullptr;
    }
    return std::make_unique<HostFile>(path, read_file(path));
}

int64_t HostLogFileSystem::listed_size(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(size);
}

bool MemoryFile::seek(int64_t offset) {
    if (offset < 0 || offset > size()) return false;
    pos = static_cast<size_t>(offset);
    return true;
}

int64_t MemoryFile::read(char* buffer, int64_t n) {
    size_t count = std::min(static_cast<size_t>(n), data.size() - pos);
    data.copy(buffer, count, pos);
    pos += count;
    return static_cast<int64_t>(count);
}

bool MemoryFile::write(const char* bytes, int64_t n) {
    if (pos + n > data.size()) data.resize(pos + n);
    data.replace(pos, static_cast<size_t>(n), bytes, static_cast<size_t>(n));
    pos += static_cast<size_t>(n);
    return true;
}

bool MemoryFile::truncate_here() {
    data.resize(pos);
    return true;
}

bool FakeSystem::file_exists(const std::string& path) { return std::filesystem::is_regular_file(path); }

std::string FakeSystem::full_path(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return "/cwd/" + path;
}

TempDir::TempDir() {
    static std::mt19937_64 random{std::random_device{}()};
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("dravik-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.generic_string();
            return;
        }
        if (ec) std::abort();
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string strip_prefixes(const std::string& log) {
    std::string text;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\r' && i + 1 < log.size() && log[i + 1] == '\n') continue;
        text += log[i];
    }
    // A prefix is "m/d/yyyy hh:mm:ss, " wherever an entry with prefix starts; the fake clock's
    // moment makes it one fixed text.
    const std::string prefix = time_prefix(LocalTime{2009, 11, 2, 14, 5, 1});
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, prefix.size(), prefix) == 0) {
            i += prefix.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

TestRun::TestRun() : run(Services{clock, env, files, ui, system}) {}

void TestRun::run_script(const std::string& text, const StatementHandlers& handlers) {
    std::string script = text;
    if (script.find("[Update]") == std::string::npos) {
        script = "[Update]\r\nupdate = Test\r\nlog = " + log_path() + "\r\n" + script;
    }
    write_file(script_path(), script);
    run_update(run, script_path(), handlers);
}

}  // namespace dravik::test
