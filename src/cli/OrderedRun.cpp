#include "OrderedRun.h"

#include "os/Workers.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace vidtag::cli {

namespace {

constexpr int kWaitStepMs = 100;
// A thread waiting for its place in the window looks again this often: the output's wake-up
// alone was seen to leave a thread waiting out its whole step with its place long free.
constexpr int kPlaceStepMs = 1;

void RunSerially(std::size_t count, const std::function<void(std::size_t)>& job,
                 const std::function<bool(std::size_t)>& done,
                 const std::function<void(std::size_t)>& waiting) {
    for (std::size_t i = 0; i < count; ++i) {
        waiting(i);
        job(i);
        if (!done(i)) {
            return;
        }
    }
}

// One place of the window: which job last finished in it, and a wake-up for the thread whose
// job waits for the place to be read.
struct Slot {
    std::atomic<std::size_t> Finished{0}; // the index of that job plus one
    os::WakeUp Freed;
};

} // namespace

void RunInOrder(std::size_t count, unsigned jobs, std::size_t window,
                const std::function<void(std::size_t)>& job,
                const std::function<bool(std::size_t)>& done,
                const std::function<void(std::size_t)>& waiting) {
    const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(jobs, count));
    window = std::max<std::size_t>(window, threads);
    if (threads <= 1) {
        RunSerially(count, job, done, waiting);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> read{0}; // how many done() has taken
    std::atomic<bool> stop{false};
    const auto slots = std::make_unique<Slot[]>(window);
    os::WakeUp finished;
    auto take = [&] {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            Slot& slot = slots[i % window];
            while (!stop.load() && i >= read.load(std::memory_order_acquire) + window) {
                slot.Freed.Wait(kPlaceStepMs);
            }
            if (stop.load()) {
                return;
            }
            job(i);
            slot.Finished.store(i + 1, std::memory_order_release);
            finished.Give();
        }
    };
    os::Workers workers(threads, take);
    if (workers.Started() == 0) {
        RunSerially(count, job, done, waiting); // nobody else will
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Slot& slot = slots[i % window];
        waiting(i);
        while (slot.Finished.load(std::memory_order_acquire) != i + 1) {
            finished.Wait(kWaitStepMs);
            waiting(i);
        }
        const bool goOn = done(i);
        read.store(i + 1, std::memory_order_release);
        slot.Freed.Give();
        if (!goOn) {
            stop.store(true);
            for (std::size_t s = 0; s < window; ++s) {
                slots[s].Freed.Give();
            }
            return;
        }
    }
}

} // namespace vidtag::cli
