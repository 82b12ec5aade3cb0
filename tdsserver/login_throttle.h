// Slows down password guessing: failed logins are counted per client
// address over a sliding window, and after the first few each further
// failure is answered only after a delay that doubles up to a limit.
// Successful logins are never delayed. Thread-safe.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace vqtdsserver {

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    struct Policy {
        int freeFailures = 3;                                  // failures answered at once
        std::chrono::milliseconds firstDelay{500};
        std::chrono::milliseconds maxDelay{8000};
        std::chrono::seconds window{300};                      // failures older than this are forgotten
    };

    LoginThrottle() = default;
    explicit LoginThrottle(Policy policy) : policy_(policy) {}

    // Records a failed login from `address` and returns how long to wait
    // before answering it.
    std::chrono::milliseconds recordFailure(const std::string& address, Clock::time_point now = Clock::now());
    // Failures of `address` within the window.
    int recentFailures(const std::string& address, Clock::time_point now = Clock::now());

private:
    void forgetOld(std::deque<Clock::time_point>& times, Clock::time_point now) const;

    Policy policy_;
    std::mutex mutex_;
    std::map<std::string, std::deque<Clock::time_point>> failures_;
};

}  // namespace vqtdsserver
