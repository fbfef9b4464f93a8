#include "os/Workers.h"

#include <vector>

#include <windows.h>

namespace vidtag::os {

struct WakeUp::State {
    // Auto-reset: a wait consumes the wake-up; one given before the wait is kept.
    HANDLE Event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
};

WakeUp::WakeUp() : state_(std::make_unique<State>()) {}

WakeUp::~WakeUp() {
    if (state_->Event != nullptr) {
        CloseHandle(state_->Event);
    }
}

void WakeUp::Give() {
    if (state_->Event != nullptr) {
        SetEvent(state_->Event);
    }
}

void WakeUp::Wait(int timeoutMs) {
    if (state_->Event != nullptr) {
        WaitForSingleObject(state_->Event, static_cast<DWORD>(timeoutMs));
    } else {
        Sleep(static_cast<DWORD>(timeoutMs)); // the waiter polls instead
    }
}

// A thread's end is not waited for, only its task's, and the thread never ends: it sleeps once
// its task is done, and the process ends it when it exits. Under Wine the end of a thread that
// holds thread-local objects (the engine's state) hung, and took the process's exit with it.
struct Workers::State {
    std::function<void()> Task;
    std::vector<HANDLE> Threads;
    std::vector<HANDLE> Finished;
};

namespace {

struct ThreadStart {
    std::function<void()>* Task;
    HANDLE Finished;
};

DWORD WINAPI RunTask(LPVOID parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    (*start.Task)();
    SetEvent(start.Finished);
    Sleep(INFINITE);
    return 0;
}

} // namespace

Workers::Workers(unsigned count, std::function<void()> task) : state_(std::make_unique<State>()) {
    state_->Task = std::move(task);
    for (unsigned i = 0; i < count; ++i) {
        HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (finished == nullptr) {
            break;
        }
        auto* start = new ThreadStart{&state_->Task, finished};
        HANDLE thread = CreateThread(nullptr, 0, RunTask, start, 0, nullptr);
        if (thread == nullptr) {
            delete start;
            CloseHandle(finished);
            break; // the ones started do the work
        }
        state_->Threads.push_back(thread);
        state_->Finished.push_back(finished);
    }
}

Workers::~Workers() {
    for (HANDLE finished : state_->Finished) {
        WaitForSingleObject(finished, INFINITE);
        CloseHandle(finished);
    }
    for (HANDLE thread : state_->Threads) {
        CloseHandle(thread);
    }
}

unsigned Workers::Started() const {
    return static_cast<unsigned>(state_->Threads.size());
}

// Handles have no per-process limit that a few dozen files could reach.
std::size_t OpenFileLimit() {
    return 0;
}

} // namespace vidtag::os
