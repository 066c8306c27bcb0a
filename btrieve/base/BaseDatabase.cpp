#include "btrieve/base/BaseDatabase.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/MemTable.h"
#include "btrieve/base/SqlStmt.h"

namespace btrieve {

TBaseDatabase::TBaseDatabase(TBapiListItem* session, int32_t openMode, int32_t shareMode, uint16_t paramCount,
                             const char* name, const TEngineFieldDesc* paramDescs, const char* paramValues,
                             const TDatabaseDesc* desc, TQuillonCollection* collection)
    : TBapiListItem(session, collection) {
    ApplyParams(paramCount, paramDescs, paramValues);
    if (desc) desc_ = *desc;
    if (name) name_ = AnsiString(name).substr(0, 31);
    SetModes(openMode, shareMode);
}

TBaseDatabase::~TBaseDatabase() {
    cursors_.FreeAll();
    connected_ = false;
}

void TBaseDatabase::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    switch (id & 0xFFFF) {
    case 0: {
        const uint16_t count = 27;
        PutPropValue(value, bufferLength, &count, sizeof count, length);
        return;
    }
    case 2: {
        // The text is cut so that it and its terminator fit the caller's buffer.
        CheckParam(value);
        if (bufferLength == 0) RaiseEngineError(rc::InvalidParam);
        const AnsiString type = GetDbType();
        CopyToField(static_cast<char*>(value), bufferLength, type);
        length = static_cast<uint16_t>(std::min<size_t>(type.size(), bufferLength - 1u) + 1);
        return;
    }
    default:
        TBapiListItem::GetProp(id, value, length, bufferLength);
    }
}

void TBaseDatabase::CheckPropWritable(uint32_t id, bool raise) {
    const uint32_t low = id & 0xFFFF;
    if ((low == 0 || low == 2) && raise) RaiseEngineError(rc::NotSupported);
}

void TBaseDatabase::SetModes(int32_t openMode, int32_t shareMode) {
    openMode_ = openMode;
    shareMode_ = shareMode;
}

void TBaseDatabase::SetParam(const AnsiString& name, const char* value) {
    if (platform::AnsiSameText(name, "USER NAME")) userName_ = AnsiString(value ? value : "").substr(0, 31);
}

void TBaseDatabase::ApplyParams(uint16_t count, const TEngineFieldDesc* descs, const char* values) {
    if (!descs || !values) return;
    for (uint16_t i = 0; i < count; ++i)
        SetParam(FieldText(descs[i].name, sizeof descs[i].name), values + descs[i].offset);
}

void TBaseDatabase::FindCursor(const char* name, TBaseTable*& cursor) {
    CheckParam(name);
    const bool byPath = IsPathName(name, true);
    for (auto* item : cursors_) {
        auto* candidate = dynamic_cast<TBaseTable*>(item);
        if (!candidate) continue;
        const char* compared = byPath ? candidate->GetFileName() : candidate->GetTableName();
        if (platform::AnsiSameText(compared, name) && candidate->GetFileName()[0] != '\0') {
            cursor = candidate;
            return;
        }
    }
    RaiseEngineErrorMsg(rc::NoSuchTable, name);
}

void TBaseDatabase::FindCursorByName(const char* name, TBaseTable*& cursor) {
    AnsiString cut(CheckParam(name));
    cut = cut.substr(0, std::min<size_t>(cut.find(';'), 260));
    FindCursor(cut.c_str(), cursor);
}

void TBaseDatabase::SetDirectory(const char* path) {
    CopyToField(desc_.physicalName, sizeof desc_.physicalName, path ? path : "");
}

void TBaseDatabase::CountCursors(const char* name, uint32_t& count) {
    CheckParam(name);
    const AnsiString wanted = AnsiString(name).substr(0, 31);
    count = 0;
    for (auto* item : cursors_) {
        auto* cursor = dynamic_cast<TBaseTable*>(item);
        if (cursor && platform::AnsiSameText(AnsiString(cursor->GetTableName()).substr(0, 31), wanted)) ++count;
    }
    if (count == 0) RaiseEngineErrorMsg(rc::NoSuchTable, name);
}

