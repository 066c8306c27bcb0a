// Declarations of the Btrieve client library as this system uses it: the four entry points
// bound by name at run time, the operation and status codes, and the byte layouts that
// cross the call (file specification, key segment specification, collating sequence).
// Included by the Btrieve engine and by our stand-in record manager.
#pragma once

#include <windows.h>

#include <cstdint>

namespace btrieve {

// Entry points, looked up by these names in the loaded client library.
inline constexpr const char* kBtrCallName = "BTRCALL";
inline constexpr const char* kBtrCallIdName = "BTRCALLID";
inline constexpr const char* kInitName = "WBTRVINIT";
inline constexpr const char* kStopName = "WBTRVSTOP";
inline constexpr const char* kDefaultClientLibrary = "wbtrv32.dll";

using BtrCallFn = int16_t(WINAPI*)(uint16_t operation, void* positionBlock, void* dataBuffer,
                                    uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                    int8_t keyNumber);
using BtrCallIdFn = int16_t(WINAPI*)(uint16_t operation, void* positionBlock, void* dataBuffer,
                                      uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                      int8_t keyNumber, uint8_t* clientId);
using BtrInitFn = int16_t(WINAPI*)(char* options);
using BtrStopFn = int16_t(WINAPI*)();

// Sizes of the buffers that cross the call.
inline constexpr uint32_t kPositionBlockSize = 128;
inline constexpr uint32_t kKeyBufferSize = 256;
inline constexpr uint32_t kMaxKeyLength = 255;
inline constexpr uint32_t kStatBufferSize = 1920;
inline constexpr uint32_t kClientIdSize = 16;
inline constexpr uint32_t kOwnerNameSize = 8;
inline constexpr uint32_t kAcsSize = 265;
inline constexpr uint8_t kAcsSignature = 0xAC;

// Operation codes.
enum BtrOperation : uint16_t {
    OpOpen = 0,
    OpClose = 1,
    OpInsert = 2,
    OpUpdate = 3,
    OpDelete = 4,
    OpGetEqual = 5,
    OpGetNext = 6,
    OpGetPrevious = 7,
    OpGetGreater = 8,
    OpGetGreaterOrEqual = 9,
    OpGetLess = 10,
    OpGetLessOrEqual = 11,
    OpGetFirst = 12,
    OpGetLast = 13,
    OpCreate = 14,
    OpStat = 15,
    OpSetDirectory = 17,
    OpGetDirectory = 18,
    OpBeginTransaction = 19,
    OpEndTransaction = 20,
    OpAbortTransaction = 21,
    OpGetPosition = 22,
    OpGetDirect = 23,
    OpStepNext = 24,
    OpStop = 25,
    OpVersion = 26,
    OpUnlock = 27,
    OpSetOwner = 29,
    OpCreateIndex = 31,
    OpDropIndex = 32,
    OpStepFirst = 33,
    OpStepLast = 34,
    OpStepPrevious = 35,
    OpGetByPercentage = 44,
    OpFindPercentage = 45,
};

// Biases added to an operation code.
inline constexpr uint16_t kGetKeyBias = 50;             // get the key only, no record
inline constexpr uint16_t kSingleWaitLockBias = 100;
inline constexpr uint16_t kSingleNoWaitLockBias = 200;
inline constexpr uint16_t kMultipleWaitLockBias = 300;
inline constexpr uint16_t kMultipleNoWaitLockBias = 400;
inline constexpr uint16_t kConcurrentTransactionBias = 1000;
inline constexpr uint16_t kBeginConcurrentTransaction = 1519;  // as this system issues it

// Open modes (the key number of Open).
inline constexpr int8_t kOpenNormal = 0;
inline constexpr int8_t kOpenReadOnly = -2;
inline constexpr int8_t kOpenExclusive = -4;

// Access mode of Set Owner (its key number): the owner name is asked on every open.
inline constexpr int8_t kOwnerRequiredForAllAccess = 0;

// Key number of Unlock: a multiple-record lock by position, or all of them.
inline constexpr int8_t kUnlockMultipleOne = -1;
inline constexpr int8_t kUnlockMultipleAll = -2;

// Status codes.
enum BtrStatus : int16_t {
    StatusOk = 0,
    StatusInvalidOperation = 1,
    StatusIoError = 2,
    StatusFileNotOpen = 3,
    StatusKeyNotFound = 4,
    StatusDuplicateKey = 5,
    StatusInvalidKeyNumber = 6,
    StatusDifferentKeyNumber = 7,
    StatusNoCurrency = 8,
    StatusEndOfFile = 9,
    StatusKeyNotModifiable = 10,
    StatusFileNotFound = 12,
    StatusDiskFull = 18,
    StatusKeyBufferTooShort = 21,
    StatusDataBufferTooShort = 22,
    StatusPageSizeError = 24,
    StatusCreateIoError = 25,
    StatusKeyCountError = 26,
    StatusKeyPositionError = 27,
    StatusRecordLengthError = 28,
    StatusKeyLengthError = 29,
    StatusNotOurFile = 30,
    StatusTransactionActive = 37,
    StatusNoTransaction = 39,
    StatusNotInTransaction = 41,
    StatusRecordDeleted = 43,
    StatusNullKeyBuffer = 44,
    StatusKeyFlagsError = 45,
    StatusAccessDenied = 46,
    StatusAcsError = 48,
    StatusKeyTypeError = 49,
    StatusOwnerAlreadySet = 50,
    StatusBadOwner = 51,
    StatusFileExists = 59,
    StatusDeadlock = 78,
    StatusConflict = 80,
    StatusLockError = 83,
    StatusRecordLocked = 84,
    StatusFileLocked = 85,
    StatusIncompatibleMode = 88,
    StatusAlreadyInitialised = 1016,
};

// Btrieve data types (byte 10 of a key segment specification).
enum BtrDataType : uint8_t {
    TypeString = 0,
    TypeInteger = 1,
    TypeFloat = 2,
    TypeDate = 3,
    TypeTime = 4,
    TypeDecimal = 5,
    TypeMoney = 6,
    TypeLogical = 7,
    TypeNumeric = 8,
    TypeBFloat = 9,
    TypeLString = 10,
    TypeZString = 11,
    TypeNote = 12,
    TypeLVar = 13,
    TypeUnsignedBinary = 14,
    TypeAutoIncrement = 15,
    TypeBit = 16,
    TypeNumericSts = 17,
    TypeNumericSa = 18,
    TypeCurrency = 19,
    TypeTimestamp = 20,
};

// Key flags (bytes 4-5 of a key segment specification).
enum BtrKeyFlag : uint16_t {
    KeyDuplicates = 0x0001,
    KeyModifiable = 0x0002,
    KeyBinary = 0x0004,
    KeyNullAllSegments = 0x0008,
    KeySegmented = 0x0010,  // another segment of the same key follows
    KeyAltCollation = 0x0020,
    KeyDescending = 0x0040,
    KeySupplemental = 0x0080,
    KeyExtendedType = 0x0100,
    KeyNullAnySegment = 0x0200,
    KeyCaseInsensitive = 0x0400,
};

// File flags (bytes 10-11 of the file specification).
enum BtrFileFlag : uint16_t {
    FileVariableLength = 0x0001,
};

#pragma pack(push, 1)
// One key segment, 16 bytes; in Create Index input and in the file specification.
struct KeySegmentSpec {
    uint16_t position;      // 1-based offset in the record
    uint16_t length;
    uint16_t flags;         // BtrKeyFlag
    uint32_t uniqueValues;  // Stat output
    uint8_t dataType;       // BtrDataType
    uint8_t nullValue;
    uint8_t reserved[2];
    uint8_t keyNumber;      // Stat output; Create Index input with the manual-number bit
    uint8_t acsNumber;
};
static_assert(sizeof(KeySegmentSpec) == 16);

// Head of the file specification: Create input and Stat output, 16 bytes, followed by
// the key segments and then the alternate collating sequences.
struct FileSpecHeader {
    uint16_t recordLength;
    uint16_t pageSize;
    uint8_t keyCount;
    uint8_t reserved1;
    uint32_t recordCount;  // Stat output
    uint16_t fileFlags;    // BtrFileFlag
    uint8_t reserved2[2];
    uint16_t preallocation;
};
static_assert(sizeof(FileSpecHeader) == 16);

// An alternate collating sequence, 265 bytes.
struct AltCollatingSequence {
    uint8_t signature;  // kAcsSignature
    char name[8];
    uint8_t map[256];
};
static_assert(sizeof(AltCollatingSequence) == kAcsSize);
#pragma pack(pop)

}  // namespace btrieve
