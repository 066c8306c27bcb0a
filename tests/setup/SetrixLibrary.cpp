#include "SetrixLibrary.h"

#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <sstream>

std::string TempDirectory() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    char name[MAX_PATH];
    GetTempFileNameA(base, "stx", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    return std::string(name) + "\\";
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ProgramDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string CutShortTo(const std::string& beginning, const std::string& rest, size_t added) {
    const size_t length = 16 * 65536 + beginning.size() - added;
    std::string text = beginning;
    while (text.size() < length) text += rest;
    text.resize(length);
    return text;
}

void RemoveTree(const std::string& path) {
    std::string from = path;
    while (!from.empty() && from.back() == '\\') from.pop_back();
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

namespace {

// One argument of a command line as the C runtime splits it: quoted, with the backslashes
// before a quote (or before the closing quote) doubled.
std::string QuotedArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

// The test's environment block with the variables added (replacing any of the same name).
std::string EnvironmentWith(const std::vector<std::string>& added) {
    std::string block;
    char* current = GetEnvironmentStringsA();
    for (const char* entry = current; *entry; entry += std::strlen(entry) + 1) {
        const std::string variable = entry;
        const std::string name = variable.substr(0, variable.find('=', 1) + 1);
        bool replaced = false;
        for (const std::string& a : added) replaced = replaced || _strnicmp(a.c_str(), name.c_str(), name.size()) == 0;
        if (!replaced) block.append(variable).push_back('\0');
    }
    FreeEnvironmentStringsA(current);
    for (const std::string& a : added) block.append(a).push_back('\0');
    block.push_back('\0');
    return block;
}

}  // namespace

HostProcess::HostProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                         const std::string& program) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return;
    output_.Reset(readEnd);
    platform::THandleOwner childEnd(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine = QuotedArgument(program);
    for (const std::string& argument : arguments) commandLine += " " + QuotedArgument(argument);
    PROCESS_INFORMATION process{};
    std::string block = environment.empty() ? std::string() : EnvironmentWith(environment);
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                        environment.empty() ? nullptr : block.data(), nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    process_.Reset(process.hProcess);
}

bool HostProcess::Running() const {
    return process_.Valid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

std::string HostProcess::Output(DWORD milliseconds) {
    if (!process_.Valid()) return "<not started>";
    // The pipe holds far more than a result: the host never waits for it to be read.
    if (WaitForSingleObject(process_.Get(), milliseconds) != WAIT_OBJECT_0) return "<still running>";
    std::string output;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(output_.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    return output;
}

DWORD HostProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_.Valid()) GetExitCodeProcess(process_.Get(), &code);
    return code;
}

void HostProcess::Kill() {
    if (!Running()) return;
    TerminateProcess(process_.Get(), 1);
    WaitForSingleObject(process_.Get(), INFINITE);
}

TestPointEvents::TestPointEvents() {
    static int made = 0;
    prefix_ = "setrix-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
}

platform::THandleOwner& TestPointEvents::Event(const std::string& name) {
    platform::THandleOwner& event = events_[name];
    if (!event.Valid()) event.Reset(CreateEventA(nullptr, TRUE, FALSE, (prefix_ + "." + name).c_str()));
    return event;
}

HANDLE TestPointEvents::Reached(const std::string& point) { return Event(point).Get(); }
void TestPointEvents::Hold(const std::string& point) { Event(point + ".go"); }
void TestPointEvents::Release(const std::string& point) { SetEvent(Event(point + ".go").Get()); }

int FirstSignalled(const std::vector<HANDLE>& handles) {
    const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 60000);
    return waited < WAIT_OBJECT_0 + handles.size() ? static_cast<int>(waited - WAIT_OBJECT_0) : -1;
}