bool TBaseDatabase::TableExists(const char* name) {
    CheckParam(name);
    if (IsPathName(name, true)) {
        const AnsiString path = ExpandTablePath(name, GetDirectory());
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    const AnsiString wanted = platform::AnsiUpperCase(name);
    TTemporary<TBaseTable> list;
    list.close = false;
    OpenTableList(false, true, nullptr, list.item);
    CheckHandle(list.item);
    std::vector<uint8_t> record(std::max<size_t>(list.item->GetRecBufSize(), 1) + 1, 0);
    list.item->SetToBegin();
    try {
        for (;;) {
            list.item->GetNextRecord(0, record.data(), nullptr);
            if (platform::AnsiSameText(reinterpret_cast<const char*>(record.data()), wanted)) return true;
        }
    } catch (const EQuillonBoundryError&) {
    }
    return false;
}

void TBaseDatabase::EmptyTable(TBaseTable* cursor, const char* tableName) {
    TTemporary<TBaseTable> temporary;
    if (!cursor) {
        OpenTable(tableName, nullptr, nullptr, nullptr, 0, 0, 1, 0, false, nullptr, temporary.item);
        cursor = CheckHandle(temporary.item);
    }
    cursor->EmptyTable();
}

void TBaseDatabase::CreateTable(bool overwrite, TTableCreateDesc& desc) {
    const AnsiString name = FieldText(desc.tableName, sizeof desc.tableName);
    if (!overwrite && TableExists(name.c_str())) RaiseEngineError(rc::FileExists);
    TTemporary<TBaseTable> table;
    table.close = false;
    CreateTableObject(desc, table.item);
    CheckHandle(table.item);
    AnsiString fileName = ExtractFileNamePart(name);
    const size_t dot = fileName.rfind('.');
    if (dot != AnsiString::npos) fileName.resize(dot);
    table.item->CreatePhysical(fileName.c_str(), overwrite);
}

void TBaseDatabase::CreateInMemTable(const char* name, uint16_t fieldCount, TBaseTable*& table,
                                     TEngineFieldDesc* descs) {
    if (!descs || fieldCount == 0) RaiseEngineErrorMsg(rc::InvalidParam, name ? name : "");
    table = MakeHandle<TMemTable>(this, nullptr, descs, 0, fieldCount, name, &cursors_);
    if (!table) RaiseEngineErrorMsg(rc::InvalidTableCreate, name ? name : "");
}

void TBaseDatabase::OpenIndexList(const char* tableName, uint16_t indexId, TBaseTable*& cursor) {
    TBaseTable* source = nullptr;
    TTemporary<TBaseTable> temporary;
    try {
        FindCursorByName(tableName, source);
    } catch (const EQuillonEngineError&) {
        source = nullptr;
    }
    if (!source || source->State() == cursorstate::Closed) {
        OpenTable(tableName, nullptr, nullptr, nullptr, indexId, 1, 0, 0, false, nullptr, temporary.item);
        source = CheckHandle(temporary.item);
    }
    TCursorProps props;
    source->GetCursorProps(props);
    if (props.indexCount == 0) RaiseEngineError(rc::NotIndexed);
    std::vector<TEngineIndexDesc> descs(props.indexCount);
    std::memset(descs.data(), 0, descs.size() * sizeof(TEngineIndexDesc));
    source->GetIndexDescs(descs.data());
    cursor = MakeHandle<TIndexListTable>(this, props.indexCount, descs.data(), &cursors_);
}

void TBaseDatabase::AddIndex(TBaseTable* cursor, const char* tableName, bool keepCurrent,
                             const TEngineIndexDesc& desc) {
    TTemporary<TBaseTable> temporary;
    if (!cursor) {
        OpenTable(tableName, nullptr, nullptr, nullptr, desc.indexId, 0, 1, 0, false, nullptr, temporary.item);
        cursor = CheckHandle(temporary.item);
    }
    cursor->AddIndex(desc);
}

void TBaseDatabase::DeleteIndex(TBaseTable* cursor, const char* tableName, uint16_t indexId, const char* tagName,
                                const char* indexName) {
    TTemporary<TBaseTable> temporary;
    if (!cursor) {
        OpenTable(tableName, nullptr, nullptr, nullptr, indexId, 0, 1, 0, false, nullptr, temporary.item);
        cursor = CheckHandle(temporary.item);
    }
    cursor->DeleteIndex(indexName, tagName, indexId);
}

void TBaseDatabase::GetTranInfo(void* information) const {
    auto* out = static_cast<uint8_t*>(CheckParam(information));
    std::memset(out, 0, 10);
    std::memcpy(out, &tranState_, 4);
    std::memcpy(out + 4, &tranIsolation_, 4);
}

void TBaseDatabase::ExecDirect(uint16_t language, const char* text, TBaseTable** cursor) {
    TTemporary<TSqlStmt> statement;
    AllocStmt(language, statement.item);
    PrepareStmt(statement.item, text);
    if (statement.item) statement.item->Execute(cursor);
}

TBaseListTable::TBaseListTable(TBapiListItem* database, uint16_t count, const void* records, uint16_t recordSize,
                               TQuillonCollection* collection)
    : TReadOnlyTable(database, collection, nullptr, nullptr, 1, 0),
      count_(count),
      recordSize_(recordSize),
      records_(static_cast<size_t>(count) * recordSize, 0) {
    SetRecordSize(recordSize);
    if (records && !records_.empty()) std::memcpy(records_.data(), records, records_.size());
    TBaseListTable::SetToBegin();
}

void TBaseListTable::SetToBegin() {
    TBaseTable::SetToBegin();
    current_ = 0;
}

void TBaseListTable::GetNextRecord(int, uint8_t* record, TRecordProps*) {
    if (current_ >= count_) RaiseEOF();
    if (record) std::memcpy(record, records_.data() + static_cast<size_t>(current_) * recordSize_, recordSize_);
    ++current_;
    SetState(cursorstate::OnRecord);
}

}  // namespace btrieve
