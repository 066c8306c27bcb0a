// Loading and freeing setrix.dll in processes of their own. The library starts inside the
// loader lock: nothing there may wait for another thread or process, and a host that only
// loads the library must get it back at once however many others do the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "SetrixLibrary.h"

namespace {

// A started child process with its handles.
class Child {
public:
    explicit Child(const std::string& arguments) {
        std::string line = "\"" + ProgramDirectory() + "setrix-load-child.exe\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
            startError_ = GetLastError();
            info_ = PROCESS_INFORMATION{};
        }
    }
    ~Child() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 96);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD StartError() const { return startError_; }
    HANDLE Process() const { return info_.hProcess; }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_{};
    DWORD startError_ = 0;
};

// A child that loads the library. A process the system could not create never reached the
// library: under heavy load Wine once failed such a start (seen once in thousands); it is
// started once more, and said so, rather than taken for a load that failed.
std::unique_ptr<Child> StartLoader(const std::string& arguments, int number) {
    auto child = std::make_unique<Child>(arguments);
    if (!child->Started()) {
        std::fprintf(stderr, "process %d could not be created (error %lu); starting it once more\n", number,
                     static_cast<unsigned long>(child->StartError()));
        child = std::make_unique<Child>(arguments);
    }
    return child;
}

// The watchdog: a load that does not come back within this time hangs. It is far beyond
// what a loaded machine needs for a start of a process (well under a second here), and it
// only turns a hang into a failure.
constexpr DWORD kHangMilliseconds = 60000;

}  // namespace

TEST(ModuleLoadTest, LoadingReachesNeitherTheDesktopNorTheDisplay) {
    Child probe("probe");
    ASSERT_TRUE(probe.Started());
    ASSERT_EQ(WaitForSingleObject(probe.Process(), kHangMilliseconds), WAIT_OBJECT_0) << "the load hangs";
    EXPECT_EQ(probe.ExitCode(), 0u) << "1: the library does not load; 2: its load reached the display";
}

// Processes start, load the library twice (freeing it in between), and end, eight at a
// time, until 200 have done so.
TEST(ModuleLoadTest, ManyProcessesLoadAndFreeTheLibraryAtOnce) {
    constexpr int kProcesses = 200;
    constexpr size_t kAtOnce = 8;
    std::deque<std::unique_ptr<Child>> running;
    int started = 0, finished = 0;
    while (finished < kProcesses) {
        while (started < kProcesses && running.size() < kAtOnce) {
            running.push_back(StartLoader("cycle 2", started));
            ASSERT_TRUE(running.back()->Started())
                << "process " << started << " could not be created: error " << running.back()->StartError();
            ++started;
        }
        std::vector<HANDLE> handles;
        for (const auto& child : running) handles.push_back(child->Process());
        const DWORD signalled = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                                       kHangMilliseconds);
        ASSERT_LT(signalled, WAIT_OBJECT_0 + handles.size())
            << "no load came back; " << finished << " of " << kProcesses << " processes had finished";
        const size_t index = signalled - WAIT_OBJECT_0;
        EXPECT_EQ(running[index]->ExitCode(), 0u) << "process " << finished;
        running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
        ++finished;
    }
}
