// TBaseSession: the engine-neutral session handle. The facade makes one per session
// with the engine's session class and owns it. It resolves database names (a path,
// an alias kept in memory, or an alias in the registry under the library's key),
// opens databases through the engine, lists the known databases, shows an alias's
// configuration as rows of a memory table, keeps the in-memory configuration records
// and converts text between the OEM and ANSI code pages for the engine.
#pragma once

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <windows.h>

#include "btrieve/base/BaseDatabase.h"
#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/RightsRegistry.h"
#include "platform/StringList.h"

namespace btrieve {

class TMemTable;

// One in-memory configuration record: a path and its named values.
class TBaseCfgrecord : public TBapiListItem {
public:
    TBaseCfgrecord(TBapiListItem* session, const AnsiString& path, TQuillonCollection* collection)
        : TBapiListItem(session, collection), Path(path) {}

    // Copies count descriptors and, when given, the values they locate.
    void SetData(int32_t count, const TEngineFieldDesc* descs, const char* values);
    size_t ValuesSize() const;
    // The value of the first parameter named exactly one of the names; null for none.
    const char* ValueOf(std::initializer_list<const char*> names) const;

    AnsiString Path;
    std::vector<TEngineFieldDesc> Descs;
    std::vector<char> Values;
};

// Name and value pairs of a parameter text: Name:"value";Name2:"value2". A quote of a
// value is doubled inside its quotes.
std::vector<std::pair<AnsiString, AnsiString>> ParseParamText(const char* text);

class TBaseSession : public TBapiListItem {
public:
    TBaseSession(TBapiListItem* facade, const char* directory, const char* name, TQuillonCollection* collection);
    ~TBaseSession() override;

    // Called once right after construction by the session class (see CreateSessionOf):
    // the engine sets the registry root and path and its options.
    virtual void InitEngine() = 0;

    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;

    void SetSessionWord(uint16_t value) { sessionWord_ = value; }
    virtual void FillSesInfo(TSessionInfo& info);
    virtual AnsiString GetDriverName() const { return "QUILLON"; }
    virtual void SetDescDbType(bool keep, TDatabaseDesc& desc);
    virtual void GetDatabaseDesc(const char* name, TDatabaseDesc& desc, bool keepType);
    void GetDatabaseDescDefault(const char* name, TDatabaseDesc& desc) { GetDatabaseDesc(name, desc, false); }
    virtual void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                                      int32_t shareMode, const char* password, uint16_t paramCount,
                                      const TEngineFieldDesc* paramDescs, const char* paramValues) {
        RaiseUnsupported(9114);
    }
    virtual void OpenDatabase(const char* name, int32_t openMode, int32_t shareMode, const char* password,
                              uint16_t paramCount, const TEngineFieldDesc* paramDescs, const char* paramValues,
                              TBaseDatabase*& database);
    virtual void OpenDatabaseList(TBaseTable*& cursor);
    void CloseList(TBaseTable*& cursor);
    void* GetHandleAddr() { return &userWord_; }
    virtual void CountTableCursors(bool all, const char* name, uint32_t& count);
    // The engine maps logical field descriptors to its physical ones.
    virtual void TranslateRecordStructure(const char* driverType, uint16_t count, const TEngineFieldDesc* logical,
                                          TEngineFieldDesc* physical) {
        RaiseUnsupported(9120);
    }
    virtual void AddPassword(const char* password) { RaiseUnsupported(9088); }
    virtual void DropPassword(const char* password) { RaiseUnsupported(9089); }
    virtual void NativeToAnsi(bool& changed, char* destination, size_t length, const char* source);
    virtual void AnsiToNative(bool& changed, char* destination, size_t length, const char* source);
    virtual void RegisterCallBack(TBaseTable* cursor, const TCallBackArgs& args);
    virtual void CallBackInfo(TBaseTable* cursor, TCallBackArgs& args);
    virtual void GetSesInfo(TSessionInfo& info);
    virtual AnsiString GetNetUserName() const { return btrieve::GetNetUserName(); }
    virtual void AddAlias(int mode, const char* aliasName, const char* driverType, const char* paramText, bool persist);
    // Removes the in-memory alias of exactly that name (any case); an unknown alias is no error.
    virtual void DeleteAlias(int mode, const char* aliasName);
    virtual void WriteParamsToRegistry(TRightsRegistry& registry, const char* paramText);
    virtual void AddRegistryAlias(const char* aliasName, const char* paramText);
    virtual void DeleteRegistryAlias(const char* aliasName);
    virtual void FillCfgInfo(TMemTable& table);
    virtual void CfgPathExists(int mode, const char* text);
    virtual void ReadCfgRecord(int mode, const char* path, std::vector<char>* values,
                               std::vector<TEngineFieldDesc>* descs, int32_t& count);
    virtual void WriteCfgRecord(int mode, const char* path, const char* values, const TEngineFieldDesc* descs,
                                int32_t count);
    virtual void UpdateCfgRecord(int mode, const char* path, const char* values, const TEngineFieldDesc* descs,
                                 int32_t count);
    virtual void DeleteCfgRecords(int mode, const char* text);

