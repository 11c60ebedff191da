// Win32 implementations of the value-queue tool's services: files, pauses and the registry key
// HKEY_LOCAL_MACHINE\Software\Quorvel\DkGetVal.
#pragma once

#include <windows.h>

#include "services.h"

namespace dkgetval {

class Win32FileSystem : public FileSystem {
  public:
    bool exists(const std::string& path) override;
    std::optional<std::uint64_t> size(const std::string& path) override;
    std::unique_ptr<OpenFile> open_exclusive(const std::string& path) override;
    std::unique_ptr<OpenFile> create_exclusive(const std::string& path, CreateResult& result) override;
    bool rename(const std::string& from, const std::string& to) override;
    bool remove(const std::string& path) override;
};

class SleepPause : public Pause {
  public:
    void pause(unsigned milliseconds) override { Sleep(milliseconds); }
};

class RegistryStore : public ValueStore {
  public:
    ~RegistryStore() override { close_key(); }
    void delete_key() override;
    bool create_key() override;
    bool set(const std::string& name, const std::string& text) override;
    void close_key() override;

  private:
    HKEY key_ = nullptr;
};

}  // namespace dkgetval
