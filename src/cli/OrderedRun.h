#pragma once

#include <cstddef>
#include <functional>

namespace vidtag::cli {

// Runs job(i) for every i below count on up to `jobs` threads, and hands each i to done() on the
// calling thread in order, as soon as its job and every job before it have finished: the output
// is the same whatever the number of threads. No job runs more than `window` places ahead of the
// one done() waits for, so that a caller keeps the results in `window` slots (i % window) and a
// slow reader of the output holds the threads back instead of letting results pile up. done()
// returns false to end the run: no job starts after that, and RunInOrder returns once the
// running ones have finished. waiting() is called with the index waited for before each, and
// about ten times a second while it is not ready. With one job, or when no thread can be
// started, everything runs on the calling thread, one file after another.
void RunInOrder(std::size_t count, unsigned jobs, std::size_t window,
                const std::function<void(std::size_t)>& job,
                const std::function<bool(std::size_t)>& done,
                const std::function<void(std::size_t)>& waiting);

} // namespace vidtag::cli
