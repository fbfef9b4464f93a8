#include "OrderedRun.h"

#include "os/Workers.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace vidtag::cli {

namespace {

constexpr int kWaitStepMs = 100;

void RunSerially(std::size_t count, const std::function<void(std::size_t)>& job,
                 const std::function<void(std::size_t)>& done,
                 const std::function<void(std::size_t)>& waiting) {
    for (std::size_t i = 0; i < count; ++i) {
        waiting(i);
        job(i);
        done(i);
    }
}

} // namespace

void RunInOrder(std::size_t count, unsigned jobs, const std::function<void(std::size_t)>& job,
                const std::function<void(std::size_t)>& done,
                const std::function<void(std::size_t)>& waiting) {
    const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(jobs, count));
    if (threads <= 1) {
        RunSerially(count, job, done, waiting);
        return;
    }
    std::atomic<std::size_t> next{0};
    const auto finished = std::make_unique<std::atomic<bool>[]>(count);
    os::WakeUp wake;
    auto take = [&] {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            job(i);
            finished[i].store(true, std::memory_order_release);
            wake.Give();
        }
    };
    os::Workers workers(threads, take);
    if (workers.Started() == 0) {
        take(); // nobody else will: every job is done here, before the first is handed on
    }
    for (std::size_t i = 0; i < count; ++i) {
        waiting(i);
        while (!finished[i].load(std::memory_order_acquire)) {
            wake.Wait(kWaitStepMs);
            waiting(i);
        }
        done(i);
    }
}

} // namespace vidtag::cli
