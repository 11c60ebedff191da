// The local time as the engine sees it, behind an interface so tests can fix the moment.
#pragma once

#include <cstdint>

namespace dravik {

struct LocalTime {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime now() = 0;
    // Blocks the calling thread; the log's waiting open sleeps between tries.
    virtual void sleep_ms(unsigned ms) = 0;
};

// yyyymmdd as a number, the form the effective-date rule compares.
inline int32_t date_number(const LocalTime& t) { return static_cast<int32_t>(t.year * 10000 + t.month * 100 + t.day); }

}  // namespace dravik
