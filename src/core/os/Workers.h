#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// Threads without std::thread: the shipped x86 build uses the compiler's win32 thread model,
// whose runtime has neither std::thread nor std::mutex. Windows gets its own threads and events,
// every other system std::thread.
namespace vidtag::os {

// A wake-up that one thread waits for and any other gives. A wake-up given while nobody waits is
// kept for the next wait, so none is lost between a check and the wait that follows it.
class WakeUp {
  public:
    WakeUp();
    ~WakeUp();
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;

    void Give();
    // Returns when woken, or after timeoutMs.
    void Wait(int timeoutMs);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Threads that each run the same task once; the object waits for every task when it goes (on
// Windows the threads themselves then sleep until the process exits). Fewer may start than asked
// for when the system refuses more: Started() says how many did.
class Workers {
  public:
    Workers(unsigned count, std::function<void()> task);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    unsigned Started() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// How many files the process may have open at once (the soft RLIMIT_NOFILE); 0 when the system
// sets no limit that matters here.
std::size_t OpenFileLimit();

} // namespace vidtag::os
