#pragma once
// The time of day on this machine's clock, in its local time zone.

#include "platform/Platform.h"

namespace platform {

class SystemClock : public Clock {
public:
    std::int64_t millisecondsSinceMidnight() override;
};

}  // namespace platform
