// Test access to setrix.dll through the real boundary: LoadLibrary and GetProcAddress,
// as the installation-script host calls it.
#pragma once

#include <windows.h>

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
// process of its own, as an installation script runs it; it ends with the object.
class HostProcess {
public:
    // The host's arguments: host parameters, the export's name, its arguments.
    explicit HostProcess(const std::vector<std::string>& arguments);
    ~HostProcess() { Kill(); }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool Running() const;
    // Waits for the host to end and answers what it printed ("<not started>",
    // "<still running>" when it did not end in time).
    std::string Output(DWORD milliseconds = 60000);
    // Ends the process at once, as a crash or a stopped installation would.
    void Kill();

private:
    platform::THandleOwner process_;
    platform::THandleOwner output_;
};

// A hostile text of more than 1 MiB: `beginning`, then `rest` repeated (the last copy cut
// to fit). Its length is 16 times 65,536 plus the beginning's, less `added`. The system
// keeps an ANSI text's length in 16 bits, so once an export has added `added` characters
// of its own, an unchecked call would act on `beginning` alone.
std::string CutShortTo(const std::string& beginning, const std::string& rest, size_t added = 0);
