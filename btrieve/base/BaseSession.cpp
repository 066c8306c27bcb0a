#include "btrieve/base/BaseSession.h"

#include <algorithm>
#include <cstring>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/MemTable.h"

namespace btrieve {

namespace {

const char kDatabases[] = "\\DATABASES\\";

AnsiString AliasRecordPath(const AnsiString& alias) { return kDatabases + alias + "\\DB INFO"; }

// The string or decimal text of a value of the open key; false for other kinds.
bool ReadValueText(TRightsRegistry& registry, const AnsiString& name, AnsiString& text) {
    DWORD type = 0;
    if (RegQueryValueExA(registry.CurrentKey(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    try {
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            text = registry.GetString(name);
            return true;
        }
        if (type == REG_DWORD) {
            text = platform::IntToStr(registry.GetInteger(name));
            return true;
        }
    } catch (const platform::Exception&) {
    }
    return false;
}

AnsiString StringValue(TRightsRegistry& registry, const AnsiString& name) {
    AnsiString text;
    DWORD type = 0;
    if (RegQueryValueExA(registry.CurrentKey(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return AnsiString();
    try {
        text = registry.GetString(name);
    } catch (const platform::Exception&) {
    }
    return text;
}

}  // namespace

// ---- Configuration records and parameter texts ----

void TBaseCfgrecord::SetData(int32_t count, const TEngineFieldDesc* descs, const char* values) {
    Descs.clear();
    Values.clear();
    if (count < 1 || !descs) return;
    Descs.assign(descs, descs + count);
    if (values) Values.assign(values, values + ValuesSize());
}

size_t TBaseCfgrecord::ValuesSize() const {
    size_t size = 0;
    for (const auto& d : Descs) size += d.length;
    return size;
}

const char* TBaseCfgrecord::ValueOf(std::initializer_list<const char*> names) const {
    for (const auto& d : Descs) {
        if (d.offset >= Values.size()) continue;
        const AnsiString name = FieldText(d.name, sizeof d.name);
        for (const char* wanted : names)
            if (name == wanted) return Values.data() + d.offset;
    }
    return nullptr;
}

std::vector<std::pair<AnsiString, AnsiString>> ParseParamText(const char* text) {
    std::vector<std::pair<AnsiString, AnsiString>> pairs;
    bool inQuotes = false, nameMode = true;
    AnsiString name, value;
    auto reset = [&] {
        inQuotes = false;
        nameMode = true;
        name.clear();
        value.clear();
    };
    for (const char* p = text ? text : ""; *p; ++p) {
        const char c = *p;
        if (c == '"') {
            if (inQuotes && p[1] == '"') {
                // A doubled quote inside quotes is one quote of the value.
                value += c;
                ++p;
            } else if (!inQuotes) {
                inQuotes = true;
                nameMode = false;
            } else {
                pairs.emplace_back(name, value);
                reset();
            }
        } else if (c == ':' && !inQuotes) {
            nameMode = false;
        } else if (c == ';' && !inQuotes) {
            reset();
        } else if (nameMode) {
            name += c;
        } else {
            value += c;
        }
    }
    return pairs;
}

// ---- The session ----

TBaseSession::TBaseSession(TBapiListItem* facade, const char* directory, const char* name,
                           TQuillonCollection* collection)
    : TBapiListItem(facade, collection) {
    SetName(name);
    if (directory) {
        netDir_ = AnsiString(directory).substr(0, 260);
        privateDir_ = netDir_;
    }
}

TBaseSession::~TBaseSession() {
    lists_.FreeAll();
    databases_.FreeAll();
    cfgRecords_.FreeAll();
}

void TBaseSession::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id) {
    case 0x20002: {
        char directory[MAX_PATH + 1] = {};
        GetCurrentDirectoryA(sizeof directory, directory);
        PutPropValue(value, bufferLength, directory, static_cast<uint16_t>(std::strlen(directory) + 1), length);
        return;
    }
    case 0x20003:
    case 0x2000C:
        PutPropValue(value, bufferLength, &cfgMode_, sizeof cfgMode_, length);
        return;
    default:
        TBapiListItem::GetProp(id, value, length, bufferLength);
    }
}

void TBaseSession::SetProp(uint32_t id, intptr_t value) {
    if (id == 0x20003 || id == 0x2000C) cfgMode_ = static_cast<int32_t>(value);
}

void TBaseSession::FillSesInfo(TSessionInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.sessionId = static_cast<uint16_t>(std::max(IndexInCollection(), 0));
    CopyToField(info.name, sizeof info.name, name_);
    info.databases = static_cast<uint16_t>(databases_.Count());
    int cursors = 0;
    for (auto* item : databases_) cursors += static_cast<TBaseDatabase*>(item)->Cursors().Count();
    info.cursors = static_cast<uint16_t>(cursors);
    CopyToField(info.netDir, sizeof info.netDir, netDir_);
    CopyToField(info.privateDir, sizeof info.privateDir, privateDir_);
}

void TBaseSession::GetSesInfo(TSessionInfo& info) {
    FillSesInfo(info);
    info.lockWait = lockWait_;
}

void TBaseSession::SetDescDbType(bool keep, TDatabaseDesc& desc) {
    if (!keep) CopyToField(desc.dbType, sizeof desc.dbType, "STANDARD");
}

void TBaseSession::GetDatabaseDesc(const char* name, TDatabaseDesc& desc, bool keepType) {
    CheckParam(name);
    if (IsPathName(name, true)) {
        std::memset(&desc, 0, sizeof desc);
        CopyToField(desc.name, sizeof desc.name, "PATH");
        CopyToField(desc.text, sizeof desc.text, "PATH");
        CopyToField(desc.physicalName, sizeof desc.physicalName, AddBackslash(name));
        SetDescDbType(false, desc);
        return;
    }
    TTemporary<TBaseTable> list;
    list.close = false;
    OpenDatabaseList(list.item);
    CheckHandle(list.item);
    TDatabaseDesc candidate;
    try {
        for (;;) {
            std::memset(&candidate, 0, sizeof candidate);
            list.item->GetNextRecord(0, reinterpret_cast<uint8_t*>(&candidate), nullptr);
            if (platform::AnsiSameText(FieldText(candidate.name, sizeof candidate.name), name)) break;
        }
    } catch (const EQuillonBoundryError&) {
        RaiseEngineErrorMsg(rc::UnknownDb, name);
    }
    desc = candidate;
    SetDescDbType(keepType, desc);
}

void TBaseSession::OpenDatabase(const char* name, int32_t openMode, int32_t shareMode, const char* password,
                                uint16_t paramCount, const TEngineFieldDesc* paramDescs, const char* paramValues,
                                TBaseDatabase*& database) {
    CheckParam(name);
    TDatabaseDesc desc{};
    CopyToField(desc.name, sizeof desc.name, name);
    CopyToField(desc.dbType, sizeof desc.dbType, GetDriverName());
    int given = 0;
    for (uint16_t i = 0; paramDescs && paramValues && i < paramCount; ++i) {
        const AnsiString param = FieldText(paramDescs[i].name, sizeof paramDescs[i].name);
        const char* value = paramValues + paramDescs[i].offset;
        if (platform::AnsiSameText(param, "Description")) {
            CopyToField(desc.text, sizeof desc.text, value);
            ++given;
        } else if (platform::AnsiSameText(param, "PhysicalName")) {
            CopyToField(desc.physicalName, sizeof desc.physicalName, value);
            ++given;
        }
    }
    if (given != 2) GetDatabaseDesc(name, desc, true);
    CreateDatabaseObject(desc, database, openMode, shareMode, password, paramCount, paramDescs, paramValues);
}

void TBaseSession::OpenDatabaseList(TBaseTable*& cursor) {
    cursor = OpenNewCursor(MakeHandle<TRegDBListTable>(this, "", &lists_));
}

void TBaseSession::CloseList(TBaseTable*& cursor) {
    FreeHandle(cursor);
    cursor = nullptr;
}

void TBaseSession::CountTableCursors(bool all, const char* name, uint32_t& count) {
    count = 0;
    if (!all) return;
    // A database without a cursor on the table adds nothing to the sum.
    for (auto* item : databases_) {
        uint32_t n = 0;
        try {
            static_cast<TBaseDatabase*>(item)->CountCursors(name, n);
        } catch (const EQuillonEngineError& e) {
            if (e.Code() != rc::NoSuchTable) throw;
            n = 0;
        }
        count += n;
    }
}

void TBaseSession::NativeToAnsi(bool& changed, char* destination, size_t length, const char* source) {
    changed = false;
    CheckParam(destination);
    CheckParam(source);
    if (skipOemToAnsi_) std::memmove(destination, source, length);
    else OemToAnsiBuf(source, destination, length);
}

void TBaseSession::AnsiToNative(bool& changed, char* destination, size_t length, const char* source) {
    changed = false;
    CheckParam(destination);
    CheckParam(source);
    if (skipAnsiToOem_) std::memmove(destination, source, length);
    else AnsiToOemBuf(source, destination, length);
}

void TBaseSession::RegisterCallBack(TBaseTable* cursor, const TCallBackArgs& args) {
    if (!cursor) RaiseUnsupported(9094);
    cursor->RegisterCallBack(args);
}

void TBaseSession::CallBackInfo(TBaseTable* cursor, TCallBackArgs& args) {
    if (!cursor) RaiseUnsupported(9095);
    cursor->CallBackInfo(args);
}

void TBaseSession::AddAlias(int mode, const char* aliasName, const char* driverType, const char* paramText,
                            bool persist) {
    CheckParam(aliasName);
    // Sized by the text itself, so no parameter text can overrun them.
    std::vector<TEngineFieldDesc> descs;
    std::vector<char> values;
    for (const auto& [name, value] : ParseParamText(paramText)) {
        TEngineFieldDesc d{};
        d.fieldNumber = static_cast<uint16_t>(descs.size() + 1);
        CopyToField(d.name, sizeof d.name, name);
        if (values.size() + value.size() + 1 > 0xFFFF) RaiseEngineError(rc::InvalidParam);
        d.offset = static_cast<uint16_t>(values.size());
        d.length = static_cast<uint16_t>(value.size() + 1);
        values.insert(values.end(), value.begin(), value.end());
        values.push_back('\0');
        descs.push_back(d);
    }
    WriteCfgRecord(mode, AliasRecordPath(aliasName).c_str(), values.data(), descs.data(),
                   static_cast<int32_t>(descs.size()));
}

void TBaseSession::DeleteAlias(int mode, const char* aliasName) {
    CheckParam(aliasName);
    // Only this alias's records: deleting "A" must leave "AB" alone.
    const AnsiString prefix = platform::AnsiUpperCase(kDatabases + AnsiString(aliasName) + "\\");
    for (int i = cfgRecords_.Count() - 1; i >= 0; --i) {
        auto* record = static_cast<TBaseCfgrecord*>(cfgRecords_.Get(i));
        if (platform::AnsiUpperCase(record->Path).compare(0, prefix.size(), prefix) == 0) FreeHandle(record);
    }
}

void TBaseSession::WriteParamsToRegistry(TRightsRegistry& registry, const char* paramText) {
    for (const auto& [name, value] : ParseParamText(paramText)) registry.PutString(name, value);
}

AnsiString TBaseSession::AliasKeyPath(const AnsiString& aliasName) const {
    const AnsiString path = regPath_ + "\\Aliases\\" + aliasName;
    // An alias name the registry cannot hold (a key name beyond its length) is a wrong
    // argument of the call that names it, answered with the registry's reason.
    try {
        platform::TRegistry::CheckKeyPath(path);
    } catch (const platform::ERegistryException& e) {
        RaiseEngineErrorMsg(rc::InvalidParam, e.Message());
    }
    return path;
}

void TBaseSession::AddRegistryAlias(const char* aliasName, const char* paramText) {
    CheckParam(aliasName);
    TRightsRegistry registry;
    registry.SetRootKey(regRoot_);
    registry.SetAccessMask(KEY_ALL_ACCESS);
    if (!registry.OpenKey(AliasKeyPath(aliasName), true)) return;
    try {
        WriteParamsToRegistry(registry, paramText);
    } catch (const platform::Exception& e) {
        RaiseEngineErrorMsg(rc::WriteErr, e.Message());
    }
}

void TBaseSession::DeleteRegistryAlias(const char* aliasName) {
    CheckParam(aliasName);
    TRightsRegistry registry;
    registry.SetRootKey(regRoot_);
    const AnsiString path = AliasKeyPath(aliasName);
    if (registry.KeyExists(path)) registry.RemoveKey(path);
}

void TBaseSession::SetIntlFlags(bool skipOemToAnsi, bool skipAnsiToOem) {
    skipOemToAnsi_ = skipOemToAnsi;
    skipAnsiToOem_ = skipAnsiToOem;
}

void TBaseSession::OpenCfgInfoList(TBaseTable*& table, const char* path) {
    TEngineFieldDesc descs[5] = {};
    const struct {
        const char* name;
        uint16_t type;
        int16_t units;
    } columns[5] = {{"szNodeName", fldtype::ZString, 31},
                    {"szDescription", fldtype::ZString, 127},
                    {"iDataType", fldtype::UInt16, 0},
                    {"szValue", fldtype::ZString, 127},
                    {"bHasSubNodes", fldtype::Bool, 0}};
    for (int i = 0; i < 5; ++i) {
        descs[i].fieldNumber = static_cast<uint16_t>(i + 1);
        CopyToField(descs[i].name, sizeof descs[i].name, columns[i].name);
        descs[i].fieldType = columns[i].type;
        descs[i].units1 = columns[i].units;
    }
    auto* memTable = MakeHandle<TMemTable>(this, nullptr, descs, 0, 5, path, &lists_);
    try {
        FillCfgInfo(*memTable);
    } catch (...) {
        FreeHandle(memTable);
        throw;
    }
    memTable->SetState(cursorstate::Unpositioned);
    table = memTable;
}

void TBaseSession::FillCfgInfo(TMemTable& table) {
    const AnsiString path = table.GetTableName();
    const size_t start = FindText(path, kDatabases);
    if (start == AnsiString::npos) return;
    AnsiString subject = path.substr(start + std::strlen(kDatabases));
    size_t end = FindText(subject, "\\DB OPEN");
    if (end == AnsiString::npos) end = FindText(subject, "\\DB INFO");
    if (end != AnsiString::npos) subject.resize(end);

    auto addRow = [&table](const AnsiString& node, uint16_t type, const AnsiString& value) {
        TConfigNode row{};
        CopyToField(row.nodeName, sizeof row.nodeName, node);
        row.dataType = type;
        CopyToField(row.value, sizeof row.value, value);
        table.InsertRecord(0, reinterpret_cast<uint8_t*>(&row));
    };
    if (IsPathName(subject, true)) {
        addRow("PATH", 0, subject);
        addRow("USER NAME", 1, "");
        return;
    }
    TRightsRegistry registry;
    registry.SetRootKey(regRoot_);
    registry.SetAccessMask(KEY_READ);
    if (!registry.OpenKey(AliasKeyPath(subject), false)) return;
    platform::TStringList names;
    registry.GetValueNames(names);
    bool userSeen = false;
    for (int i = 0; i < names.Count(); ++i) {
        AnsiString text;
        if (!ReadValueText(registry, names[i], text)) continue;
        AnsiString node = names[i];
        if (!userSeen && platform::AnsiSameText(node, "USER")) {
            node = "USER NAME";
            userSeen = true;
        }
        addRow(node, 1, text);
    }
    if (!userSeen) addRow("USER NAME", 1, "");
}

TBaseCfgrecord* TBaseSession::FindCfgRecord(const char* path) const {
    for (auto* item : cfgRecords_) {
        auto* record = static_cast<TBaseCfgrecord*>(item);
        if (record->Path == path) return record;
    }
    return nullptr;
}

void TBaseSession::CfgPathExists(int, const char* text) {
    CheckParam(text);
    for (auto* item : cfgRecords_)
        if (static_cast<TBaseCfgrecord*>(item)->Path.find(text) != AnsiString::npos) return;
    RaiseEOF();
}

void TBaseSession::ReadCfgRecord(int, const char* path, std::vector<char>* values,
                                 std::vector<TEngineFieldDesc>* descs, int32_t& count) {
    const TBaseCfgrecord* record = FindCfgRecord(CheckParam(path));
    if (!record) RaiseEOF();
    count = static_cast<int32_t>(record->Descs.size());
    if (values) *values = record->Values;
    if (descs) *descs = record->Descs;
}

void TBaseSession::WriteCfgRecord(int mode, const char* path, const char* values, const TEngineFieldDesc* descs,
                                  int32_t count) {
    try {
        UpdateCfgRecord(mode, path, values, descs, count);
    } catch (const EQuillonBoundryError&) {
        auto* record = MakeHandle<TBaseCfgrecord>(this, path, &cfgRecords_);
        record->SetData(count, descs, values);
    }
}

void TBaseSession::UpdateCfgRecord(int, const char* path, const char* values, const TEngineFieldDesc* descs,
                                   int32_t count) {
    TBaseCfgrecord* record = FindCfgRecord(CheckParam(path));
    if (!record) RaiseEOF();
    record->SetData(count, descs, values);
}

void TBaseSession::DeleteCfgRecords(int, const char* text) {
    CheckParam(text);
    bool freed = false;
    for (int i = cfgRecords_.Count() - 1; i >= 0; --i) {
        auto* record = static_cast<TBaseCfgrecord*>(cfgRecords_.Get(i));
        if (record->Path.find(text) != AnsiString::npos) {
            FreeHandle(record);
            freed = true;
        }
    }
    if (!freed) RaiseEOF();
}

// ---- Database lists ----

TBaseDBListTable::TBaseDBListTable(TBaseSession* session, const char* typeName, TQuillonCollection* collection)
    : TReadOnlyTable(session, collection, nullptr, nullptr, 1, 1),
      session_(*session),
      typeName_(AnsiString(typeName ? typeName : "").substr(0, 31)) {
    SetRecordSize(sizeof(TDatabaseDesc));
}

void TBaseDBListTable::GetNextRecord(int, uint8_t* record, TRecordProps*) {
    TQuillonCollection& records = session_.CfgRecords();
    while (cfgIndex_ < records.Count()) {
        auto* cfg = static_cast<TBaseCfgrecord*>(records.Get(cfgIndex_++));
        if (cfg->Path.find("DB INFO") == AnsiString::npos) continue;
        AnsiString alias;
        const size_t at = FindText(cfg->Path, kDatabases);
        if (at != AnsiString::npos) {
            alias = cfg->Path.substr(at + std::strlen(kDatabases));
            alias = alias.substr(0, alias.find('\\'));
        }
        const char* physical = cfg->ValueOf({"PATH", "PhysicalName"});
        TDatabaseDesc desc{};
        CopyToField(desc.name, sizeof desc.name, alias);
        CopyToField(desc.physicalName, sizeof desc.physicalName, physical ? physical : "");
        CopyToField(desc.dbType, sizeof desc.dbType, typeName_);
        if (record) std::memcpy(record, &desc, sizeof desc);
        SetState(cursorstate::OnRecord);
        return;
    }
    RaiseEOF();
}

void TRegDBListTable::OpenCursor() {
    cfgIndex_ = 0;
    keyIndex_ = 0;
    registryStarted_ = false;
    keyNames_.Clear();
    registry_ = std::make_unique<TRightsRegistry>();
    registry_->SetRootKey(session_.RegRoot());
    registry_->SetAccessMask(KEY_READ);
    if (registry_->OpenKey(session_.RegPath() + "\\Aliases", false)) registry_->GetKeyNames(keyNames_);
    SetState(cursorstate::Unpositioned);
}

void TRegDBListTable::CloseCursor() {
    if (State() == cursorstate::Closed) return;
    SetState(cursorstate::Closed);
    registry_.reset();
}

void TRegDBListTable::GetNextRecord(int lock, uint8_t* record, TRecordProps* props) {
    if (!registryStarted_) {
        try {
            TBaseDBListTable::GetNextRecord(lock, record, props);
            return;
        } catch (const EQuillonEOFError&) {
            registryStarted_ = true;
        }
    }
    while (keyIndex_ < keyNames_.Count()) {
        const AnsiString key = keyNames_[keyIndex_++];
        TRightsRegistry alias;
        alias.SetRootKey(session_.RegRoot());
        alias.SetAccessMask(KEY_READ);
        // An alias key that cannot be read is passed over; the later ones still count.
        if (!alias.OpenKey(session_.AliasKeyPath(key), false)) continue;
        TDatabaseDesc desc{};
        CopyToField(desc.name, sizeof desc.name, key);
        CopyToField(desc.text, sizeof desc.text, StringValue(alias, "Description"));
        AnsiString physical = StringValue(alias, "PhysicalName");
        if (!physical.empty()) physical = AddBackslash(physical);
        CopyToField(desc.physicalName, sizeof desc.physicalName, physical);
        CopyToField(desc.dbType, sizeof desc.dbType, typeName_);
        if (record) std::memcpy(record, &desc, sizeof desc);
        SetState(cursorstate::OnRecord);
        return;
    }
    RaiseEOF();
}

}  // namespace btrieve
