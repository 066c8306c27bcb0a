#include "btrieve/engines/BtrSession.h"

#include <windows.h>

#include <atomic>
#include <cstring>

#include "btrieve/engines/BtrDatabase.h"
#include "btrieve/engines/BtrieveClient.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/ConversionFunctions.h"
#include "btrieve/engines/WinBtr.h"

namespace btrieve {

namespace {

constexpr int16_t kAlreadyInitialised = 1016;

// One configuration subkey, opened for reading; a key that cannot be opened is skipped.
class TConfigKey {
public:
    explicit TConfigKey(const char* subkey) {
        registry_.SetRootKey(HKEY_LOCAL_MACHINE);
        registry_.SetAccessMask(KEY_READ);
        open_ = registry_.OpenKey(AnsiString(kBtrieveRegistryRoot) + "\\Configuration\\" + subkey, false);
    }
    bool Open() const { return open_; }
    AnsiString String(const char* name, const AnsiString& fallback = AnsiString()) const {
        return registry_.ValueExists(name) ? registry_.GetString(name) : fallback;
    }
    bool Boolean(const char* name, bool fallback) const {
        return registry_.ValueExists(name) ? registry_.GetInteger(name) != 0 : fallback;
    }

private:
    TRightsRegistry registry_;
    bool open_ = false;
};

std::atomic<uint32_t>& SessionCounter() {
    static std::atomic<uint32_t> counter{0};
    return counter;
}

}  // namespace

TBtrSession::TStartup TBtrSession::ReadConfiguration(const char* directory, const char* name) {
    TStartup startup;
    if (OnBtrieveMainThread()) {
        AnsiString options, dllName;
        TBtrieveSettings& settings = BtrieveSettings();
        {
            TConfigKey client("Btrieve Client");
            if (client.Open()) {
                options = client.String("Options");
                dllName = platform::AnsiLowerCase(client.String("DLLName"));
                settings.ignoreSqlDatabases = client.Boolean("IgnoreSQLDatabases", settings.ignoreSqlDatabases);
            }
        }
        int16_t status = InitBtrieveClient(options.c_str(), dllName.empty() ? nullptr : dllName.c_str());
        if (status == kAlreadyInitialised) status = 0;
        if (status != 0) throw EBtrieveEngineError(status, options);
        TConfigKey intl("Intl");
        if (intl.Open()) {
            startup.ignoreAnsiOem = intl.Boolean("IgnoreAnsiOem", false);
            startup.ignoreOemAnsi = intl.Boolean("IgnoreOemAnsi", false);
        }
        TConfigKey fields("Fields");
        if (fields.Open()) {
            settings.stringPaddedSpaces = fields.Boolean("StringPaddedSpaces", settings.stringPaddedSpaces);
            settings.readTolerant = fields.Boolean("Read", settings.readTolerant);
            settings.writeTolerant = fields.Boolean("Write", settings.writeTolerant);
            settings.smallIntAsByte = fields.Boolean("SmallIntAsByte", settings.smallIntAsByte);
            settings.integersShowAsZero = fields.Boolean("IntegersShowAsZero", settings.integersShowAsZero);
        }
        TConfigKey records("Records");
        if (records.Open()) settings.trueRecordCount = records.Boolean("TrueRecordCount", settings.trueRecordCount);
    }
    startup.hasName = name != nullptr;
    startup.name = name ? name : "";
    startup.hasDirectory = directory != nullptr;
    startup.directory = directory ? directory : "";
    if (!name || !directory) {
        TConfigKey defaults("Default Session");
        if (defaults.Open()) {
            if (!name && defaults.String("Name", "") != "") {
                startup.hasName = true;
                startup.name = defaults.String("Name");
            }
            if (!directory && defaults.String("Directory", "") != "") {
                startup.hasDirectory = true;
                startup.directory = defaults.String("Directory");
            }
        }
    }
    return startup;
}

TBtrSession::TBtrSession(TBapiListItem* facade, const char* directory, const char* name,
                         TQuillonCollection* collection)
    : TBtrSession(facade, ReadConfiguration(directory, name), collection) {}

TBtrSession::TBtrSession(TBapiListItem* facade, const TStartup& startup, TQuillonCollection* collection)
    : TBaseSession(facade, startup.hasDirectory ? startup.directory.c_str() : nullptr,
                   startup.hasName ? startup.name.c_str() : nullptr, collection) {
    InitEngine();
    SetIntlFlags(startup.ignoreOemAnsi, startup.ignoreAnsiOem);
    BuildClientId();
}

TBtrSession::~TBtrSession() {
    Databases().FreeAll();
    Lists().FreeAll();
    if (databaseOpened_) {
        TWinBtr file(clientId_);
        file.Stop();
    }
    // The last engine session of the facade unloads the client (main thread only).
    const bool last = Collection() && Collection()->Count() == 1 && Collection()->IndexOf(this) == 0;
    if (last && OnBtrieveMainThread()) DoneBtrieveClient();
}

void TBtrSession::InitEngine() {
    regRoot_ = HKEY_LOCAL_MACHINE;
    regPath_ = kBtrieveRegistryRoot;
}

void TBtrSession::BuildClientId() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::memset(clientId_, 0, sizeof clientId_);
    // Bytes 0-11 make the identifier unique to this session and process: two sessions
    // started in the same millisecond must not share locks, transactions or Stop.
    const uint32_t process = GetCurrentProcessId();
    const uint32_t serial = ++SessionCounter();
    std::memcpy(clientId_, &process, sizeof process);
    std::memcpy(clientId_ + 4, &serial, sizeof serial);
    clientId_[12] = static_cast<uint8_t>('A' + now.wMilliseconds % 26);
    clientId_[13] = static_cast<uint8_t>('A' + now.wSecond % 26);
    clientId_[14] = static_cast<uint8_t>(now.wHour);
    clientId_[15] = static_cast<uint8_t>(now.wMinute);
}

