// Shell links on Windows: the shell-link component through COM (IShellLinkA, IPersistFile). Win32
// only.
#pragma once

#include "commands/shortcut.h"

namespace dravik {

class Win32ShortcutHost : public ShortcutHost {
  public:
    void create_directory(const std::string& path) override;
    LinkOutcome save_link(const LinkRequest& request, uint32_t& code) override;
};

}  // namespace dravik
