// The entry dialog (resource IDD_ENTRY): asks for one value with the prompt as its caption.
#pragma once

#include <windows.h>

#include "services.h"

namespace dkgetval {

class DialogPrompter : public Prompter {
  public:
    DialogPrompter(HINSTANCE instance, HWND owner) : instance_(instance), owner_(owner) {}
    std::optional<std::string> ask(const std::string& prompt) override;

  private:
    HINSTANCE instance_;
    HWND owner_;
};

}  // namespace dkgetval
