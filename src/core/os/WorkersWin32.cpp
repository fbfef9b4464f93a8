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

struct Workers::State {
    std::function<void()> Task;
    std::vector<HANDLE> Threads;
};

namespace {

DWORD WINAPI RunTask(LPVOID parameter) {
    (*static_cast<std::function<void()>*>(parameter))();
    return 0;
}

} // namespace

Workers::Workers(unsigned count, std::function<void()> task) : state_(std::make_unique<State>()) {
    state_->Task = std::move(task);
    for (unsigned i = 0; i < count; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, RunTask, &state_->Task, 0, nullptr);
        if (thread == nullptr) {
            break; // the ones started do the work
        }
        state_->Threads.push_back(thread);
    }
}

Workers::~Workers() {
    for (HANDLE thread : state_->Threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

unsigned Workers::Started() const {
    return static_cast<unsigned>(state_->Threads.size());
}

} // namespace vidtag::os
