// TFetchSignal: how a background open or fetch of an Oracle record set tells the threads
// waiting for its rows that something arrived. It is set when the work ends and pulsed
// when it starts and after each block. A waiter takes a ticket before it looks at the rows
// and waits with it, so that a pulse between the look and the wait is not missed.
#pragma once

#include <windows.h>

#include <cstdint>

namespace oracle {

class TFetchSignal {
public:
    TFetchSignal() = default;
    TFetchSignal(const TFetchSignal&) = delete;
    TFetchSignal& operator=(const TFetchSignal&) = delete;

    // Clears the set state; answers a ticket for the wait that follows.
    uint64_t Reset();
    uint64_t Ticket();
    // Wakes every waiter; later waits return at once until the next Reset.
    void Set();
    // Wakes the waiters whose ticket is older; the signal stays clear.
    void Pulse();
    // Returns once the signal is set or pulsed after the ticket was taken.
    void Wait(uint64_t ticket);
    // Returns once a thread waits in Wait, or when the time (ms) has passed; answers whether
    // one waits.
    bool AwaitWaiter(DWORD milliseconds);

private:
    SRWLOCK guard_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE waiterCame_ = CONDITION_VARIABLE_INIT;
    unsigned waiting_ = 0;
    bool set_ = true;
    uint64_t pulses_ = 0;
};

}  // namespace oracle
