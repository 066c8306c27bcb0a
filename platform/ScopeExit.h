// TScopeExit: runs an action when its scope ends, whether left normally or by an exception.
// Used wherever a clean-up must follow work that may raise. TUnwindGuard: what such a
// destructor needs to know to raise safely. CleanUpStep: a destructor's step that may fail.
// Attempt: a step of a sequence that goes to its end and reports its first failure after.
#pragma once

#include <exception>
#include <utility>

namespace platform {

// Runs one step of a destructor's clean-up (closing, detaching, notifying). A failure
// there has nobody to go to, and raised from a destructor it would end the program: it is
// dropped, and the destructor goes on with its next step.
template <class Step>
void CleanUpStep(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// Runs one step of a sequence that must go to its end (a release, a shutdown closing one
// thing after another): a failure does not stop the next steps; the first one is kept for
// the caller to pass on once the sequence is done.
template <class Step>
void Attempt(std::exception_ptr& failure, Step&& step) noexcept {
    try {
        step();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
}

// Whether the scope an object lives in is being left by an exception. A destructor that
// raised then would end the program (two exceptions at once), so it must keep its error
// to itself; at a normal exit its error passes on like any other.
class TUnwindGuard {
public:
    bool Unwinding() const { return std::uncaught_exceptions() > inFlight_; }

    // Runs a clean-up from a destructor: its error passes on, unless the scope is being
    // left by an exception already, which then goes on in its place.
    template <class Action>
    void Run(Action&& action) const {
        if (Unwinding())
            CleanUpStep(action);
        else
            action();
    }

private:
    int inFlight_ = std::uncaught_exceptions();
};

template <class Action>
class TScopeExit {
public:
    explicit TScopeExit(Action action) : action_(std::move(action)) {}
    // A clean-up that raises while no other exception is in flight passes its error on;
    // during unwinding the first exception goes on.
    ~TScopeExit() noexcept(false) { guard_.Run(action_); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    Action action_;
    TUnwindGuard guard_;
};

}  // namespace platform
