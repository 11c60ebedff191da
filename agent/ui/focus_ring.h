// The focus ring of the prompt window: the order in which Tab moves through a form's controls. An
// entry is a window (any handle value) and the variable it answers; a second entry for the same
// variable is refused, so only the first control bound to a name is reached by Tab.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/text.h"

namespace dravik {

class FocusRing {
  public:
    static constexpr size_t kMaxName = 51;

    // False (and nothing added) when the name, cut to 51 characters, is already in the ring.
    bool add(std::string name, uintptr_t window) {
        if (name.size() > kMaxName) name.resize(kMaxName);
        for (const Entry& e : entries_) {
            if (iequals(e.name, name)) return false;
        }
        entries_.push_back({std::move(name), window});
        return true;
    }
    // The entry after (or before) `current`, wrapping around; from a window outside the ring, the
    // first (or last) entry. 0 when the ring is empty.
    uintptr_t next(uintptr_t current) const { return step(current, 1); }
    uintptr_t previous(uintptr_t current) const { return step(current, -1); }
    uintptr_t first() const { return entries_.empty() ? 0 : entries_.front().window; }
    void clear() { entries_.clear(); }
    size_t size() const { return entries_.size(); }

  private:
    struct Entry {
        std::string name;
        uintptr_t window;
    };
    uintptr_t step(uintptr_t current, int dir) const {
        const size_t n = entries_.size();
        if (n == 0) return 0;
        for (size_t i = 0; i < n; ++i) {
            if (entries_[i].window == current) return entries_[(i + n + dir) % n].window;
        }
        return dir > 0 ? entries_.front().window : entries_.back().window;
    }
    std::vector<Entry> entries_;
};

}  // namespace dravik
