// The registry on Windows, through the Reg...A functions. Win32 only.
#pragma once

#include "commands/registry.h"

namespace dravik {

class Win32Registry : public Registry {
public:
    long create_key(int root, const std::string& path) override;
    long delete_key(int root, const std::string& path) override;
    long open_key(int root, const std::string& path, Access access, std::unique_ptr<RegistryKey>& key) override;
    std::string error_text(long code) override;
};

}  // namespace dravik
