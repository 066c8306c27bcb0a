// The process exports: starting a program with or without waiting for it, and finding or
// terminating running programs by their executable's file name.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <vector>

#include "platform/TextFile.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/FilePaths.h"

using namespace platform;
using namespace setrix;

namespace {

// The longest command line the waiting start accepts.
constexpr size_t kMaxCommandLine = 512;
constexpr int kNotStarted = -1;
// The longest command line the system starts (32,767 characters with its terminator). A
// longer one is not always refused: the system keeps an ANSI text's length in 16 bits, so
// a line of 64 KiB and more would start cut short, running its beginning without the rest.
constexpr size_t kMaxSystemCommandLine = 32766;
// WinExec's code for a start that found no resources; 31 and below mean not started.
constexpr int kWinExecNoResources = 0;

AnsiString AsciiLowerCase(AnsiString text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The system's list of running processes at one moment.
class TProcessSnapshot {
public:
    TProcessSnapshot() : snapshot_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}

    // Calls visit(processId) for every process whose executable's file name equals
    // `fileName`, ignoring the case of ASCII letters.
    template <class Visit>
    void ForEachNamed(const AnsiString& fileName, Visit&& visit) {
        // An empty name names no program (Wine lists some system processes without one).
        if (!snapshot_.Valid() || fileName.empty()) return;
        const AnsiString wanted = AsciiLowerCase(fileName);
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot_.Get(), &entry); more; more = Process32Next(snapshot_.Get(), &entry)) {
            const AnsiString exe(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
            if (AsciiLowerCase(ExtractFileName(exe)) == wanted) visit(entry.th32ProcessID);
        }
    }

private:
    THandleOwner snapshot_;
};

// Creates the process, waits for its end and gives its exit code; -1 when it cannot start.
int RunAndWait(const AnsiString& commandLine) {
    if (commandLine.size() > kMaxCommandLine) return kNotStarted;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');  // CreateProcessA may write into the command line
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
        return kNotStarted;
    const THandleOwner process(info.hProcess), thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) return kNotStarted;
    return static_cast<int>(exitCode);
}

}  // namespace

int ExecuteProgram(const char* commandLine) {
    return Guarded(kWinExecNoResources, [&] {
        const AnsiString line = Arg(commandLine);
        if (line.size() > kMaxSystemCommandLine) return kWinExecNoResources;
        return static_cast<int>(WinExec(line.c_str(), SW_SHOWNORMAL));
    });
}

int ExecuteProgramWait(const char* commandLine) {
    return Guarded(kNotStarted, [&] { return RunAndWait(Arg(commandLine)); });
}

int ProcessExists(const char* fileName) {
    return Guarded(0, [&] {
        bool found = false;
        TProcessSnapshot().ForEachNamed(Arg(fileName), [&](DWORD) { found = true; });
        return found ? 1 : 0;
    });
}

int KillProcess(const char* fileName) {
    return Guarded(0, [&] {
        const DWORD self = GetCurrentProcessId();
        bool killed = false;
        TProcessSnapshot().ForEachNamed(Arg(fileName), [&](DWORD id) {
            // The host that asks must survive its own request.
            if (id == self) return;
            const THandleOwner process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
            if (process.Valid() && TerminateProcess(process.Get(), 0)) killed = true;
        });
        return killed ? 1 : 0;
    });
}
