#pragma once

// GoogleTest's Notification for C++ libraries without std::mutex (mingw-w64's win32 thread
// model, which the shipped x86 build uses). GoogleTest needs it only for its own threading
// helpers, which these tests never start; it is correct all the same.
#include <atomic>

namespace testing::internal {

class Notification {
  public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) {
        }
    }

  private:
    std::atomic<bool> notified_{false};
};

} // namespace testing::internal