    AnsiString GetName() const { return name_; }
    void SetName(const char* name) { name_ = AnsiString(name ? name : "").substr(0, 31); }
    void SetPrivateDir(const char* directory) { privateDir_ = AnsiString(directory ? directory : "").substr(0, 260); }
    AnsiString PrivateDir() const { return privateDir_; }
    AnsiString NetDir() const { return netDir_; }
    void SetIntlFlags(bool skipOemToAnsi, bool skipAnsiToOem);
    void OpenCfgInfoList(TBaseTable*& table, const char* path);

    HKEY RegRoot() const { return regRoot_; }
    const AnsiString& RegPath() const { return regPath_; }
    // RegPath\Aliases\<name>; a name the registry cannot hold raises 0x2702.
    AnsiString AliasKeyPath(const AnsiString& aliasName) const;
    TQuillonCollection& Databases() { return databases_; }
    TQuillonCollection& CfgRecords() { return cfgRecords_; }
    TQuillonCollection& Lists() { return lists_; }
    int32_t CfgMode() const { return cfgMode_; }

protected:
    HKEY regRoot_ = HKEY_LOCAL_MACHINE;
    AnsiString regPath_;
    bool skipAnsiToOem_ = false;
    bool skipOemToAnsi_ = false;
    int16_t lockWait_ = 0;

private:
    TBaseCfgrecord* FindCfgRecord(const char* path) const;

    uint32_t userWord_ = 0;
    TQuillonCollection databases_;
    TQuillonCollection cfgRecords_;
    uint16_t sessionWord_ = 0;
    AnsiString name_;
    AnsiString netDir_;
    AnsiString privateDir_;
    TQuillonCollection lists_;
    int32_t cfgMode_ = 0;
};

// The session class of the facade: makes a session of the engine's class and lets it
// initialise its engine.
using TSessionClass = TBaseSession* (*)(TBapiListItem* facade, const char* directory, const char* name,
                                        TQuillonCollection* collection);

template <class S>
TBaseSession* CreateSessionOf(TBapiListItem* facade, const char* directory, const char* name,
                              TQuillonCollection* collection) {
    auto session = std::make_unique<S>(facade, directory, name, collection);
    session->InitEngine();
    return session.release();
}

// Lists the in-memory aliases as database descriptors.
class TBaseDBListTable : public TReadOnlyTable {
public:
    TBaseDBListTable(TBaseSession* session, const char* typeName, TQuillonCollection* collection);

    uint16_t GetRecordSize() const override { return sizeof(TDatabaseDesc); }
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;

protected:
    TBaseSession& session_;
    int cfgIndex_ = 0;
    AnsiString typeName_;
};

// The in-memory aliases, then the registry aliases in the order of their key names.
class TRegDBListTable : public TBaseDBListTable {
public:
    using TBaseDBListTable::TBaseDBListTable;

    void OpenCursor() override;
    void CloseCursor() override;
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;

private:
    platform::TStringList keyNames_;
    int keyIndex_ = 0;
    bool registryStarted_ = false;
    std::unique_ptr<TRightsRegistry> registry_;
};

}  // namespace btrieve
