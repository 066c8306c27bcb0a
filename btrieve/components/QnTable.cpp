#include "btrieve/components/QnTable.h"

#include <algorithm>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnDatabase.h"
#include "platform/ScopeExit.h"

namespace btrieve {

using namespace platform;

namespace {
constexpr int kOpenBinding = 0;
constexpr int kFieldDefsBinding = 4;
constexpr int kIndexDefsBinding = 5;
constexpr int kMaxOpenTries = 8;
constexpr size_t kMaxIndexName = 127;

AnsiString JoinNames(const std::vector<AnsiString>& names) {
    AnsiString joined;
    for (const auto& name : names) {
        if (!joined.empty()) joined += ";";
        joined += name;
    }
    return joined;
}

// Clears a binding flag for a scope when it was set here.
class TBindingScope {
public:
    TBindingScope(TQnDBDataset& dataset, int flag) : dataset_(dataset), flag_(flag) {
        wasSet_ = dataset_.SetDatabaseBinding(flag_, true);
    }
    ~TBindingScope() {
        if (!wasSet_) dataset_.SetDatabaseBinding(flag_, false);
    }
    TBindingScope(const TBindingScope&) = delete;
    TBindingScope& operator=(const TBindingScope&) = delete;

private:
    TQnDBDataset& dataset_;
    int flag_;
    bool wasSet_ = false;
};
}  // namespace

const TClassInfo& TQnTable::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TQnTable", &TQnDBDataset::StaticClassInfo());
        i.Property("DefaultIndex", &TQnTable::DefaultIndex, &TQnTable::SetDefaultIndex);
        i.Property("Exclusive", &TQnTable::Exclusive, &TQnTable::SetExclusive);
        i.Property("IndexFieldNames", &TQnTable::IndexFieldNames, &TQnTable::SetIndexFieldNames);
        i.Property("IndexName", &TQnTable::IndexName, &TQnTable::SetIndexName);
        i.Property("MasterFields", &TQnTable::MasterFields, &TQnTable::SetMasterFields);
        i.ComponentProperty("MasterSource", &TQnTable::SetMasterSource);
        i.Property("ReadOnly", &TQnTable::ReadOnly, &TQnTable::SetReadOnly);
        i.Property("StoreDefs", &TQnTable::StoreDefs, &TQnTable::SetStoreDefs);
        i.Property("TableName", &TQnTable::TableName, &TQnTable::SetTableName);
        i.EnumProperty("UpdateMode", &TQnTable::UpdateMode, &TQnTable::SetUpdateMode,
                       {{"upWhereAll", upWhereAll}, {"upWhereChanged", upWhereChanged}, {"upWhereKeyOnly", upWhereKeyOnly}});
        return i;
    }();
    return info;
}

TQnTable::TQnTable(TComponent* owner) : TQnDBDataset(owner), masterLink_(this) {
    masterLink_.OnMasterChange = [this] { MasterChanged(); };
    masterLink_.OnMasterDisable = [this] { MasterDisabled(); };
    indexDefs_.SetUpdateHandler([this] { RefreshIndexDefinitions(); });
}

TQnTable::~TQnTable() {
    platform::CleanUpStep([this] { masterLink_.SetDataSource(nullptr); });
}

// ---------------------------------------------------------------- properties

void TQnTable::SetExclusive(bool value) {
    RequireClosed();
    exclusive_ = value;
}

void TQnTable::SetReadOnly(bool value) {
    RequireClosed();
    readOnly_ = value;
}

void TQnTable::SetTableName(const AnsiString& value) {
    if (InState(csReading) || InState(csLoading)) {
        tableName_ = value;
        return;
    }
    if (value == tableName_) return;
    RequireClosed();
    tableName_ = value;
    DataEvent(dePropertyChange, 0);
}

void TQnTable::SetIndexDefs(const TIndexDefs& value) {
    indexDefs_.Clear();
    for (int i = 0; i < value.Count(); ++i) {
        const TIndexDef& source = value.Items(i);
        TIndexDef& copy = indexDefs_.Add(source.Name(), source.Fields(), source.Options());
        copy.SetDescFields(source.DescFields());
        copy.SetExpression(source.Expression());
        copy.SetSource(source.Source());
    }
}

void TQnTable::SetMasterSource(TDataSource* value) {
    if (value && IsLinkedTo(value)) DatabaseError("Circular datalinks are not allowed");
    masterLink_.SetDataSource(value);
}

bool TQnTable::IsModifiable() { return TQnDBDataset::IsModifiable() && !readOnly_; }

// ---------------------------------------------------------------- cursor

template <class Open>
void TQnTable::OpenWithRetry(Open&& open) {
    // A password request that keeps answering yes does not keep the open looping.
    for (int attempt = 1;; ++attempt) {
        const uint16_t code = open();
        if (CheckOpen(code)) return;
        if (attempt >= kMaxOpenTries) Check(code);
    }
}

