// Byte streams of the runtime: TStream (the three operations a stream fills:
// StreamRead, StreamWrite, Reposition), TMemoryStream, TFileStream over a Win32 file
// handle, and TResourceStream over an RCDATA resource of a module (the dictionary
// files and form descriptions embedded in the deliverables). Blob streams of the
// dataset framework derive from TStream.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "SysUtils.h"
#include "TextFile.h"

namespace platform {

class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EResNotFound : public Exception { using Exception::Exception; };

// Origins of Reposition: 0 from the start, 1 from the current position, 2 from the end.
enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    // Up to `count` bytes; the number read (0 at the end).
    virtual int32_t StreamRead(void* buffer, int32_t count) = 0;
    // The number of bytes written.
    virtual int32_t StreamWrite(const void* buffer, int32_t count) = 0;
    // Moves and answers the new position.
    virtual int64_t Reposition(int64_t offset, TSeekOrigin origin) = 0;
    // Changes the size; streams that cannot raise EStreamError.
    virtual void SetSize(int64_t size);

    int64_t Position() { return Reposition(0, soCurrent); }
    void SetPosition(int64_t position) { Reposition(position, soBeginning); }
    int64_t Size();

    // Exactly `count` bytes or EReadError "Stream read error" / EWriteError "Stream write error".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);
    // Copies `count` bytes from the source's position; 0 copies the whole source from
    // its start. Answers the bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over memory it does not own (read-only unless a subclass allows writes).
class TCustomMemoryStream : public TStream {
public:
    int32_t StreamRead(void* buffer, int32_t count) override;
    int32_t StreamWrite(const void* buffer, int32_t count) override;
    int64_t Reposition(int64_t offset, TSeekOrigin origin) override;

    const char* Memory() const { return memory_; }
    int64_t DataSize() const { return size_; }
    void SaveToStream(TStream& target);
    void SaveToFile(const AnsiString& path);

protected:
    void SetPointer(const char* memory, int64_t size) {
        memory_ = memory;
        size_ = size;
    }
    int64_t position_ = 0;

private:
    const char* memory_ = nullptr;
    int64_t size_ = 0;
};

class TMemoryStream : public TCustomMemoryStream {
public:
    int32_t StreamWrite(const void* buffer, int32_t count) override;
    void SetSize(int64_t size) override;
    char* Memory() { return data_.data(); }
    void Clear();
    void LoadFromStream(TStream& source);
    void LoadFromFile(const AnsiString& path);

private:
    std::vector<char> data_;
};

// File open modes: one access mode, optionally with one share mode; fmCreate makes
// (or empties) the file and opens it for writing and reading.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

// A stream over an open Win32 file handle it does not own.
class THandleStream : public TStream {
public:
    explicit THandleStream(HANDLE handle) : handle_(handle) {}
    int32_t StreamRead(void* buffer, int32_t count) override;
    int32_t StreamWrite(const void* buffer, int32_t count) override;
    int64_t Reposition(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    HANDLE Handle() const { return handle_; }

protected:
    HANDLE handle_;
};

// A file stream; the file closes with the object. EFCreateError "Cannot create file
// %s" / EFOpenError "Cannot open file %s" (with the system's reason) on failure.
class TFileStream : public THandleStream {
public:
    TFileStream(const AnsiString& path, uint16_t mode);
    const AnsiString& FileName() const { return path_; }

private:
    THandleOwner file_;
    AnsiString path_;
};

// An RCDATA (or other typed) resource of a module, read-only. EResNotFound
// "Resource %s not found" when the module lacks it.
class TResourceStream : public TCustomMemoryStream {
public:
    TResourceStream(HMODULE module, const AnsiString& name, LPCSTR type = MAKEINTRESOURCEA(10));
    int32_t StreamWrite(const void* buffer, int32_t count) override;
};

// An object that can write itself to a stream and read itself back (values handed to
// parameters as whole objects, such as pictures).
class IStreamPersist {
public:
    virtual ~IStreamPersist() = default;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
};

// The text of the system's last error, for messages.
AnsiString SysErrorMessage(DWORD code);

}  // namespace platform
