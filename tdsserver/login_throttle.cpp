#include "login_throttle.h"

#include <algorithm>

namespace vqtdsserver {

void LoginThrottle::forgetOld(std::deque<Clock::time_point>& times, Clock::time_point now) const
{
    while (!times.empty() && now - times.front() > policy_.window)
        times.pop_front();
}

std::chrono::milliseconds LoginThrottle::recordFailure(const std::string& address, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    // Addresses with nothing recent are dropped, so the map stays small.
    if (failures_.size() > 10000) {
        for (auto it = failures_.begin(); it != failures_.end();) {
            forgetOld(it->second, now);
            it = it->second.empty() ? failures_.erase(it) : std::next(it);
        }
    }
    auto& times = failures_[address];
    forgetOld(times, now);
    times.push_back(now);
    if (times.size() > 1000)
        times.pop_front();
    const int beyond = static_cast<int>(times.size()) - policy_.freeFailures;
    if (beyond <= 0)
        return std::chrono::milliseconds(0);
    auto delay = policy_.firstDelay;
    for (int i = 1; i < beyond && delay < policy_.maxDelay; ++i)
        delay *= 2;
    return std::min(delay, policy_.maxDelay);
}

int LoginThrottle::recentFailures(const std::string& address, Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    auto it = failures_.find(address);
    if (it == failures_.end())
        return 0;
    forgetOld(it->second, now);
    return static_cast<int>(it->second.size());
}

}  // namespace vqtdsserver