TBaseTable* TQnTable::GetHandle(const AnsiString& indexName, const AnsiString& tag) {
    int32_t openMode = readOnly_ || (CachedUpdates() && (OnUpdateRecord || UpdateObject())) ? 1 : 0;
    TBaseTable* cursor = nullptr;
    OpenWithRetry([&]() -> uint16_t {
        for (;;) {
            const uint16_t code = Engine().OpenTable(
                DBHandle(), tableName_.c_str(), nullptr, indexName.empty() ? nullptr : indexName.c_str(),
                tag.empty() ? nullptr : tag.c_str(), defaultIndex_ ? 0 : 0xFFFF, openMode, exclusive_ ? 1 : 0, 2,
                false, nullptr, cursor);
            // A read-only table opens read-only; asked once, not for ever.
            if (code == rc::TableReadOnly && openMode == 0) {
                openMode = 1;
                continue;
            }
            return code;
        }
    });
    return cursor;
}

TBaseTable* TQnTable::CreateEngineCursor() {
    if (tableName_.empty()) DatabaseError("Missing TableName property");
    indexDefs_.SetUpdated(false);
    AnsiString tag;
    if (Database() && Database()->SQLBased()) {
        const AnsiString name = GetIndexParams(indexText_, fieldsIndex_, tag);
        return GetHandle(name, tag);
    }
    TBaseTable* cursor = GetHandle("", "");
    SetCursor(cursor);
    try {
        const AnsiString name = GetIndexParams(indexText_, fieldsIndex_, tag);
        if (!name.empty()) Check(Engine().SwitchToIndex(cursor, name.c_str(), tag.c_str(), 0, false));
    } catch (...) {
        Engine().CloseCursor(cursor);
        SetCursor(nullptr);
        throw;
    }
    return cursor;
}

void TQnTable::DestroyEngineCursor() {
    ReleaseLookupCursor();
    TQnDBDataset::DestroyEngineCursor();
}

AnsiString TQnTable::GetIndexParams(const AnsiString& text, bool fieldsFlag, AnsiString& tag) {
    tag.clear();
    if (text.empty()) return AnsiString();
    if (!indexDefs_.Updated()) RefreshIndexDefinitions();
    AnsiString name;
    if (fieldsFlag) {
        if (Database() && Database()->PseudoIndexes()) {
            name = "@" + text;
            std::replace(name.begin(), name.end(), ';', '@');
        } else {
            name = indexDefs_.FindIndexForFields(text).Name();
        }
    } else {
        name = text;
    }
    char converted[kMaxIndexName + 1];
    AnsiToNativeBuf(Engine(), nullptr, name, kMaxIndexName, converted);
    return converted;
}

void TQnTable::SetIndex(const AnsiString& text, bool fieldsFlag) {
    if (Active()) CheckBrowseMode();
    if (text == indexText_ && fieldsFlag == fieldsIndex_) return;
    if (Active()) {
        AnsiString tag;
        const AnsiString name = GetIndexParams(text, fieldsFlag, tag);
        ReleaseLookupCursor();
        SwitchToIndex(name, tag);
        CheckMasterRange();
    }
    indexText_ = text;
    fieldsIndex_ = fieldsFlag;
    if (Active()) Resync(0);
}

// ---------------------------------------------------------------- definitions

void TQnTable::PrepareFieldDefinitions() {
    if (Cursor()) {
        StorageLoadFieldDefs();
        return;
    }
    TBindingScope binding(*this, kFieldDefsBinding);
    if (tableName_.empty()) DatabaseError("Missing TableName property");
    TBaseTable* list = nullptr;
    OpenWithRetry([&] { return Engine().OpenFieldList(DBHandle(), tableName_.c_str(), nullptr, false, list); });
    try {
        uint32_t count = 0;
        Check(Engine().GetRecordCount(list, count));
        std::vector<TEngineFieldDesc> descs(count);
        for (auto& desc : descs) Check(Engine().GetNextRecord(list, 0, reinterpret_cast<uint8_t*>(&desc), nullptr));
        TBits required;
        int size = static_cast<int>(count);
        if (!descs.empty()) size = std::max<int>(size, descs.back().fieldNumber);
        required.SetSize(size + 1);
        TBaseTable* checks = nullptr;
        if (Engine().OpenVchkList(DBHandle(), tableName_.c_str(), nullptr, checks) == 0) {
            TValCheckDesc check{};
            while (Engine().GetNextRecord(checks, 0, reinterpret_cast<uint8_t*>(&check), nullptr) == 0)
                // Setting a bit beyond the set grows it to fit the field number.
                if (check.required && !check.hasDefault) required.Set(check.fieldNumber, true);
            Engine().CloseCursor(checks);
        }
        FieldDefs().BeginUpdate();
        try {
            FieldDefs().Clear();
            size_t index = 0;
            int fieldNo = 1;
            while (index < descs.size()) AddFieldDesc(descs, index, FieldDefs(), required, fieldNo);
        } catch (...) {
            FieldDefs().EndUpdate();
            throw;
        }
        FieldDefs().EndUpdate();
        FieldDefs().SetUpdated(true);
    } catch (...) {
        Engine().CloseCursor(list);
        throw;
    }
    Engine().CloseCursor(list);
}

