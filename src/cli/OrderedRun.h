#pragma once

#include <cstddef>
#include <functional>

namespace vidtag::cli {

// Runs job(i) for every i below count on up to `jobs` threads, and hands each i to done() on the
// calling thread in order, as soon as its job and every job before it have finished: the output
// is the same whatever the number of threads. waiting() is called with the index waited for
// before each, and about ten times a second while it is not ready. With one job, or when no thread
// can be started, everything runs on the calling thread, one file after another.
void RunInOrder(std::size_t count, unsigned jobs, const std::function<void(std::size_t)>& job,
                const std::function<void(std::size_t)>& done,
                const std::function<void(std::size_t)>& waiting);

} // namespace vidtag::cli
