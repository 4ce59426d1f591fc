#include "platform/posix/SystemClock.h"

#include <chrono>
#include <ctime>

namespace platform {

std::int64_t SystemClock::millisecondsSinceMidnight()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000LL + ms;
}

}  // namespace platform
