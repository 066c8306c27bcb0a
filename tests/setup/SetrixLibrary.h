// Test access to setrix.dll through the real boundary: LoadLibrary and GetProcAddress,
// as the installation-script host calls it.
#pragma once

#include <windows.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/TextFile.h"

class SetrixLibrary {
public:
    SetrixLibrary() : module_(LoadLibraryA("setrix.dll")) {
        if (!module_) throw std::runtime_error("setrix.dll cannot be loaded");
    }
    ~SetrixLibrary() { Unload(); }
    SetrixLibrary(const SetrixLibrary&) = delete;
    SetrixLibrary& operator=(const SetrixLibrary&) = delete;

    void Unload() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }

    // The export as a typed stdcall function: Fn<const char*(const char*, int)>("GetEntry").
    template <class Signature>
    struct Stdcall;
    template <class R, class... A>
    struct Stdcall<R(A...)> {
        using Type = R(WINAPI*)(A...);
    };

    template <class Signature>
    typename Stdcall<Signature>::Type Fn(const char* name) const {
        FARPROC proc = GetProcAddress(module_, name);
        if (!proc) throw std::runtime_error(std::string("setrix.dll does not export ") + name);
        return reinterpret_cast<typename Stdcall<Signature>::Type>(reinterpret_cast<void*>(proc));
    }

private:
    HMODULE module_;
};

// A file that another program holds open, with its share mode, while this object lives.
class HeldOpen {
public:
    HeldOpen(const std::string& path, DWORD access, DWORD share, DWORD creation = OPEN_EXISTING)
        : handle_(CreateFileA(path.c_str(), access, share, nullptr, creation, 0, nullptr)) {}
    ~HeldOpen() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// A file in a fresh temporary folder of the test, removed with it.
std::string TempDirectory();
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole file; "" when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// The folder of the test program, where setrix.dll and the helper programs lie (with "\\").
std::string ProgramDirectory();
void RemoveTree(const std::string& path);

// The script host (setrix-host.exe beside the test program) calling one export in a
// process of its own, as an installation script runs it; it ends with the object. Another
// program of the installation (ecdump) runs the same way when its path is given.
class HostProcess {
public:
    // The host's arguments: host parameters, the export's name, its arguments; variables
    // ("NAME=value") added to the test's environment for the process.
    explicit HostProcess(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {},
                         const std::string& program = ProgramDirectory() + "setrix-host.exe");
    ~HostProcess() { Kill(); }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool Running() const;
    // Signalled when the process ends.
    HANDLE Handle() const { return process_.Get(); }
    // Waits for the host to end and answers what it printed ("<not started>",
    // "<still running>" when it did not end in time).
    std::string Output(DWORD milliseconds = 60000);
    // The exit code once the process ended (after Output).
    DWORD ExitCode() const;
    // Ends the process at once, as a crash or a stopped installation would.
    void Kill();

private:
    platform::THandleOwner process_;
    platform::THandleOwner output_;
};

// Named events through which a test watches and holds a process it starts at the named
// points of the deliverables' work (platform/TestPoints.h); hand Environment() to the
// process.
class TestPointEvents {
public:
    TestPointEvents();
    std::string Environment() const { return "SETRIX_TEST_EVENTS=" + prefix_; }
    // Signalled once the process reached the point.
    HANDLE Reached(const std::string& point);
    // The process waits at the point until the test releases it.
    void Hold(const std::string& point);
    void Release(const std::string& point);

private:
    platform::THandleOwner& Event(const std::string& name);

    std::string prefix_;
    std::map<std::string, platform::THandleOwner> events_;
};

// The index of the first of the handles to be signalled; -1 when none is within a minute.
int FirstSignalled(const std::vector<HANDLE>& handles);

// A hostile text of more than 1 MiB: `beginning`, then `rest` repeated (the last copy cut
// to fit). Its length is 16 times 65,536 plus the beginning's, less `added`. The system
// keeps an ANSI text's length in 16 bits, so once an export has added `added` characters
// of its own, an unchecked call would act on `beginning` alone.
std::string CutShortTo(const std::string& beginning, const std::string& rest, size_t added = 0);
