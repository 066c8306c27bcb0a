#include "TextFile.h"

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

bool DirectoryExists(const AnsiString& path) {
    if (!FitsFilePathLimit(path)) return false;
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
