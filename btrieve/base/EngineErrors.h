// Result codes, the engine exception family and the error stack of the Btrieve
// access library. Every handle raises these exceptions; the call-level facade
// turns them into 16-bit result codes and keeps the last failure on its stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DataSetTypes.h"
#include "platform/SysUtils.h"

namespace btrieve {

using platform::AnsiString;

// The result codes the library raises itself (high byte category, low byte sub-code).
namespace rc {
constexpr uint16_t None = 0x0000;
constexpr uint16_t Bof = 0x2201;
constexpr uint16_t Eof = 0x2202;
constexpr uint16_t NoCurrRec = 0x2205;
constexpr uint16_t EndOfBlob = 0x2207;  // a blob read reached the blob's end; the bytes are there
constexpr uint16_t InvalidParam = 0x2702;
constexpr uint16_t InvalidHandle = 0x2706;
constexpr uint16_t NoSuchIndex = 0x270D;
constexpr uint16_t InvalidRecStruct = 0x2713;
constexpr uint16_t UnknownDb = 0x271E;
constexpr uint16_t InvalidIndexName = 0x2726;
constexpr uint16_t NoSuchTable = 0x2728;
constexpr uint16_t NoSuchFilter = 0x2742;
constexpr uint16_t InvalidTableCreate = 0x2744;
constexpr uint16_t ActiveTran = 0x2810;
constexpr uint16_t NoActiveTran = 0x2811;
constexpr uint16_t NotAvailable = 0x2A04;
constexpr uint16_t NotIndexed = 0x2A05;
constexpr uint16_t TableReadOnly = 0x2A0B;
constexpr uint16_t NotSupported = 0x3001;
constexpr uint16_t ObjImplicitlyDropped = 0x3201;
constexpr uint16_t FileExists = 0x3301;
constexpr uint16_t WriteErr = 0x2402;
}  // namespace rc

constexpr size_t kResultCodeCount = 471;
// String-table id of the first code name; entry i of the table has id base + i.
constexpr int kResultNameIdBase = 14000;

// Code of table entry i (0 to 470) and its name without the prefix.
uint16_t ResultCodeAt(size_t index);
const char* ResultNameById(int id);  // nullptr for ids outside the table

// "DBIERR_" + name for a known code, else "Quillon (BDE) Error <code>.", cut at maxLength.
AnsiString GetErrorName(uint16_t code, size_t maxLength = 255);

// Silent root of the library's failures: carries a result code, an engine message
// and the native status of the engine underneath.
class EQuillonEngineError : public platform::EAbort {
public:
    explicit EQuillonEngineError(uint16_t code);
    EQuillonEngineError(uint16_t code, const AnsiString& message);

    uint16_t Code() const noexcept { return code_; }
    // At most 255 characters, as the engines' short strings.
    const AnsiString& ErrorMessage() const noexcept { return errorMessage_; }
    int32_t NativeCode() const noexcept { return nativeCode_; }

    virtual AnsiString GetNativeText() const { return AnsiString(); }
    // printf-style format with one integer placeholder for the native code.
    virtual AnsiString GetNativeFormat() const { return "Quillon (BDE) Error %d."; }

protected:
    void SetNativeCode(int32_t code) noexcept { nativeCode_ = code; }

private:
    uint16_t code_;
    AnsiString errorMessage_;
    int32_t nativeCode_ = 0;
};

// Ran off either end of the records.
class EQuillonBoundryError : public EQuillonEngineError {
    using EQuillonEngineError::EQuillonEngineError;
};

class EQuillonEOFError : public EQuillonBoundryError {
public:
    EQuillonEOFError() : EQuillonBoundryError(rc::Eof) {}
};

class EQuillonBOFError : public EQuillonBoundryError {
public:
    EQuillonBOFError() : EQuillonBoundryError(rc::Bof) {}
};

[[noreturn]] void RaiseEngineError(uint16_t code);
[[noreturn]] void RaiseEngineErrorMsg(uint16_t code, const AnsiString& message);
[[noreturn]] void RaiseEOF();
[[noreturn]] void RaiseBOF();
// The message ids of the base handles have no text: the message stays empty.
[[noreturn]] void RaiseUnsupported(int messageId);

bool CheckOrRaise(bool condition, uint16_t code);

template <class T>
T* CheckAssigned(T* pointer, uint16_t code) {
    if (!pointer) RaiseEngineError(code);
    return pointer;
}
template <class T>
T* CheckParam(T* pointer) { return CheckAssigned(pointer, rc::InvalidParam); }
template <class T>
T* CheckHandle(T* pointer) { return CheckAssigned(pointer, rc::InvalidHandle); }

// One (native status, result code) pair of an engine's status map.
struct TStatusPair {
    uint16_t native;
    uint16_t code;
};
// Result code of a native status; a status no pair knows is given back unchanged
// (statuses beyond 16 bits cannot be result codes and give 0xFFFF).
uint16_t MapStatus(const TStatusPair* pairs, int count, int32_t status);

#pragma pack(push, 1)
// One failure as the facade keeps it (908 bytes; the facade and the dataset layer read it).
struct TErrorEntry {
    int32_t nativeCode;
    char nativeText[261];
    uint16_t resultCode;
    char errorText[128];
    char context[4][128];
    uint8_t reserve;
};
#pragma pack(pop)
static_assert(sizeof(TErrorEntry) == 908);

// The last failures, newest first (entry 1); a full stack drops its oldest entry.
class TErrorStack {
public:
    static constexpr uint16_t kMaxCapacity = 20;
    explicit TErrorStack(uint16_t capacity);

    uint16_t Capacity() const { return capacity_; }
    uint16_t Count() const { return count_; }
    void Clear() { count_ = 0; }
    bool HasEntries() const { return count_ != 0; }
    void Push(const TErrorEntry& entry);
    void PushException(const EQuillonEngineError& error);
    bool EntryAt(int n, TErrorEntry& entry) const;

    // The entry an exception gives (also used by tests of the texts).
    static TErrorEntry EntryFor(const EQuillonEngineError& error);

private:
    uint16_t capacity_;
    uint16_t count_ = 0;
    std::vector<TErrorEntry> storage_;  // allocated at the first push
};

// Copies text into a fixed zero-terminated field of size bytes, cutting it to fit.
void CopyToField(char* field, size_t size, const AnsiString& text);
// The text of a zero-terminated field, never reading past its size.
AnsiString FieldText(const char* field, size_t size);

}  // namespace btrieve
