// Win32 services of the value-queue tool (see services_win32.h).
#include "services_win32.h"

namespace dkgetval {

namespace {

constexpr char kKeyPath[] = "Software\\Quorvel\\DkGetVal";

class Win32File : public OpenFile {
  public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}
    ~Win32File() override { CloseHandle(handle_); }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    long read(char* buffer, unsigned long size) override {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, size, &got, nullptr)) return -1;
        return static_cast<long>(got);
    }

    bool write(const char* data, unsigned long size) override {
        DWORD written = 0;
        return WriteFile(handle_, data, size, &written, nullptr) && written == size;
    }

    bool step_back() override {
        LARGE_INTEGER back;
        back.QuadPart = -1;
        return SetFilePointerEx(handle_, back, nullptr, FILE_CURRENT) != 0;
    }

    bool seek(std::uint64_t offset) override {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) != 0;
    }

    std::optional<std::uint64_t> size() override {
        LARGE_INTEGER size;
        if (!GetFileSizeEx(handle_, &size)) return std::nullopt;
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    bool truncate() override { return SetEndOfFile(handle_) != 0; }

    bool flush() override { return FlushFileBuffers(handle_) != 0; }

  private:
    HANDLE handle_;
};

}  // namespace

bool Win32FileSystem::exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::uint64_t> Win32FileSystem::size(const std::string& path) {
    // Attributes come from the directory, so this works while another run holds the file.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::unique_ptr<OpenFile> Win32FileSystem::open_exclusive(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(h);
}

std::unique_ptr<OpenFile> Win32FileSystem::create_exclusive(const std::string& path, CreateResult& result) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_SHARING_VIOLATION;
        result = taken ? CreateResult::exists : CreateResult::failed;
        return nullptr;
    }
    result = CreateResult::created;
    return std::make_unique<Win32File>(h);
}

bool Win32FileSystem::rename(const std::string& from, const std::string& to) {
    // No MOVEFILE_REPLACE_EXISTING: this only ever gives a file a free name, and must not take the
    // place of a queue file that appeared meanwhile.
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool Win32FileSystem::remove(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

void RegistryStore::delete_key() {
    close_key();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKeyPath);
}

bool RegistryStore::create_key() {
    close_key();
    DWORD disposition = 0;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           &key_, &disposition) == ERROR_SUCCESS;
}

bool RegistryStore::set(const std::string& name, const std::string& text) {
    if (!key_) return false;
    // Stored without the terminating zero byte, as the readers of these values expect.
    return RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size())) == ERROR_SUCCESS;
}

void RegistryStore::close_key() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
}

}  // namespace dkgetval
