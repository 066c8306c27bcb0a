// A statement library that has every entry point but answers as an engine this library
// must not trust: version 3, and a log-in that leaves the caller logged out (51).
// Counts the version calls so that a test sees whether the engine was asked again.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "btrieve/engines/RelationalApi.h"

namespace {
LONG versionCalls = 0;
}

extern "C" {

__declspec(dllexport) int16_t WINAPI FakeVersion(void* record) {
    InterlockedIncrement(&versionCalls);
    auto* version = static_cast<btrieve::SqlVersionRecord*>(record);
    version->major = 3;
    return 0;
}

__declspec(dllexport) int16_t WINAPI FakeLogin(const char*, const char*, const char*, const char*, const char*,
                                               int16_t) {
    return btrieve::SqlStatusLoginIgnored;
}

__declspec(dllexport) int16_t WINAPI FakeSession(int16_t*) { return 0; }

__declspec(dllexport) int16_t WINAPI FakeOther() { return btrieve::SqlStatusNotSupported; }

__declspec(dllexport) LONG WINAPI FakeVersionCalls() { return versionCalls; }
}
