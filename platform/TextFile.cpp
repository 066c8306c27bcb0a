#include "TextFile.h"

#include <algorithm>
#include <utility>

namespace platform {

namespace {

THandleOwner OpenForReading(const AnsiString& path) {
    CheckFilePathLimit(path);
    THandleOwner h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) {
        const DWORD err = GetLastError();
        throw EInOutError("Cannot open file \"" + path + "\" (error " + IntToStr(err) + ")", err);
    }
    return h;
}

[[noreturn]] void WriteFailed(const AnsiString& path, DWORD err) {
    throw EInOutError("Cannot write file \"" + path + "\" (error " + IntToStr(err) + ")", err);
}

// The directory of a path, as the file system resolves it, with its trailing backslash.
AnsiString DirectoryOf(const AnsiString& path) {
    char full[MAX_PATH];
    char* name = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, &name);
    if (n == 0 || n >= sizeof full || !name) WriteFailed(path, n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE);
    return AnsiString(full, name - full);
}

// A new file beside the one it is to replace; deleted again unless it took that one's place.
class TReplacement {
public:
    explicit TReplacement(AnsiString target) : target_(std::move(target)) {
        char path[MAX_PATH];
        if (!GetTempFileNameA(DirectoryOf(target_).c_str(), "stx", 0, path)) WriteFailed(target_, GetLastError());
        path_ = path;
    }
    ~TReplacement() {
        if (!path_.empty()) DeleteFileA(path_.c_str());
    }
    TReplacement(const TReplacement&) = delete;
    TReplacement& operator=(const TReplacement&) = delete;

    // Writes the contents and waits until they are on the disk.
    void Write(const AnsiString& contents) {
        THandleOwner file(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) WriteFailed(target_, GetLastError());
        for (size_t done = 0; done < contents.size();) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1 << 20));
            DWORD written = 0;
            // A short write leaves the rest to the next one, which tells why it cannot go on.
            if (!WriteFile(file.Get(), contents.data() + done, chunk, &written, nullptr))
                WriteFailed(target_, GetLastError());
            done += written;
        }
        if (!FlushFileBuffers(file.Get())) WriteFailed(target_, GetLastError());
    }

    // Puts the new file in the target's place, with the given attributes of the old one.
    void Commit(DWORD attributes) {
        if (attributes) SetFileAttributesA(path_.c_str(), attributes);
        if (!MoveFileExA(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            WriteFailed(target_, GetLastError());
        path_.clear();
    }

private:
    AnsiString target_;
    AnsiString path_;
};

}  // namespace

TTextFile::TTextFile(const AnsiString& path) : file_(OpenForReading(path)), buffer_(64 * 1024) {}

bool TTextFile::Fill() {
    if (pos_ < end_) return true;
    DWORD got = 0;
    if (!ReadFile(file_.Get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr)) {
        const DWORD err = GetLastError();
        throw EInOutError("Read error (error " + IntToStr(err) + ")", err);
    }
    pos_ = 0;
    end_ = got;
    return got > 0;
}

bool TTextFile::Eof() { return !Fill(); }

bool TTextFile::ReadLine(AnsiString& line) {
    line.clear();
    if (!Fill()) return false;
    while (Fill()) {
        const char c = buffer_[pos_++];
        if (c == '\n') return true;
        if (c == '\r') {
            if (Fill() && buffer_[pos_] == '\n') ++pos_;
            return true;
        }
        line += c;
    }
    return true;
}

AnsiString ReadFileText(const AnsiString& path) {
    THandleOwner h = OpenForReading(path);
    AnsiString text;
    char chunk[64 * 1024];
    DWORD got = 0;
    while (ReadFile(h.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    return text;
}

bool FitsFilePathLimit(const AnsiString& path) { return path.size() < MAX_PATH; }

void CheckFilePathLimit(const AnsiString& path) {
    // The message leaves the path out: it may be a megabyte long.
    if (!FitsFilePathLimit(path))
        throw EInOutError("File name too long (" + IntToStr(static_cast<int64_t>(path.size())) + " characters)",
                          ERROR_FILENAME_EXCED_RANGE);
}

bool FileExists(const AnsiString& path) {
    if (!FitsFilePathLimit(path)) return false;
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void ReplaceFileContents(const AnsiString& path, const AnsiString& contents) {
    CheckFilePathLimit(path);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        attributes = 0;
    else if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        WriteFailed(path, ERROR_ACCESS_DENIED);
    TReplacement replacement(path);
    replacement.Write(contents);
    replacement.Commit(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
}

bool DirectoryExists(const AnsiString& path) {
    if (!FitsFilePathLimit(path)) return false;
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
