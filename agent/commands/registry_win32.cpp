// The registry on Windows: keys are opened and created with KEY_READ | KEY_WRITE, except for reads,
// which ask for KEY_READ only. Error texts come from FormatMessageA.
#include "commands/registry_win32.h"

#include <windows.h>

#include <string>

namespace dravik {

namespace {

HKEY root_handle(int root) {
    switch (root) {
        case kLocalMachine: return HKEY_LOCAL_MACHINE;
        case kCurrentUser: return HKEY_CURRENT_USER;
        case kUsers: return HKEY_USERS;
        case kClassesRoot: return HKEY_CLASSES_ROOT;
        case kCurrentConfig: return HKEY_CURRENT_CONFIG;
        case kDynData: return HKEY_DYN_DATA;
        case kPerformanceData: return HKEY_PERFORMANCE_DATA;
        default: return nullptr;
    }
}

// An open key, closed with the object.
class Win32Key : public RegistryKey {
public:
    explicit Win32Key(HKEY key) : key_(key) {}
    ~Win32Key() override { RegCloseKey(key_); }
    Win32Key(const Win32Key&) = delete;
    Win32Key& operator=(const Win32Key&) = delete;

    long delete_value(const std::string& name) override { return RegDeleteValueA(key_, name.c_str()); }

    long set_value(const std::string& name, uint32_t type, const std::string& data) override {
        return RegSetValueExA(key_, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    }

    long query_value(const std::string& name, uint32_t& type, std::string& data, size_t capacity) override {
        data.assign(capacity, '\0');
        DWORD size = static_cast<DWORD>(capacity);
        DWORD value_type = 0;
        LONG result = RegQueryValueExA(key_, name.c_str(), nullptr, &value_type,
                                       reinterpret_cast<BYTE*>(&data[0]), &size);
        if (result != ERROR_SUCCESS) {
            data.clear();
            return result;
        }
        data.resize(size < capacity ? size : capacity);
        type = value_type;
        return 0;
    }

private:
    HKEY key_;
};

}  // namespace

long Win32Registry::create_key(int root, const std::string& path) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(root_handle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, &key, &disposition);
    if (result == ERROR_SUCCESS) RegCloseKey(key);
    return result;
}

long Win32Registry::delete_key(int root, const std::string& path) { return RegDeleteKeyA(root_handle(root), path.c_str()); }

long Win32Registry::open_key(int root, const std::string& path, Access access, std::unique_ptr<RegistryKey>& key) {
    HKEY handle = nullptr;
    REGSAM sam = access == Access::kRead ? KEY_READ : (KEY_READ | KEY_WRITE);
    LONG result = RegOpenKeyExA(root_handle(root), path.c_str(), 0, sam, &handle);
    if (result == ERROR_SUCCESS) key = std::make_unique<Win32Key>(handle);
    return result;
}

std::string Win32Registry::error_text(long code) {
    char buffer[2048];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    std::string text = n ? std::string(buffer, n) : "Unknown error " + std::to_string(code);
    // The system's texts end in a line end; the log adds its own.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace dravik
