// TTextFile: the runtime's line-by-line text input over a Win32 file handle.
// Lines end with CR, LF or CR LF. Used by the exports that read list, log and INI texts.
#pragma once

#include <windows.h>

#include <vector>

#include "SysUtils.h"

namespace platform {

// Owns one Win32 handle and closes it.
class THandleOwner {
public:
    THandleOwner() = default;
    explicit THandleOwner(HANDLE h) : handle_(h) {}
    ~THandleOwner() { Reset(); }
    THandleOwner(THandleOwner&& other) noexcept : handle_(other.Release()) {}
    THandleOwner& operator=(THandleOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    THandleOwner(const THandleOwner&) = delete;
    THandleOwner& operator=(const THandleOwner&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) CloseHandle(handle_);
        handle_ = h;
    }

private:
    HANDLE handle_ = nullptr;
};

class TTextFile {
public:
    // Opens for reading; raises EInOutError when the file cannot be opened.
    explicit TTextFile(const AnsiString& path);

    // Next line without its end; false at the end of the file.
    bool ReadLine(AnsiString& line);
    bool Eof();

private:
    bool Fill();

    THandleOwner file_;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

// Whole-file helpers over the same handle rules.
AnsiString ReadFileText(const AnsiString& path);
bool FileExists(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);

}  // namespace platform
