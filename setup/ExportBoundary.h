// What every export does at the boundary: copy the host's arguments before anything can
// overwrite them (the host may pass back a pointer an export returned), store text results
// in ResultBuffer, and never let an exception reach the host.
#pragma once

#include <utility>

#include "platform/TextFile.h"
#include "setup/ModuleState.h"

namespace setrix {

// The host's text argument, copied; a null pointer is the empty text.
inline AnsiString Arg(const char* text) { return text ? AnsiString(text) : AnsiString(); }

// The host's path of a file or folder. One beyond the file path limit names nothing and is
// refused here, before anything acts on it: the system would cut it short, and its
// beginning would name a file or folder the host never gave. The refusal reaches the
// export's guard, which answers the export's failure result.
inline AnsiString PathArg(const char* text) {
    AnsiString path = Arg(text);
    platform::CheckFilePathLimit(path);
    return path;
}

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
