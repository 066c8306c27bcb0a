#include "TestEngine.h"

#include <algorithm>

#include "btrieve/base/BaseUtils.h"

namespace testengine {

TRow Row(int32_t id, const char* name, int16_t flag) {
    TRow r{};
    r.id = id;
    std::strncpy(r.name, name, sizeof r.name - 1);
    r.flag = flag;
    return r;
}

TTestStore& TTestStore::Get() {
    static TTestStore store;
    return store;
}

std::vector<TEngineFieldDesc> RowFields() {
    std::vector<TEngineFieldDesc> f(3);
    const struct {
        const char* name;
        uint16_t type, offset, length;
    } defs[3] = {{"ID", fldtype::Int32, 0, 4}, {"NAME", fldtype::ZString, 4, 12}, {"FLAG", fldtype::Int16, 16, 2}};
    for (int i = 0; i < 3; ++i) {
        f[i] = TEngineFieldDesc{};
        f[i].fieldNumber = static_cast<uint16_t>(i + 1);
        std::strcpy(f[i].name, defs[i].name);
        f[i].fieldType = defs[i].type;
        f[i].offset = defs[i].offset;
        f[i].length = defs[i].length;
        f[i].units1 = static_cast<int16_t>(defs[i].length);
        f[i].localType = defs[i].type;
        f[i].localSize = defs[i].length;
    }
    return f;
}

TTestCursor::TTestCursor(TBapiListItem* database, TQuillonCollection* collection, const char* table,
                         int32_t openMode, int32_t shareMode)
    : TBaseTable(database, collection, table, nullptr, openMode, shareMode) {
    for (const auto& d : RowFields()) FieldCache().Add(d);
    SetRecordSize(sizeof(TRow));
    SetFileName((std::string(table) + ".DAT").c_str());
    GetIndexDesc(0, IndexDesc());
    KeyParts()[0].size = 4;
    KeyParts()[0].type = fldtype::Int32;
}

void TTestCursor::ReadAt(int index) {
    pos_ = index;
    currentId_ = Rows()[index].id;
    hasCurrent_ = true;
    if (GetRecBuf()) std::memcpy(GetRecBuf(), &Rows()[index], sizeof(TRow));
}

void TTestCursor::PhysFirst() {
    if (Rows().empty()) RaiseEOF();
    ReadAt(0);
}

void TTestCursor::PhysLast() {
    if (Rows().empty()) RaiseBOF();
    ReadAt(static_cast<int>(Rows().size()) - 1);
}

void TTestCursor::PhysNext() {
    if (pos_ + 1 >= static_cast<int>(Rows().size())) RaiseEOF();
    ReadAt(pos_ + 1);
}

void TTestCursor::PhysPrior() {
    if (pos_ - 1 < 0) RaiseBOF();
    ReadAt(pos_ - 1);
}

void TTestCursor::FieldToLogical(uint16_t, uint16_t, bool& blank, void* value, const uint8_t* data, uint16_t length,
                                 int16_t) {
    // This engine keeps no nulls: a field of zero bytes counts as blank.
    blank = IsZeroBuf(data, length);
    std::memcpy(value, data, length);
}

void TTestCursor::FieldToPhysical(uint16_t, uint16_t, uint8_t* data, const void* value, uint16_t length, int16_t) {
    if (value)
        std::memcpy(data, value, length);
    else
        std::memset(data, 0, length);
}

void TTestCursor::OpenCursor() {
    pos_ = -1;
    hasCurrent_ = false;
    TBaseTable::OpenCursor();
}

void TTestCursor::GetBookMark(void* bookmark) {
    if (!hasCurrent_) RaiseEngineError(rc::NoCurrRec);
    std::memcpy(bookmark, &currentId_, 4);
}

void TTestCursor::SetToBookMark(const void* bookmark) {
    int32_t id;
    std::memcpy(&id, bookmark, 4);
    auto& rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].id == id) {
            pos_ = static_cast<int>(i);
            currentId_ = id;
            hasCurrent_ = true;
            SetState(cursorstate::OnRecord);
            return;
        }
    RaiseEngineError(0x2206);
}

void TTestCursor::ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) {
    SetToBookMark(bookmark);
    if (lock) ++TTestStore::Get().lockedReads;
    if (record) std::memcpy(record, &Rows()[pos_], sizeof(TRow));
}

void TTestCursor::KeySearch(int condition, bool, uint8_t* record, const void* key, uint16_t, uint16_t) {
    int32_t k;
    std::memcpy(&k, key, 4);
    auto& rows = Rows();
    const int n = static_cast<int>(rows.size());
    int found = -1;
    switch (condition) {
    case searchcond::Equal:
        for (int i = 0; i < n && found < 0; ++i)
            if (rows[i].id == k) found = i;
        break;
    case searchcond::GreaterOrEqual:
    case searchcond::Greater:
        for (int i = 0; i < n && found < 0; ++i)
            if (rows[i].id > k || (condition == searchcond::GreaterOrEqual && rows[i].id == k)) found = i;
        break;
    default:
        for (int i = n - 1; i >= 0 && found < 0; --i)
            if (rows[i].id < k || (condition == searchcond::LessOrEqual && rows[i].id == k)) found = i;
        if (found < 0) RaiseBOF();
    }
    if (found < 0) RaiseEOF();
    SetRecBuf(record);
    ReadAt(found);
    SetState(cursorstate::OnRecord);
}

