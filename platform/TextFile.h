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

// Whether the file functions can take the path: their ANSI forms hold at most
// MAX_PATH - 1 characters. A longer text is not always refused by the system: it keeps
// a text's length in 16 bits, so a path of 64 KiB and more reaches it cut short and
// names some other file. Every file operation of the platform checks this first.
bool FitsFilePathLimit(const AnsiString& path);
// Raises EInOutError (ERROR_FILENAME_EXCED_RANGE) for a path beyond the limit.
void CheckFilePathLimit(const AnsiString& path);

// Whole-file helpers over the same handle rules. A path beyond the limit names no file:
// opening it raises EInOutError, and it does not exist.
AnsiString ReadFileText(const AnsiString& path);
bool FileExists(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);

// Puts `contents` in place of the file whole or not at all: they go to a new file beside
// it, reach the disk, and that file then takes the old one's name in one step (a file
// rewritten in place is left cut short when the disk fills or the writer dies). Raises
// EInOutError when any step fails; the old file, if any, is then as it was. A read-only
// file is refused, as writing into it would be; its other attributes carry over.
void ReplaceFileContents(const AnsiString& path, const AnsiString& contents);

}  // namespace platform
