#include "platform/TestPoints.h"

#ifdef SETRIX_TEST_POINTS

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

std::string Environment(const char* name) {
    char value[256];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
}

bool KillsHere(const std::string& when, const char* name, long reached) {
    if (when.empty()) return false;
    char* end = nullptr;
    const long n = std::strtol(when.c_str(), &end, 10);
    return *end == '\0' ? n == reached : when == name;
}

// Sets the test's event for the point, then waits for its go-ahead when it asked to hold.
void Announce(const std::string& prefix, const char* name) {
    const std::string event = prefix + "." + name;
    if (HANDLE reached = OpenEventA(EVENT_MODIFY_STATE, FALSE, event.c_str())) {
        SetEvent(reached);
        CloseHandle(reached);
    }
    if (HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (event + ".go").c_str())) {
        WaitForSingleObject(go, INFINITE);
        CloseHandle(go);
    }
}

}  // namespace

void TestPoint(const char* name) {
    static std::atomic<long> reached{0};
    const long count = ++reached;
    if (KillsHere(Environment("SETRIX_TEST_KILL_AT"), name, count))
        TerminateProcess(GetCurrentProcess(), TestPointKillCode);
    const std::string prefix = Environment("SETRIX_TEST_EVENTS");
    if (!prefix.empty()) Announce(prefix, name);
}

}  // namespace platform

#endif