void TTestCursor::ExtractKeyRaw(const uint8_t* record, void* key, uint16_t& length, uint16_t, uint16_t) {
    std::memcpy(key, record, 4);
    length = 4;
}

void TTestCursor::GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) {
    std::memset(&desc, 0, sizeof desc);
    const std::vector<std::vector<uint16_t>> indexes = {{1}, {2, 1}, {2}, {2, 1, 3}};
    if (number >= indexes.size()) RaiseEngineError(rc::NoSuchIndex);
    const std::string name = "IDX" + std::to_string(number);
    std::strcpy(desc.name, name.c_str());
    desc.indexId = number;
    desc.fieldsInKey = static_cast<uint16_t>(indexes[number].size());
    for (size_t i = 0; i < indexes[number].size(); ++i) {
        desc.keyFields[i] = indexes[number][i];
        desc.keyLength = static_cast<uint16_t>(desc.keyLength + (indexes[number][i] == 2 ? 12 : indexes[number][i] == 1 ? 4 : 2));
    }
}

void TTestCursor::GetCursorProps(TCursorProps& props) {
    TBaseTable::GetCursorProps(props);
    props.indexCount = std::string(GetTableName()) == "PLAIN" ? 0 : 4;  // a table without indexes
}

void TTestCursor::InsertRecord(int, uint8_t* record) {
    TRow row;
    std::memcpy(&row, record, sizeof row);
    auto& rows = Rows();
    auto at = std::lower_bound(rows.begin(), rows.end(), row, [](const TRow& a, const TRow& b) { return a.id < b.id; });
    if (at != rows.end() && at->id == row.id) RaiseEngineError(0x2601);
    pos_ = static_cast<int>(rows.insert(at, row) - rows.begin());
    currentId_ = row.id;
    hasCurrent_ = true;
}

void TTestCursor::ModifyRecord(uint8_t* record, bool) {
    if (pos_ < 0 || pos_ >= static_cast<int>(Rows().size())) RaiseEngineError(rc::NoCurrRec);
    if (TTestStore::Get().refuseModify.count(Rows()[pos_].id)) RaiseEngineError(0x2801);
    std::memcpy(&Rows()[pos_], record, sizeof(TRow));
}

void TTestCursor::DeleteRecord(uint8_t*) {
    if (pos_ < 0 || pos_ >= static_cast<int>(Rows().size())) RaiseEngineError(rc::NoCurrRec);
    if (TTestStore::Get().refuseDelete.count(Rows()[pos_].id)) RaiseEngineError(0x2801);
    Rows().erase(Rows().begin() + pos_);
    --pos_;
    hasCurrent_ = false;  // a deleted record leaves no position to come back to
    SetState(cursorstate::Repositioning);
}

void TTestDatabase::OpenTable(const char* tableName, const char*, const char*, const char*, uint16_t,
                              int32_t openMode, int32_t shareMode, int32_t, bool, const void*, TBaseTable*& cursor) {
    CheckParam(tableName);
    if (std::string(tableName) == "PLATFORM-ERROR") throw platform::EConvertError("not an engine failure");
    if (!TTestStore::Get().tables.count(tableName)) RaiseEngineErrorMsg(0x2704, tableName);
    auto* opened = MakeHandle<TTestCursor>(this, &Cursors(), tableName, openMode, shareMode);
    opened->OpenCursor();
    cursor = opened;
}

void TTestDatabase::OpenTableList(bool, bool, const char*, TBaseTable*& cursor) {
    std::vector<char> names;
    for (const auto& [name, rows] : TTestStore::Get().tables) {
        char record[32] = {};
        std::strncpy(record, name.c_str(), 31);
        names.insert(names.end(), record, record + 32);
    }
    cursor = MakeHandle<TBaseListTable>(this, static_cast<uint16_t>(names.size() / 32), names.data(), 32, &Cursors());
}

void TTestSession::InitEngine() {
    regRoot_ = HKEY_LOCAL_MACHINE;
    regPath_ = "\\Software\\Quillon\\Btrieve";
}

void TTestSession::CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                                        int32_t shareMode, const char*, uint16_t paramCount,
                                        const TEngineFieldDesc* paramDescs, const char* paramValues) {
    lastDesc = desc;
    database = MakeHandle<TTestDatabase>(this, openMode, shareMode, paramCount, desc.name, paramDescs, paramValues,
                                         &desc, &Databases());
}

TBaseDatabase* NewDatabase(TBaseSession* session) {
    return MakeHandle<TTestDatabase>(session, 0, 0, 0, "DB", nullptr, nullptr, nullptr,
                                     session ? &session->Databases() : nullptr);
}

}  // namespace testengine
