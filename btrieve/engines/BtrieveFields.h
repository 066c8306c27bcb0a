// Btrieve field types and value conversions: maps a Btrieve data type and length to the
// library's logical field type, reads a field's bytes into a logical value and writes a
// logical value into a field's bytes, and turns FIELD.DDF records into field
// descriptors. Used by the Btrieve cursor for every field and key it reads or writes.
#pragma once

#include <cstdint>

#include "btrieve/base/EngineRecords.h"
#include "btrieve/engines/BtrieveApi.h"

namespace btrieve {

// Session-wide settings of the Btrieve engine, read from the registry by each engine
// session (module-level, shared by all sessions).
struct TBtrieveSettings {
    bool ignoreSqlDatabases = false;
    bool stringPaddedSpaces = true;
    bool readTolerant = false;   // "Read": an unreadable value reads as zero
    bool writeTolerant = false;  // "Write": an unwritable value is dropped
    bool smallIntAsByte = false;
    bool integersShowAsZero = false;
    bool trueRecordCount = true;
};
TBtrieveSettings& BtrieveSettings();

// Logical types beyond the base's list.
namespace fldtype {
constexpr uint16_t Int64 = 18, UInt64 = 19;
}
namespace fldsubtype {
constexpr uint16_t Money = 21, Memo = 22, Binary = 23, Graphic = 26, AutoInc = 29;
}

// Btrieve extended types of other products' formats.
namespace exttype {
constexpr uint8_t LongYMD = 228, Binary1 = 229, Binary2 = 230, Binary3 = 231, Numeric = 232, MagicDate = 233,
                  CTime = 234, MagicNum = 235, TasProTime = 236, TasProNum = 237, DecimalFloat = 238,
                  MagicNum2 = 239, MagicTime = 240, MagicDate2 = 241, YMD = 242, YYMMDD = 243, YYYYMMDD = 244,
                  TasProDate = 245, TasProNum2 = 246, UDecimal = 247, DateTimeFloat = 253, Currency = 254,
                  Real48 = 255;
}

struct TLogicalType {
    uint16_t type = 0;
    int16_t units = 0;
    uint16_t subType = 0;
};

TLogicalType MapBtrieveType(uint8_t btrieveType, uint16_t length);

// FIELD.DDF record layout.
constexpr size_t kFieldDdfRecordSize = 32;
namespace fieldddf {
constexpr size_t Id = 0, File = 2, Name = 4, NameSize = 20, DataType = 24, Offset = 25, Size = 27, Dec = 29;
constexpr uint8_t IndexNameType = 255;
}
TEngineFieldDesc DictFieldToDesc(const uint8_t* record, uint16_t fieldNumber);

// Bytes of the value buffer a blank field clears.
uint16_t BlankValueSize(uint16_t logicalType, uint16_t length);

// Reads the field's bytes; blank tells a field that has no value.
void ReadBtrieveField(uint8_t btrieveType, uint16_t length, int16_t decimals, bool& blank, void* value,
                      const uint8_t* field);
void WriteBtrieveField(uint8_t btrieveType, uint16_t length, int16_t decimals, uint8_t* field, const void* value);

// Failed conversions: zero or ignore when the settings allow, else status 2999.
void ReadFailed(void* value, size_t size);
void WriteFailed();

// Local time of a logical time stamp (milliseconds, day 1 = 1 January of year 1) to the
// stored UTC and back, with the time-zone bias in force at that date.
double LocalStampToUtc(double msecs);
double UtcStampToLocal(double msecs);

}  // namespace btrieve
