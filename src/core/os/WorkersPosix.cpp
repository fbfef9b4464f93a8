#include "os/Workers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <vector>

namespace vidtag::os {

struct WakeUp::State {
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Given = false;
};

WakeUp::WakeUp() : state_(std::make_unique<State>()) {}

WakeUp::~WakeUp() = default;

void WakeUp::Give() {
    {
        const std::lock_guard<std::mutex> lock(state_->Mutex);
        state_->Given = true;
    }
    state_->Changed.notify_one();
}

void WakeUp::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(state_->Mutex);
    state_->Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return state_->Given; });
    state_->Given = false;
}

struct Workers::State {
    std::function<void()> Task;
    std::vector<std::thread> Threads;
};

Workers::Workers(unsigned count, std::function<void()> task) : state_(std::make_unique<State>()) {
    state_->Task = std::move(task);
    for (unsigned i = 0; i < count; ++i) {
        try {
            state_->Threads.emplace_back([this] { state_->Task(); });
        } catch (const std::system_error&) {
            break; // the ones started do the work
        }
    }
}

Workers::~Workers() {
    for (std::thread& thread : state_->Threads) {
        thread.join();
    }
}

unsigned Workers::Started() const {
    return static_cast<unsigned>(state_->Threads.size());
}

std::size_t OpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 0;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

} // namespace vidtag::os
