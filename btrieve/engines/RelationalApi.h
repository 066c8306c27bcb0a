// Declarations of the relational engine as this system uses it: the statement library and
// the database-name library, their entry points bound by name at run time, the statuses,
// fetch options and byte layouts that cross the calls. Included by the relational engine
// classes and by our stand-in engine.
#pragma once

#include <windows.h>

#include <cstdint>

namespace btrieve {

inline constexpr const char* kSqlStatementLibrary = "WSSQL32.DLL";
inline constexpr const char* kSqlNameLibrary = "WDBNM32.DLL";

// Every entry point of the statement library, in the order they are looked up.
inline constexpr const char* kSqlEntryNames[] = {
    "_xGetSessionID", "_xPutSessionID", "_XQLCallback", "_xShareSessionID", "_XQLCursor", "_XQLCompile",
    "XQLDescribe", "XQLExec", "_XQLFetch", "XQLFormat", "_XQLFree", "_XQLLogin", "_XQLLogout",
    "XQLSPUtility", "XQLStatus", "_XQLStop", "XQLSubst", "XQLVersion", "XQLConvert", "XQLValidate",
    "XQLMask", "xCompute", "xDescribe", "xMovefld", "xFetch", "xField", "xFree", "xInsert", "xJoin",
    "xLogin", "xLogout", "xNew", "xOrder", "xRemall", "xRemove", "xReset", "xRestrict", "xStop",
    "xTrans", "xStore", "xRecall", "xUpdate", "xUpdall", "xDD", "xDDAttr", "xDDModify", "xDDCreate",
    "xDDDrop", "xDDField", "xDDFile", "xDDIndex", "xDDPath", "xDDView", "xAccess", "xPassword",
    "xSecurity", "xUser", "xChar", "xVersion", "xStatus", "xConvert", "xValidate", "xMask"};
static_assert(sizeof(kSqlEntryNames) / sizeof(kSqlEntryNames[0]) == 63);

// Every entry point of the database-name library, in the order they are looked up.
inline constexpr const char* kSqlNameEntryNames[] = {"SQLGetCountDatabaseNames", "SQLGetCountRemoteDatabaseNames",
                                                     "SQLGetDatabaseNames", "SQLGetRemoteDatabaseNames",
                                                     "SQLUnloadDBNames"};

// Entry points of the statement library that this system calls. Every one returns a status.
using XGetSessionIdFn = int16_t(WINAPI*)(int16_t* sessionId);
using XPutSessionIdFn = int16_t(WINAPI*)(int16_t sessionId);
using XqlCursorFn = int16_t(WINAPI*)(int16_t* cursorId);
using XqlCompileFn = int16_t(WINAPI*)(int16_t cursorId, uint16_t textLength, const char* text);
// Column: 1-based. Name length: in, the size of the name buffer; out, the name's length.
using XqlDescribeFn = int16_t(WINAPI*)(int16_t cursorId, int16_t column, int16_t* type, int16_t* size,
                                       int16_t* decimals, int16_t* displaySize, int16_t* nameLength,
                                       char* name);
using XqlExecFn = int16_t(WINAPI*)(int16_t cursorId);
// Length: in, the buffer's size; out, the bytes delivered. Count: in, the rows asked for;
// out, the rows delivered. The last two arguments are reserved (0).
using XqlFetchFn = int16_t(WINAPI*)(int16_t cursorId, uint16_t option, uint32_t* length, void* buffer,
                                    uint32_t* count, int16_t reserved1, int16_t reserved2);
using XqlFreeFn = int16_t(WINAPI*)(int16_t cursorId);
// Option 1: the engine check passed. The fifth text is reserved (empty).
using XqlLoginFn = int16_t(WINAPI*)(const char* user, const char* password, const char* dictionaryPath,
                                    const char* dataPath, const char* reserved, int16_t option);
using XqlLogoutFn = int16_t(WINAPI*)();
using XqlStopFn = int16_t(WINAPI*)();
// Names and values: "count" zero-terminated texts one after the other; the lengths count
// every byte including the zeros.
using XqlSubstFn = int16_t(WINAPI*)(int16_t cursorId, int16_t count, uint16_t namesLength, const char* names,
                                    uint16_t valuesLength, const char* values);
using XqlVersionFn = int16_t(WINAPI*)(void* versionRecord);
// Option 5 gives the current row's position, 256 reads the row at a position (the buffer
// holds the position on input, the row on output); the reserved argument is 0 or -1.
using XFetchFn = int16_t(WINAPI*)(int16_t cursorId, uint32_t size, uint16_t option, uint32_t* count,
                                  int16_t reserved, void* buffer);
// Field list "*.*" with a field count of 1: every column of the cursor. Count: in, the
// rows given (one after the other at the row stride); out, the rows written.
using XInsertFn = int16_t(WINAPI*)(int16_t cursorId, int16_t fieldCount, const char* fieldList, uint32_t* count,
                                   void* buffer);
using XUpdateFn = int16_t(WINAPI*)(int16_t cursorId, int16_t fieldCount, const char* fieldList, uint32_t* count,
                                   void* buffer);
using XRemoveFn = int16_t(WINAPI*)(int16_t cursorId, int16_t fieldCount, const char* fieldList, uint32_t* count);
using XResetFn = int16_t(WINAPI*)(char* options);
// The entry points that are bound but never called take no arguments and answer
// SqlStatusNotSupported.
using XUnusedFn = int16_t(WINAPI*)();

// Entry points of the database-name library. A name read goes into a buffer of "length"
// bytes (zero-terminated); each read gives the next name after the count was asked for.
using SqlGetCountDatabaseNamesFn = int16_t(WINAPI*)(uint16_t* count);
using SqlGetDatabaseNamesFn = int16_t(WINAPI*)(char* name, uint16_t* length);
using SqlUnloadDbNamesFn = int16_t(WINAPI*)();
inline constexpr uint16_t kSqlDatabaseNameSize = 20;

// Buffers the log-in and describe calls are given.
inline constexpr uint32_t kSqlLoginPathSize = 261;
inline constexpr int16_t kSqlColumnNameSize = 256;

// Dictionary files of the relational engine: the users (only whether the file exists
// matters to the library) and the stored procedures (a record's first bytes are the name).
inline constexpr const char* kSqlUserFile = "USER.DDF";
inline constexpr const char* kSqlProcedureFile = "PROC.DDF";
inline constexpr uint32_t kSqlProcedureRecordSize = 1061;
inline constexpr uint32_t kSqlProcedureNameSize = 30;

// Version record of XQLVersion.
#pragma pack(push, 1)
struct SqlVersionRecord {
    char signature[4];  // "XVER"
    uint16_t size;      // sizeof(SqlVersionRecord)
    uint8_t reserved1[6];
    uint16_t major;     // out
    uint16_t minor;     // out
    uint8_t reserved2[6];
};
static_assert(sizeof(SqlVersionRecord) == 22);
#pragma pack(pop)
inline constexpr uint16_t kSqlEngineMajorVersion = 4;

// Fetch options of _XQLFetch and xFetch.
enum SqlFetchOption : uint16_t {
    FetchCurrent = 0,
    FetchFirst = 1,
    FetchNext = 2,
    FetchPrior = 3,
    FetchLast = 4,
    FetchPosition = 5,
    FetchRelease = 7,
    FetchAtPosition = 256,
    FetchLockBias = 1024,
};

// Rows in a fetch buffer: a 16-bit data length, the columns one after the other in
// describe order, then kSqlRowSpare spare bytes. Positions: a 16-bit length, then the data.
inline constexpr uint32_t kSqlRowSpare = 4;
inline constexpr uint32_t kSqlPositionSize = 100;

// Describe type of a computed column; the engine delivers COUNT as a 4-byte integer and
// SUM and AVG as an 8-byte float.
inline constexpr int16_t kSqlComputedType = 0;

// Statuses of the relational engine. Negative ones are informational.
enum SqlStatus : int16_t {
    SqlStatusOk = 0,
    SqlStatusNoCurrentRow = 8,
    SqlStatusEndOfData = 9,
    SqlStatusBufferTooShort = 22,
    SqlStatusLoginIgnored = 51,  // a log-in answered so leaves the database logged out
    SqlStatusEngineNotLoaded = 200,  // the statement library could not be loaded
    SqlStatusTableNotFound = 204,
    SqlStatusBadPassword = 205,       // its key text is the user name
    SqlStatusDatabaseNotFound = 285,  // also a table list asked of a named server database
    SqlStatusInvalidSession = 800,
    SqlStatusInvalidCursor = 801,
    SqlStatusSyntaxError = 802,
    SqlStatusNotExecuted = 803,
    SqlStatusNoSuchColumn = 804,
    SqlStatusUnknownColumn = 805,
    SqlStatusMissingVariable = 806,
    SqlStatusBadValue = 807,
    SqlStatusNotUpdatable = 808,
    SqlStatusNotSupported = 809,
    SqlStatusProcedureNotFound = 810,
    SqlStatusEngineMissing = 2103,  // raised by the library when the engine is not usable
    SqlStatusNoRow = -109,
};

}  // namespace btrieve
