// 64-bit file positions: the C library spells the large-file seek differently on each runtime.
#include "file_io.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>

#if defined(_WIN32)
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace dravik::archive {
namespace {
int seek64(std::FILE* f, uint64_t pos) {
#if defined(_WIN32)
    return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(pos), SEEK_SET);
#endif
}
int seek_end(std::FILE* f) {
#if defined(_WIN32)
    return _fseeki64(f, 0, SEEK_END);
#else
    return fseeko(f, 0, SEEK_END);
#endif
}
uint64_t tell64(std::FILE* f) {
#if defined(_WIN32)
    return static_cast<uint64_t>(_ftelli64(f));
#else
    return static_cast<uint64_t>(ftello(f));
#endif
}
}  // namespace

bool File::open(const std::string& path, const char* mode) {
    close();
    f_ = std::fopen(path.c_str(), mode);
    return f_ != nullptr;
}

void File::open_memory(const void* data, size_t size) {
    close();
    static const uint8_t kEmpty = 0;
    mem_ = data ? static_cast<const uint8_t*>(data) : &kEmpty;
    mem_size_ = data ? size : 0;
    mem_pos_ = 0;
}

bool File::open_read_denying_writers(const std::string& path) {
    close();
#if defined(_WIN32)
    f_ = _fsopen(path.c_str(), "rb", _SH_DENYWR);
#else
    f_ = std::fopen(path.c_str(), "rb");
#endif
    return f_ != nullptr;
}

bool File::create_new(const std::string& path) {
    close();
#if defined(_WIN32)
    int fd = _open(path.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    f_ = _fdopen(fd, "w+b");
    if (!f_) _close(fd);
#else
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return false;
    f_ = fdopen(fd, "w+b");
    if (!f_) ::close(fd);
#endif
    return f_ != nullptr;
}

bool File::close() {
    mem_ = nullptr;
    if (!f_) return true;
    bool ok = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok;
}

size_t File::read(void* buffer, size_t size) {
    if (mem_) {
        size_t n = mem_pos_ < mem_size_ ? static_cast<size_t>(std::min<uint64_t>(size, mem_size_ - mem_pos_)) : 0;
        if (n) std::memcpy(buffer, mem_ + mem_pos_, n);
        mem_pos_ += n;
        return n;
    }
    return f_ && size ? std::fread(buffer, 1, size, f_) : 0;
}

bool File::write(const void* data, size_t size) { return f_ && (size == 0 || std::fwrite(data, 1, size, f_) == size); }

bool File::seek(uint64_t pos) {
    if (mem_) {
        mem_pos_ = pos;  // like a file, a position past the end reads nothing
        return true;
    }
    return f_ && seek64(f_, pos) == 0;
}

uint64_t File::tell() {
    if (mem_) return mem_pos_;
    return f_ ? tell64(f_) : 0;
}

uint64_t File::size() {
    if (mem_) return mem_size_;
    if (!f_) return 0;
    uint64_t here = tell64(f_);
    seek_end(f_);
    uint64_t end = tell64(f_);
    seek64(f_, here);
    return end;
}

bool File::truncate_here() {
    if (!f_ || std::fflush(f_) != 0) return false;
    uint64_t here = tell64(f_);
#if defined(_WIN32)
    return _chsize_s(_fileno(f_), static_cast<__int64>(here)) == 0;
#else
    return ftruncate(fileno(f_), static_cast<off_t>(here)) == 0;
#endif
}

}  // namespace dravik::archive
