// Entry points of our relational engine's statement library, bound by name by the
// relational engine classes. Entry points that are bound but never called answer "not
// supported".
#include <windows.h>

#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>

#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/RelationalApi.h"
#include "standins/relational/SqlEngine.h"

using namespace btrieve;

namespace {

std::mutex& CallLock() {
    static std::mutex lock;
    return lock;
}

wssql::Engine& TheEngine() {
    static wssql::Engine engine;
    return engine;
}

template <class Operation>
int16_t Run(Operation&& operation) {
    std::lock_guard<std::mutex> guard(CallLock());
    try {
        return operation(TheEngine());
    } catch (const wssql::SqlError& e) {
        return e.Status();
    } catch (const std::bad_alloc&) {
        return StatusDiskFull;
    } catch (...) {
        return StatusIoError;
    }
}

std::string TextOf(const char* text, size_t limit = 0xFFFF) {
    return text ? std::string(text, strnlen(text, limit)) : std::string();
}

// The index-th of the zero-terminated texts packed into length bytes.
std::string PackedText(const char* texts, uint16_t length, int index) {
    size_t at = 0;
    for (int i = 0; i < index && at < length; ++i) at += strnlen(texts + at, length - at) + 1;
    if (at >= length) throw wssql::SqlError(SqlStatusMissingVariable);
    return std::string(texts + at, strnlen(texts + at, length - at));
}

// Writes through a result cursor name every column with the field list "*.*".
bool AllColumns(int16_t fieldCount, const char* fieldList) {
    return fieldCount == 1 && fieldList && std::strcmp(fieldList, "*.*") == 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) int16_t WINAPI _xGetSessionID(int16_t* sessionId) {
    return Run([&](wssql::Engine& e) {
        if (!sessionId) return static_cast<int16_t>(SqlStatusInvalidSession);
        *sessionId = e.CurrentSession();
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _xPutSessionID(int16_t sessionId) {
    return Run([&](wssql::Engine& e) {
        e.MakeCurrent(sessionId);
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLCursor(int16_t* cursorId) {
    return Run([&](wssql::Engine& e) {
        if (!cursorId) return static_cast<int16_t>(SqlStatusInvalidCursor);
        *cursorId = e.OpenCursor();
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLCompile(int16_t cursorId, uint16_t textLength, const char* text) {
    return Run([&](wssql::Engine& e) {
        e.Compile(cursorId, TextOf(text, textLength));
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI XQLDescribe(int16_t cursorId, int16_t column, int16_t* type, int16_t* size,
                                                 int16_t* decimals, int16_t* displaySize, int16_t* nameLength,
                                                 char* name) {
    return Run([&](wssql::Engine& e) {
        wssql::ResultColumn described;
        e.Describe(cursorId, column, described);
        if (type) *type = described.type;
        if (size) *size = described.size;
        if (decimals) *decimals = described.decimals;
        if (displaySize) *displaySize = static_cast<int16_t>(described.width);
        if (nameLength) {
            if (name && *nameLength > 0) {
                const size_t copied = std::min<size_t>(described.name.size(), static_cast<size_t>(*nameLength - 1));
                std::memcpy(name, described.name.data(), copied);
                name[copied] = 0;
            }
            *nameLength = static_cast<int16_t>(described.name.size());
        }
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI XQLExec(int16_t cursorId) {
    return Run([&](wssql::Engine& e) {
        e.Execute(cursorId);
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLFetch(int16_t cursorId, uint16_t option, uint32_t* length, void* buffer,
                                               uint32_t* count, int16_t /*reserved1*/, int16_t /*reserved2*/) {
    return Run([&](wssql::Engine& e) {
        if (!length || !count) return static_cast<int16_t>(SqlStatusBufferTooShort);
        if (!buffer) *length = 0;
        const bool all = e.Fetch(cursorId, option, static_cast<uint8_t*>(buffer), *length, *count);
        return static_cast<int16_t>(all ? SqlStatusOk : SqlStatusNoRow);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLFree(int16_t cursorId) {
    return Run([&](wssql::Engine& e) {
        e.FreeCursor(cursorId);
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLLogin(const char* user, const char* password, const char* dictionaryPath,
                                               const char* dataPath, const char* /*reserved*/, int16_t /*option*/) {
    return Run([&](wssql::Engine& e) {
        e.Login(TextOf(user), TextOf(password), TextOf(dictionaryPath, MAX_PATH), TextOf(dataPath, MAX_PATH));
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLLogout() {
    return Run([&](wssql::Engine& e) {
        e.Logout();
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI _XQLStop() {
    return Run([&](wssql::Engine& e) {
        e.Stop();
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI XQLSubst(int16_t cursorId, int16_t count, uint16_t namesLength, const char* names,
                                              uint16_t valuesLength, const char* values) {
    return Run([&](wssql::Engine& e) {
        if (count < 1 || !names || !values) return static_cast<int16_t>(SqlStatusMissingVariable);
        for (int i = 0; i < count; ++i)
            e.Substitute(cursorId, PackedText(names, namesLength, i), PackedText(values, valuesLength, i));
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI XQLVersion(void* versionRecord) {
    auto* record = static_cast<SqlVersionRecord*>(versionRecord);
    if (!record || std::memcmp(record->signature, "XVER", 4) != 0 || record->size < sizeof(SqlVersionRecord))
        return SqlStatusBadValue;
    record->major = kSqlEngineMajorVersion;
    record->minor = 0;
    return SqlStatusOk;
}

__declspec(dllexport) int16_t WINAPI xFetch(int16_t cursorId, uint32_t size, uint16_t option, uint32_t* count,
                                            int16_t /*reserved*/, void* buffer) {
    return Run([&](wssql::Engine& e) {
        if (!count || !buffer) return static_cast<int16_t>(SqlStatusBufferTooShort);
        auto* bytes = static_cast<uint8_t*>(buffer);
        const uint16_t base = option & static_cast<uint16_t>(~FetchLockBias);
        bool found;
        if (base == FetchPosition) {
            found = e.GetPosition(cursorId, bytes, size);
        } else if (base == FetchAtPosition) {
            found = e.FetchAtPosition(cursorId, option, bytes, size);
        } else {
            found = e.Fetch(cursorId, option, bytes, size, *count);
            return static_cast<int16_t>(found ? SqlStatusOk : SqlStatusNoRow);
        }
        *count = found ? 1 : 0;
        return static_cast<int16_t>(found ? SqlStatusOk : SqlStatusNoRow);
    });
}

__declspec(dllexport) int16_t WINAPI xInsert(int16_t cursorId, int16_t fieldCount, const char* fieldList,
                                             uint32_t* count, void* buffer) {
    return Run([&](wssql::Engine& e) {
        if (!AllColumns(fieldCount, fieldList)) return static_cast<int16_t>(SqlStatusNotSupported);
        if (!count || !buffer) return static_cast<int16_t>(SqlStatusBufferTooShort);
        const uint32_t wanted = *count;
        *count = 0;
        *count = e.InsertRows(cursorId, static_cast<const uint8_t*>(buffer), wanted);
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI xUpdate(int16_t cursorId, int16_t fieldCount, const char* fieldList,
                                             uint32_t* count, void* buffer) {
    return Run([&](wssql::Engine& e) {
        if (!AllColumns(fieldCount, fieldList)) return static_cast<int16_t>(SqlStatusNotSupported);
        if (!buffer) return static_cast<int16_t>(SqlStatusBufferTooShort);
        e.UpdateRow(cursorId, static_cast<const uint8_t*>(buffer));
        if (count) *count = 1;
        return static_cast<int16_t>(SqlStatusOk);
    });
}

__declspec(dllexport) int16_t WINAPI xRemove(int16_t cursorId, int16_t fieldCount, const char* fieldList,
                                             uint32_t* count) {
    return Run([&](wssql::Engine& e) {
        if (!AllColumns(fieldCount, fieldList)) return static_cast<int16_t>(SqlStatusNotSupported);
        e.RemoveRow(cursorId);
        if (count) *count = 1;
        return static_cast<int16_t>(SqlStatusOk);
    });
}

// The entry points have the shapes the product binds them with (a difference would unbalance
// the stack of a 32-bit caller).
static_assert(std::is_same_v<decltype(&_xGetSessionID), XGetSessionIdFn>);
static_assert(std::is_same_v<decltype(&_xPutSessionID), XPutSessionIdFn>);
static_assert(std::is_same_v<decltype(&_XQLCursor), XqlCursorFn>);
static_assert(std::is_same_v<decltype(&_XQLCompile), XqlCompileFn>);
static_assert(std::is_same_v<decltype(&XQLDescribe), XqlDescribeFn>);
static_assert(std::is_same_v<decltype(&XQLExec), XqlExecFn>);
static_assert(std::is_same_v<decltype(&_XQLFetch), XqlFetchFn>);
static_assert(std::is_same_v<decltype(&_XQLFree), XqlFreeFn>);
static_assert(std::is_same_v<decltype(&_XQLLogin), XqlLoginFn>);
static_assert(std::is_same_v<decltype(&_XQLLogout), XqlLogoutFn>);
static_assert(std::is_same_v<decltype(&_XQLStop), XqlStopFn>);
static_assert(std::is_same_v<decltype(&XQLSubst), XqlSubstFn>);
static_assert(std::is_same_v<decltype(&XQLVersion), XqlVersionFn>);
static_assert(std::is_same_v<decltype(&xFetch), XFetchFn>);
static_assert(std::is_same_v<decltype(&xInsert), XInsertFn>);
static_assert(std::is_same_v<decltype(&xUpdate), XUpdateFn>);
static_assert(std::is_same_v<decltype(&xRemove), XRemoveFn>);

// The engine check calls this before every log-in; sessions already logged in stay.
__declspec(dllexport) int16_t WINAPI xReset(char* /*options*/) { return SqlStatusOk; }
static_assert(std::is_same_v<decltype(&xReset), XResetFn>);

#define SQL_NOT_SUPPORTED(name) \
    __declspec(dllexport) int16_t WINAPI name() { return SqlStatusNotSupported; } \
    static_assert(std::is_same_v<decltype(&name), XUnusedFn>);
SQL_NOT_SUPPORTED(_XQLCallback)
SQL_NOT_SUPPORTED(_xShareSessionID)
SQL_NOT_SUPPORTED(XQLFormat)
SQL_NOT_SUPPORTED(XQLSPUtility)
SQL_NOT_SUPPORTED(XQLStatus)
SQL_NOT_SUPPORTED(XQLConvert)
SQL_NOT_SUPPORTED(XQLValidate)
SQL_NOT_SUPPORTED(XQLMask)
SQL_NOT_SUPPORTED(xCompute)
SQL_NOT_SUPPORTED(xDescribe)
SQL_NOT_SUPPORTED(xMovefld)
SQL_NOT_SUPPORTED(xField)
SQL_NOT_SUPPORTED(xFree)
SQL_NOT_SUPPORTED(xJoin)
SQL_NOT_SUPPORTED(xLogin)
SQL_NOT_SUPPORTED(xLogout)
SQL_NOT_SUPPORTED(xNew)
SQL_NOT_SUPPORTED(xOrder)
SQL_NOT_SUPPORTED(xRemall)
SQL_NOT_SUPPORTED(xRestrict)
SQL_NOT_SUPPORTED(xStop)
SQL_NOT_SUPPORTED(xTrans)
SQL_NOT_SUPPORTED(xStore)
SQL_NOT_SUPPORTED(xRecall)
SQL_NOT_SUPPORTED(xUpdall)
SQL_NOT_SUPPORTED(xDD)
SQL_NOT_SUPPORTED(xDDAttr)
SQL_NOT_SUPPORTED(xDDModify)
SQL_NOT_SUPPORTED(xDDCreate)
SQL_NOT_SUPPORTED(xDDDrop)
SQL_NOT_SUPPORTED(xDDField)
SQL_NOT_SUPPORTED(xDDFile)
SQL_NOT_SUPPORTED(xDDIndex)
SQL_NOT_SUPPORTED(xDDPath)
SQL_NOT_SUPPORTED(xDDView)
SQL_NOT_SUPPORTED(xAccess)
SQL_NOT_SUPPORTED(xPassword)
SQL_NOT_SUPPORTED(xSecurity)
SQL_NOT_SUPPORTED(xUser)
SQL_NOT_SUPPORTED(xChar)
SQL_NOT_SUPPORTED(xVersion)
SQL_NOT_SUPPORTED(xStatus)
SQL_NOT_SUPPORTED(xConvert)
SQL_NOT_SUPPORTED(xValidate)
SQL_NOT_SUPPORTED(xMask)

}  // extern "C"
