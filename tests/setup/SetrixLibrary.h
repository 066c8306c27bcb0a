// Test access to setrix.dll through the real boundary: LoadLibrary and GetProcAddress,
// as the installation-script host calls it.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

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
