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
    while (!set_ && pulses_ == ticket) SleepConditionVariableSRW(&changed_, &guard_, INFINITE, 0);
    ReleaseSRWLockExclusive(&guard_);
}

}  // namespace oracle
