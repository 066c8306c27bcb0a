// Data type codes of the Oracle library: the one vocabulary of column types
// shared by the record stores, the dataset, parameters and the Oracle layer.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace oracle {

using TDataType = uint16_t;

inline constexpr TDataType dtUnknown = 0;
inline constexpr TDataType dtString = 1;
inline constexpr TDataType dtSmallint = 3;
inline constexpr TDataType dtInteger = 4;
inline constexpr TDataType dtFloat = 5;
inline constexpr TDataType dtDateTime = 6;
inline constexpr TDataType dtWord = 7;
inline constexpr TDataType dtBoolean = 8;
inline constexpr TDataType dtLargeint = 9;
inline constexpr TDataType dtCurrency = 10;
inline constexpr TDataType dtBlob = 12;
inline constexpr TDataType dtMemo = 13;
inline constexpr TDataType dtObject = 14;
inline constexpr TDataType dtReference = 15;
inline constexpr TDataType dtArray = 16;
inline constexpr TDataType dtTable = 17;
inline constexpr TDataType dtVariant = 18;

// Record slot of a value owned by the record (blob, object, reference...):
// one pointer, whatever the target's pointer size.
inline constexpr uint16_t ReferenceSlotSize = sizeof(void*);

// A set of data type codes (codes below 64; the Oracle layer's end at 33).
class TDataTypeSet {
public:
    constexpr TDataTypeSet() = default;
    constexpr TDataTypeSet(std::initializer_list<TDataType> codes) {
        for (TDataType c : codes) bits_ |= Bit(c);
    }
    constexpr bool Contains(TDataType code) const { return (bits_ & Bit(code)) != 0; }
    constexpr TDataTypeSet& Add(TDataType code) { bits_ |= Bit(code); return *this; }
    constexpr bool operator==(const TDataTypeSet&) const = default;

private:
    static constexpr uint64_t Bit(TDataType code) { return code < 64 ? uint64_t{1} << code : 0; }
    uint64_t bits_ = 0;
};

// Update statuses of a cached record, results of applying it, and kinds of change.
enum TUpdateStatus : uint8_t { usUnmodified = 0, usModified = 1, usInserted = 2, usDeleted = 3 };
enum TUpdateResult : uint8_t { urFail = 0, urAbort = 1, urSkip = 2, urRetry = 3, urApplied = 4, urNone = 5 };
enum TUpdateKind : uint8_t { ukModify = 0, ukInsert = 1, ukDelete = 2 };
using TUpdateAction = TUpdateResult;

// Set of update statuses: which records a cached store shows.
using TItemTypes = uint8_t;
constexpr TItemTypes ItemTypeBit(TUpdateStatus s) { return static_cast<TItemTypes>(1u << s); }
inline constexpr TItemTypes DefaultCachedItemTypes =
    ItemTypeBit(usUnmodified) | ItemTypeBit(usModified) | ItemTypeBit(usInserted);
inline constexpr TItemTypes AllItemTypes = DefaultCachedItemTypes | ItemTypeBit(usDeleted);

}  // namespace oracle
