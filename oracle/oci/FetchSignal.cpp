#include "oracle/oci/FetchSignal.h"

namespace oracle {

uint64_t TFetchSignal::Reset() {
    AcquireSRWLockExclusive(&guard_);
    set_ = false;
    const uint64_t ticket = pulses_;
    ReleaseSRWLockExclusive(&guard_);
    return ticket;
}

uint64_t TFetchSignal::Ticket() {
    AcquireSRWLockShared(&guard_);
    const uint64_t ticket = pulses_;
    ReleaseSRWLockShared(&guard_);
    return ticket;
}

void TFetchSignal::Set() {
    AcquireSRWLockExclusive(&guard_);
    set_ = true;
    ++pulses_;
    ReleaseSRWLockExclusive(&guard_);
    WakeAllConditionVariable(&changed_);
}

void TFetchSignal::Pulse() {
    AcquireSRWLockExclusive(&guard_);
    ++pulses_;
    ReleaseSRWLockExclusive(&guard_);
    WakeAllConditionVariable(&changed_);
}

void TFetchSignal::Wait(uint64_t ticket) {
    AcquireSRWLockExclusive(&guard_);
    if (!set_ && pulses_ == ticket) {
        ++waiting_;
        WakeAllConditionVariable(&waiterCame_);
        while (!set_ && pulses_ == ticket) SleepConditionVariableSRW(&changed_, &guard_, INFINITE, 0);
        --waiting_;
    }
    ReleaseSRWLockExclusive(&guard_);
}

bool TFetchSignal::AwaitWaiter(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    AcquireSRWLockExclusive(&guard_);
    for (ULONGLONG now = GetTickCount64(); waiting_ == 0 && now < deadline; now = GetTickCount64())
        SleepConditionVariableSRW(&waiterCame_, &guard_, static_cast<DWORD>(deadline - now), 0);
    const bool waits = waiting_ > 0;
    ReleaseSRWLockExclusive(&guard_);
    return waits;
}

}  // namespace oracle