AnsiString TQnTable::FieldNameOfNumber(int fieldNo) {
    for (int i = 0; i < FieldDefs().Count(); ++i)
        if (FieldDefs().Items(i).FieldNo() == fieldNo) return FieldDefs().Items(i).Name();
    return AnsiString();
}

void TQnTable::DecodeIndexDesc(const TEngineIndexDesc& desc, AnsiString& name, AnsiString& source,
                               AnsiString& fields, AnsiString& descFields, TIndexOptions& options) {
    AnsiString indexName;
    AnsiString tagName;
    NativeToAnsiStr(Engine(), nullptr, FieldText(desc.name, sizeof desc.name).c_str(), indexName);
    NativeToAnsiStr(Engine(), nullptr, FieldText(desc.tagName, sizeof desc.tagName).c_str(), tagName);
    if (!tagName.empty()) {
        name = ExtractFileNamePart(tagName);
        source = ExtractFileNamePart(indexName);
    } else {
        name = ExtractFileNamePart(indexName);
        source.clear();
    }
    options = 0;
    if (desc.primary) options |= ixPrimary;
    if (desc.unique) options |= ixUnique;
    if (desc.descending) options |= ixDescending;
    if (desc.caseInsensitive) options |= ixCaseInsensitive;
    if (!desc.maintained) options |= ixNonMaintained;
    descFields.clear();
    if (desc.expressionIndex) {
        options |= ixExpression;
        NativeToAnsiStr(Engine(), nullptr, FieldText(desc.keyExpression, sizeof desc.keyExpression).c_str(), fields);
        return;
    }
    std::vector<AnsiString> names;
    std::vector<AnsiString> descending;
    for (int i = 0; i < std::min<int>(desc.fieldsInKey, 16); ++i) {
        const AnsiString fieldName = FieldNameOfNumber(desc.keyFields[i]);
        names.push_back(fieldName);
        if (desc.descendingPerField[i]) descending.push_back(fieldName);
    }
    fields = JoinNames(names);
    descFields = JoinNames(descending);
    if (desc.descending && descFields == fields) descFields.clear();
}

void TQnTable::IndexDefsFromCursor() {
    TBaseTable* cursor = Cursor();
    const bool temporary = cursor == nullptr;
    if (temporary) cursor = GetHandle("", "");
    try {
        TCursorProps props{};
        Check(Engine().GetCursorProps(cursor, props));
        if (props.indexCount > 0) {
            std::vector<TEngineIndexDesc> descs(props.indexCount);
            Check(Engine().GetIndexDescs(cursor, descs.data()));
            for (const auto& desc : descs) {
                AnsiString name, source, fields, descFields;
                TIndexOptions options = 0;
                DecodeIndexDesc(desc, name, source, fields, descFields, options);
                TIndexDef& def = indexDefs_.Add(name, fields, options);
                def.SetDescFields(descFields);
                def.SetSource(source);
                if (options & ixExpression) def.SetExpression(fields);
            }
        }
    } catch (...) {
        if (temporary) Engine().CloseCursor(cursor);
        throw;
    }
    if (temporary) Engine().CloseCursor(cursor);
}

void TQnTable::IndexDefsFromList() {
    TBaseTable* list = nullptr;
    bool unindexed = false;
    OpenWithRetry([&]() -> uint16_t {
        const uint16_t code = Engine().OpenIndexList(DBHandle(), tableName_.c_str(), nullptr, list);
        // A table without an index has no definitions, as its open cursor shows: no failure.
        unindexed = code == rc::NotIndexed;
        return unindexed ? 0 : code;
    });
    if (unindexed) return;
    TEngineIndexDesc desc{};
    try {
        while (Engine().GetNextRecord(list, 0, reinterpret_cast<uint8_t*>(&desc), nullptr) == 0) {
            if (!desc.maintained) continue;
            AnsiString name, source, fields, descFields;
            TIndexOptions options = 0;
            DecodeIndexDesc(desc, name, source, fields, descFields, options);
            TIndexDef& def = indexDefs_.Add(name, fields, options);
            def.SetDescFields(descFields);
            if (options & ixExpression) def.SetExpression(fields);
        }
    } catch (...) {
        Engine().CloseCursor(list);
        throw;
    }
    Engine().CloseCursor(list);
}

