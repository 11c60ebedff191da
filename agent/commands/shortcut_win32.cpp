#include "commands/shortcut_win32.h"

#include <windows.h>

#include <shlobj.h>

#include <objidl.h>

namespace dravik {

namespace {

// COM for the calling thread, uninitialised with the object when the initialisation succeeded.
class ComScope {
  public:
    ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComScope() {
        if (ok_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    bool ok_;
};

// Releases one interface pointer.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

  private:
    T* p_ = nullptr;
};

}  // namespace

void Win32ShortcutHost::create_directory(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

LinkOutcome Win32ShortcutHost::save_link(const LinkRequest& request, uint32_t& code) {
    ComScope com;
    ComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.out());
    if (FAILED(hr)) {
        code = static_cast<uint32_t>(hr);
        return LinkOutcome::kNotCreated;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) return LinkOutcome::kNoPersist;

    link->SetPath(request.target.c_str());
    link->SetArguments(request.arguments.c_str());
    link->SetWorkingDirectory(request.directory.c_str());
    link->SetShowCmd(request.show);

    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, request.file.c_str(), -1, wide, MAX_PATH)) return LinkOutcome::kNotSaved;
    return SUCCEEDED(file->Save(wide, TRUE)) ? LinkOutcome::kSaved : LinkOutcome::kNotSaved;
}

}  // namespace dravik
