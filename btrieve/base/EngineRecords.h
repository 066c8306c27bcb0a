// The records that cross the call-level facade between the dataset components and
// the handles: cursor, field, index, database and session descriptions, record
// properties, configuration rows and the process's date and time conventions.
// Their layouts are fixed (packed, widths as given; texts zero-terminated).
#pragma once

#include <cstdint>

namespace btrieve {

#pragma pack(push, 1)

struct TCursorProps {
    char tableName[261];
    uint16_t fileNameSize;
    char tableType[32];
    uint16_t fieldCount;
    uint16_t recordSize;
    uint16_t recordBufferSize;
    uint16_t keySize;
    uint16_t indexCount;
    uint16_t valCheckCount;
    uint16_t refIntCount;
    uint16_t bookmarkSize;
    int16_t bookmarkStable;
    int32_t openMode;
    int32_t shareMode;
    int16_t indexed;
    int16_t sequenceNumbers;
    int16_t softDeletes;
    int16_t deletedOn;
    uint16_t referenceRange;
    int32_t translateMode;
    uint16_t restructureVersion;
    int16_t unidirectional;
    uint16_t tableRights;
    uint16_t reserved1;
    uint16_t familyRights;
    uint16_t passwordCount;
    uint16_t codePage;
    int16_t isProtected;
    uint16_t tableLevel;
    char languageDriver[32];
    int16_t fieldMap;
    uint16_t blockSize;
    int16_t strictRefInt;
    uint16_t filterCount;
    int16_t temporaryTable;
    uint16_t reserved2[16];
};

// Logical field types.
namespace fldtype {
constexpr uint16_t Unknown = 0, ZString = 1, Date = 2, Blob = 3, Bool = 4, Int16 = 5, Int32 = 6, Float = 7,
                   Bcd = 8, Bytes = 9, Time = 10, Timestamp = 11, UInt16 = 12, UInt32 = 13, FloatIeee = 14,
                   VarBytes = 15;
}

struct TEngineFieldDesc {
    uint16_t fieldNumber;
    char name[32];
    uint16_t fieldType;
    uint16_t subType;
    int16_t units1;
    int16_t units2;
    uint16_t offset;
    uint16_t length;
    uint16_t nullOffset;
    int32_t valCheck;
    int32_t rights;
    int16_t calculated;
    uint16_t localType;
    uint16_t localSize;
};

struct TEngineIndexDesc {
    char name[261];
    uint16_t indexId;
    char tagName[32];
    char format[32];
    int16_t primary;
    int16_t unique;
    int16_t descending;
    int16_t maintained;
    int16_t subset;
    int16_t expressionIndex;
    uint16_t cost;
    uint16_t fieldsInKey;
    uint16_t keyLength;
    int16_t outOfDate;
    uint16_t keyExpressionType;
    uint16_t keyFields[16];
    char keyExpression[221];
    char keyCondition[221];
    int16_t caseInsensitive;
    uint16_t blockSize;
    uint16_t restructureNumber;
    int16_t descendingPerField[16];
    uint16_t reserved[16];
};

struct TValCheckDesc {
    uint16_t fieldNumber;
    int16_t required;
    int16_t hasMinimum;
    int16_t hasMaximum;
    int16_t hasDefault;
    uint8_t engineData[512];
};

struct TDatabaseDesc {
    char name[32];
    char text[32];
    char physicalName[261];
    char dbType[32];
};

struct TSessionInfo {
    uint16_t sessionId;
    char name[32];
    uint16_t databases;
    uint16_t cursors;
    int16_t lockWait;
    char netDir[261];
    char privateDir[261];
};

struct TConfigNode {
    char nodeName[32];
    char description[128];
    uint16_t dataType;
    char value[128];
    int16_t hasSubNodes;
};

struct TRecordProps {
    uint32_t seqNumber;
    uint32_t physRecNumber;
    uint16_t recordStatus;  // low byte: 0 unmodified, 1 modified, 2 inserted, 3 deleted
    int16_t seqNumberChanged;
    int16_t deleteFlag;
};

struct TDateFormat {
    char separator[4];
    uint8_t dateOrder;  // 0 month-day-year, 1 day-month-year, 2 year-month-day
    uint8_t fourDigitYear;
    uint8_t yearBiased;
    uint8_t monthLeadingZero;
    uint8_t dayLeadingZero;
};

struct TTimeFormat {
    char separator;
    uint8_t twelveHour;
    char amString[6];
    char pmString[6];
    uint8_t seconds;
    uint8_t milliseconds;
};

#pragma pack(pop)

static_assert(sizeof(TCursorProps) == 427);
static_assert(sizeof(TEngineFieldDesc) == 62);
static_assert(sizeof(TEngineIndexDesc) == 893);
static_assert(sizeof(TDatabaseDesc) == 357);
static_assert(sizeof(TSessionInfo) == 562);
static_assert(sizeof(TConfigNode) == 292);
static_assert(sizeof(TRecordProps) == 14);
static_assert(sizeof(TDateFormat) == 9);
static_assert(sizeof(TTimeFormat) == 16);

}  // namespace btrieve

namespace btrieve {

// What a database needs to create a table: its name (the descriptor begins with it),
// its fields and its indexes, as the engines read them.
struct TTableCreateDesc {
    char tableName[261];
    char driverType[32];
    char password[32];
    uint16_t fieldCount;
    TEngineFieldDesc* fields;
    uint16_t indexCount;
    TEngineIndexDesc* indexes;
};

}  // namespace btrieve
