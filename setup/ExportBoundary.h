// What every export does at the boundary: copy the host's arguments before anything can
// overwrite them (the host may pass back a pointer an export returned), store text results
// in ResultBuffer, and never let an exception reach the host.
#pragma once

#include <utility>

#include "setup/ModuleState.h"

namespace setrix {

// The host's text argument, copied; a null pointer is the empty text.
inline AnsiString Arg(const char* text) { return text ? AnsiString(text) : AnsiString(); }

// Stores the text as the export's result and returns the pointer handed to the host.
inline const char* ReturnText(AnsiString text) {
    AnsiString& buffer = State().ResultBuffer;
    buffer = std::move(text);
    return buffer.c_str();
}

// Runs the export's body; any failure below it becomes the export's failure result.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// The same for exports that return nothing.
template <class Body>
void GuardedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace setrix