void TQnTable::RefreshIndexDefinitions() {
    TBindingScope binding(*this, kIndexDefsBinding);
    FieldDefs().Update();
    indexDefs_.Clear();
    if (Cursor() || !Database() || !Database()->SQLBased())
        IndexDefsFromCursor();
    else
        IndexDefsFromList();
    indexDefs_.SetUpdated(true);
}

// ---------------------------------------------------------------- master and detail

void TQnTable::CheckMasterRange() {
    if (!masterLink_.Active() || masterLink_.Fields().empty()) return;
    SetLinkRanges(masterLink_.Fields());
    SetCursorRange();
}

void TQnTable::AfterCursorCreated() { CheckMasterRange(); }

void TQnTable::MasterChanged() {
    if (!Active()) return;
    CheckBrowseMode();
    SetLinkRanges(masterLink_.Fields());
    ApplyRange();
}

void TQnTable::MasterDisabled() {
    if (Active()) CancelRange();
}

void TQnTable::ApplyRange() {
    if (SetCursorRange()) MoveToFirst();
}

void TQnTable::CancelRange() {
    CheckBrowseMode();
    UpdateCursorPos();
    if (ResetCursorRange()) Resync(0);
}

void TQnTable::FireOnNewRecord() {
    if (masterLink_.Active() && !masterLink_.Fields().empty()) {
        const auto& master = masterLink_.Fields();
        for (size_t i = 0; i < master.size(); ++i) IndexField(static_cast<int>(i))->SetValue(master[i]->Value());
    }
    TQnDBDataset::FireOnNewRecord();
}

void TQnTable::ListDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields) {
    masterFields.clear();
    detailFields.clear();
    TDataSource* source = masterLink_.DataSource();
    if (!source || !source->DataSet() || masterLink_.FieldNames().empty()) return;
    masterFields = source->DataSet()->FieldList(masterLink_.FieldNames());
    RefreshIndexDefinitions();
    const TIndexDef* index = nullptr;
    if (!IndexName().empty()) {
        index = indexDefs_.Find(IndexName());
    } else if (!IndexFieldNames().empty()) {
        index = &indexDefs_.FindIndexForFields(IndexFieldNames());
    } else {
        for (int i = 0; i < indexDefs_.Count() && !index; ++i)
            if (indexDefs_.Items(i).Options() & ixPrimary) index = &indexDefs_.Items(i);
    }
    if (index) detailFields = FieldList(index->Fields());
}

void TQnTable::DispatchDataEvent(TDataEvent event, intptr_t info) {
    if (event == dePropertyChange) indexDefs_.SetUpdated(false);
    TQnDBDataset::DispatchDataEvent(event, info);
}

// ---------------------------------------------------------------- lookup cursor

TBaseTable* TQnTable::LookupCursorForFields(const AnsiString& fields, bool caseInsensitive) {
    if (lookupAsked_ && fields == lookupFields_ && caseInsensitive == lookupCaseInsensitive_) return lookupCursor_;
    ReleaseLookupCursor();
    const auto rangeSet = [this](TKeyIndex index) { char* key = KeyBuffer(index); return key && key[0] != 0; };
    if (rangeSet(kiCurRangeStart) || rangeSet(kiCurRangeEnd)) return nullptr;
    AnsiString indexText;
    bool fieldsFlag = false;
    if (!Database() || !Database()->PseudoIndexes()) {
        if (!indexDefs_.Updated()) RefreshIndexDefinitions();
        if (const TIndexDef* index = indexDefs_.GetIndexForFields(fields, caseInsensitive)) indexText = index->Name();
    } else if (!caseInsensitive) {
        indexText = fields;
        fieldsFlag = true;
    }
    lookupFields_ = fields;
    lookupCaseInsensitive_ = caseInsensitive;
    lookupAsked_ = true;
    if (indexText.empty() || fields.size() >= kMaxIndexName) return nullptr;
    TBaseTable* clone = nullptr;
    Check(Engine().CloneCursor(Cursor(), true, false, clone));
    lookupCursor_ = clone;
    try {
        AnsiString tag;
        const AnsiString name = GetIndexParams(indexText, fieldsFlag, tag);
        Check(Engine().SwitchToIndex(lookupCursor_, name.c_str(), tag.c_str(), 0, false));
    } catch (...) {
        // A clone left on another index would answer the next search by the wrong key.
        ReleaseLookupCursor();
        throw;
    }
    return lookupCursor_;
}

void TQnTable::ReleaseLookupCursor() {
    lookupAsked_ = false;
    if (!lookupCursor_) return;
    TBaseTable* closing = lookupCursor_;
    lookupCursor_ = nullptr;
    lookupFields_.clear();
    if (EngineInstance()) Engine().CloseCursor(closing);
}

}  // namespace btrieve
