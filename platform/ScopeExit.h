// TScopeExit: runs an action when its scope ends, whether left normally or by an exception.
// Used wherever a clean-up must follow work that may raise.
#pragma once

#include <utility>

namespace platform {

template <class Action>
class TScopeExit {
public:
    explicit TScopeExit(Action action) : action_(std::move(action)) {}
    // A clean-up that raises while no other exception is in flight passes its error on.
    ~TScopeExit() noexcept(false) { action_(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    Action action_;
};

}  // namespace platform
