// Entry points of our relational engine's database-name library: the counts of the local
// and remote databases, then their names one call at a time.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "btrieve/engines/RelationalApi.h"
#include "standins/relational/DatabaseNames.h"

using namespace btrieve;

namespace {

struct NameReader {
    std::vector<wssql::NamedDatabase> names;
    size_t next = 0;
};

std::mutex& CallLock() {
    static std::mutex lock;
    return lock;
}

NameReader& Reader(bool remote) {
    static NameReader localReader, remoteReader;
    return remote ? remoteReader : localReader;
}

int16_t Count(bool remote, uint16_t* count) {
    if (!count) return SqlStatusBufferTooShort;
    std::lock_guard<std::mutex> guard(CallLock());
    NameReader& reader = Reader(remote);
    reader.names = wssql::ListDatabases(remote);
    reader.next = 0;
    *count = static_cast<uint16_t>(std::min<size_t>(reader.names.size(), 0xFFFF));
    return SqlStatusOk;
}

int16_t NextName(bool remote, char* name, uint16_t* length) {
    if (!name || !length || *length == 0) return SqlStatusBufferTooShort;
    std::lock_guard<std::mutex> guard(CallLock());
    NameReader& reader = Reader(remote);
    if (reader.next >= reader.names.size()) return SqlStatusEndOfData;
    const std::string& text = reader.names[reader.next++].name;
    const size_t copied = std::min<size_t>(text.size(), *length - 1u);
    std::memcpy(name, text.data(), copied);
    name[copied] = 0;
    *length = static_cast<uint16_t>(copied);
    return SqlStatusOk;
}

}  // namespace

extern "C" {

__declspec(dllexport) int16_t WINAPI SQLGetCountDatabaseNames(uint16_t* count) { return Count(false, count); }

__declspec(dllexport) int16_t WINAPI SQLGetCountRemoteDatabaseNames(uint16_t* count) { return Count(true, count); }

__declspec(dllexport) int16_t WINAPI SQLGetDatabaseNames(char* name, uint16_t* length) {
    return NextName(false, name, length);
}

__declspec(dllexport) int16_t WINAPI SQLGetRemoteDatabaseNames(char* name, uint16_t* length) {
    return NextName(true, name, length);
}

static_assert(std::is_same_v<decltype(&SQLGetCountDatabaseNames), SqlGetCountDatabaseNamesFn>);
static_assert(std::is_same_v<decltype(&SQLGetRemoteDatabaseNames), SqlGetDatabaseNamesFn>);

__declspec(dllexport) int16_t WINAPI SQLUnloadDBNames() {
    std::lock_guard<std::mutex> guard(CallLock());
    Reader(false) = {};
    Reader(true) = {};
    return SqlStatusOk;
}

static_assert(std::is_same_v<decltype(&SQLUnloadDBNames), SqlUnloadDbNamesFn>);

}  // extern "C"
