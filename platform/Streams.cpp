#include "Streams.h"

#include <algorithm>
#include <cstring>

namespace platform {

// ---- TStream ----

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot change"); }

int64_t TStream::Size() {
    const int64_t here = Position();
    const int64_t size = Reposition(0, soEnd);
    Reposition(here, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && StreamRead(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && StreamWrite(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const int64_t total = count;
    std::vector<char> chunk(static_cast<size_t>(std::min<int64_t>(count, 0xF000) + 1));
    while (count > 0) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(chunk.size())));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        count -= n;
    }
    return total;
}

// ---- memory streams ----

int32_t TCustomMemoryStream::StreamRead(void* buffer, int32_t count) {
    if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
    const int64_t n = std::min<int64_t>(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
    position_ += n;
    return static_cast<int32_t>(n);
}

int32_t TCustomMemoryStream::StreamWrite(const void*, int32_t) {
    throw EStreamError("Can't write to a read-only memory stream");
}

int64_t TCustomMemoryStream::Reposition(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = size_ + offset; break;
    }
    return position_;
}

void TCustomMemoryStream::SaveToStream(TStream& target) {
    if (size_ > 0) target.WriteBuffer(memory_, static_cast<int32_t>(size_));
}

void TCustomMemoryStream::SaveToFile(const AnsiString& path) {
    TFileStream file(path, fmCreate);
    SaveToStream(file);
}

int32_t TMemoryStream::StreamWrite(const void* buffer, int32_t count) {
    if (count <= 0 || position_ < 0) return 0;
    const int64_t end = position_ + count;
    if (end > static_cast<int64_t>(data_.size())) {
        data_.resize(static_cast<size_t>(end));
        SetPointer(data_.data(), end);
    }
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) throw EStreamError("Invalid stream size");
    data_.resize(static_cast<size_t>(size));
    SetPointer(data_.data(), size);
    if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
    data_.clear();
    SetPointer(nullptr, 0);
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const int64_t size = source.Size();
    SetSize(size);
    position_ = 0;
    if (size > 0) source.ReadBuffer(data_.data(), static_cast<int32_t>(size));
}

void TMemoryStream::LoadFromFile(const AnsiString& path) {
    TFileStream file(path, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

// ---- handle and file streams ----

int32_t THandleStream::StreamRead(void* buffer, int32_t count) {
    DWORD read = 0;
    if (count <= 0 || !ReadFile(handle_, buffer, static_cast<DWORD>(count), &read, nullptr)) return 0;
    return static_cast<int32_t>(read);
}

int32_t THandleStream::StreamWrite(const void* buffer, int32_t count) {
    DWORD written = 0;
    if (count <= 0 || !WriteFile(handle_, buffer, static_cast<DWORD>(count), &written, nullptr)) return 0;
    return static_cast<int32_t>(written);
}

int64_t THandleStream::Reposition(int64_t offset, TSeekOrigin origin) {
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    const DWORD method = origin == soBeginning ? FILE_BEGIN : origin == soCurrent ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(handle_, distance, &result, method)) return -1;
    return result.QuadPart;
}

void THandleStream::SetSize(int64_t size) {
    const int64_t here = Position();
    Reposition(size, soBeginning);
    if (!SetEndOfFile(handle_)) throw EStreamError("Stream size cannot change: " + SysErrorMessage(GetLastError()));
    if (here < size) Reposition(here, soBeginning);
}

namespace {

HANDLE OpenFileHandle(const AnsiString& path, uint16_t mode) {
    if (!FitsFilePathLimit(path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    if (mode == fmCreate)
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    static const DWORD kAccess[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    static const DWORD kShare[5] = {FILE_SHARE_READ | FILE_SHARE_WRITE, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE};
    const unsigned access = mode & 0x3;
    const unsigned share = (mode & 0xF0) >> 4;
    if (access > 2 || share > 4) return INVALID_HANDLE_VALUE;
    return CreateFileA(path.c_str(), kAccess[access], kShare[share], nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace

TFileStream::TFileStream(const AnsiString& path, uint16_t mode)
    : THandleStream(INVALID_HANDLE_VALUE), file_(OpenFileHandle(path, mode)), path_(path) {
    if (!file_.Valid()) {
        const AnsiString reason = SysErrorMessage(GetLastError());
        if (mode == fmCreate) throw EFCreateError("Cannot create file " + path + ". " + reason);
        throw EFOpenError("Cannot open file " + path + ". " + reason);
    }
    handle_ = file_.Get();
}

// ---- resources ----

TResourceStream::TResourceStream(HMODULE module, const AnsiString& name, LPCSTR type) {
    HRSRC info = FindResourceA(module, name.c_str(), type);
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) throw EResNotFound("Resource " + name + " not found");
    // Resource memory lives as long as the module; nothing to free.
    SetPointer(static_cast<const char*>(data), SizeofResource(module, info));
}

int32_t TResourceStream::StreamWrite(const void*, int32_t) {
    throw EStreamError("Can't write to a read-only resource stream");
}

AnsiString SysErrorMessage(DWORD code) {
    char buffer[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                             sizeof buffer, nullptr);
    while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ' || buffer[n - 1] == '.'))
        --n;
    return AnsiString(buffer, n);
}

}  // namespace platform