void TBtrSession::CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                                       int32_t shareMode, const char* password, uint16_t paramCount,
                                       const TEngineFieldDesc* paramDescs, const char* paramValues) {
    database = MakeHandle<TBtrDatabase>(this, desc, password, openMode, shareMode, paramCount, paramDescs,
                                        paramValues, &Databases());
    static_cast<TBtrDatabase*>(database)->SetClientId(clientId_);
    databaseOpened_ = true;
}

void TBtrSession::OpenDatabase(const char* name, int32_t openMode, int32_t shareMode, const char* password,
                               uint16_t paramCount, const TEngineFieldDesc* paramDescs, const char* paramValues,
                               TBaseDatabase*& database) {
    CheckParam(name);
    if (!IsPathName(name, true)) {
        TBaseSession::OpenDatabase(name, openMode, shareMode, password, paramCount, paramDescs, paramValues,
                                   database);
        return;
    }
    AnsiString directory = AnsiString(name).substr(0, 255);
    if (directory.empty()) {
        char current[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof current, current);
        directory = current;
    }
    directory = AddBackslash(directory);
    TDatabaseDesc desc{};
    CopyToField(desc.name, sizeof desc.name, "Btrieve (FILE.DDF)");
    CopyToField(desc.physicalName, sizeof desc.physicalName, directory);
    CopyToField(desc.dbType, sizeof desc.dbType, "BTRIEVE");
    CreateDatabaseObject(desc, database, openMode, shareMode, password, paramCount, paramDescs, paramValues);
}

void TBtrSession::TranslateRecordStructure(const char* driverType, uint16_t count, const TEngineFieldDesc* logical,
                                           TEngineFieldDesc* physical) {
    if ((driverType && *driverType) || count == 0) RaiseUnsupported(9120);
    CheckParam(logical);
    CheckParam(physical);
    // Check every descriptor before any output is written.
    for (uint16_t i = 0; i < count; ++i) {
        const uint16_t t = logical[i].fieldType;
        if (t < 1 || t > 19 || t == 16 || t == 17) RaiseUnsupported(9120);
    }
    for (uint16_t i = 0; i < count; ++i) {
        TEngineFieldDesc d = logical[i];
        switch (d.fieldType) {
        case fldtype::ZString: d.fieldType = TypeZString; break;
        case fldtype::Date: d.fieldType = TypeDate, d.length = 4; break;
        case fldtype::Blob: d.fieldType = d.subType == fldsubtype::Memo ? TypeNote : TypeString; break;
        case fldtype::Bool:
            d.fieldType = TypeLogical;
            if (d.length == 0) d.length = 2;
            break;
        case fldtype::Int16: d.fieldType = TypeInteger, d.length = 2; break;
        case fldtype::Int32: d.fieldType = TypeInteger, d.length = 4; break;
        case fldtype::Float:
        case fldtype::FloatIeee:
            d.fieldType = TypeFloat;
            if (d.length == 0) d.length = 8;
            break;
        case fldtype::Bcd: d.fieldType = TypeDecimal; break;
        case fldtype::Bytes: d.fieldType = TypeUnsignedBinary; break;
        case fldtype::Time: d.fieldType = TypeTime, d.length = 4; break;
        case fldtype::Timestamp: d.fieldType = TypeTimestamp, d.length = 8; break;
        case fldtype::UInt16: d.fieldType = TypeUnsignedBinary, d.length = 2; break;
        case fldtype::UInt32: d.fieldType = TypeUnsignedBinary, d.length = 4; break;
        case fldtype::VarBytes: d.fieldType = TypeLString; break;
        case fldtype::Int64: d.fieldType = TypeInteger, d.length = 8; break;
        case fldtype::UInt64: d.fieldType = TypeUnsignedBinary, d.length = 8; break;
        }
        physical[i] = d;
    }
}

void StartBtrieveEngines() { SetBtrieveMainThread(GetCurrentThreadId()); }

void StopBtrieveEngines() {
    FreeConversionFunctions();
    if (OnBtrieveMainThread()) DoneBtrieveClient();
}

}  // namespace btrieve
