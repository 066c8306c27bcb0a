#include "MemoryTable.h"

#include <algorithm>
#include <cstdlib>

#include "platform/DateTime.h"

namespace testing_support {

class TMemoryTable::BlobStream : public TMemoryStream {
public:
    BlobStream(TMemoryTable& table, TField& field, char* slot, bool keepContent)
        : table_(table), field_(field), slot_(slot) {
        int32_t id = 0;
        std::memcpy(&id, slot_ + 1, 4);
        if (keepContent && slot_[0] && table_.blobs.count(id)) {
            const std::string& bytes = table_.blobs[id];
            if (!bytes.empty()) TMemoryStream::StreamWrite(bytes.data(), static_cast<int32_t>(bytes.size()));
            SetPosition(0);
        }
        if (!keepContent) modified_ = true;
    }
    ~BlobStream() override {
        if (!modified_) return;
        std::string bytes(static_cast<const TCustomMemoryStream*>(this)->Memory(), static_cast<size_t>(DataSize()));
        int32_t id = table_.NewBlob(bytes);
        slot_[0] = 1;
        std::memcpy(slot_ + 1, &id, 4);
        field_.SetModified(true);
        try {
            table_.DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field_));
        } catch (const std::exception& e) {
            table_.StorageHandleError(e);
        }
    }
    int32_t StreamWrite(const void* buffer, int32_t count) override {
        modified_ = true;
        return TMemoryStream::StreamWrite(buffer, count);
    }

private:
    TMemoryTable& table_;
    TField& field_;
    char* slot_;
    bool modified_ = false;
};

int TMemoryTable::ColumnWidth(int fieldNo) const {
    const Column& c = columns_[static_cast<size_t>(fieldNo - 1)];
    switch (c.type) {
    case ftString: case ftFixedChar: return c.size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftLargeint: case ftFloat: case ftCurrency: case ftDateTime: return 8;
    case ftBytes: return c.size;
    case ftVarBytes: return c.size + 2;
    default: return 4;  // blobs: the blob id
    }
}

void TMemoryTable::StorageLoadFieldDefs() {
    FieldDefs().BeginUpdate();
    FieldDefs().Clear();
    for (const Column& c : columns_) FieldDefs().Add(c.name, c.type, c.size, c.required);
    FieldDefs().EndUpdate();
}

void TMemoryTable::StorageOpen() {
    StorageLoadFieldDefs();
    offsets_.clear();
    recordSize_ = 0;
    for (size_t i = 0; i < columns_.size(); ++i) {
        offsets_.push_back(recordSize_);
        recordSize_ += 1 + ColumnWidth(static_cast<int>(i + 1));
    }
    if (DefaultFields()) BuildDefaultFields();
    BindFields(true);
    infoOffset_ = recordSize_ + CalcFieldsSize();
    SetBookmarkSize(4);
    oldBuffer_.assign(static_cast<size_t>(infoOffset_ + 5), 0);
    for (const auto& values : seed_) {
        Row row{++lastId_, std::vector<char>(static_cast<size_t>(recordSize_), 0)};
        for (size_t i = 0; i < values.size(); ++i) WriteVariant(row.data.data(), static_cast<int>(i + 1), values[i]);
        rows_.push_back(std::move(row));
    }
    seed_.clear();
    position_ = -1;
    open_ = true;
}

void TMemoryTable::StorageClose() {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    open_ = false;
}

void TMemoryTable::WriteVariant(char* record, int fieldNo, const Variant& value) {
    char* at = record + ColumnOffset(fieldNo);
    if (value.IsClear()) return;
    at[0] = 1;
    char* v = at + 1;
    const Column& c = columns_[static_cast<size_t>(fieldNo - 1)];
    switch (c.type) {
    case ftString: case ftFixedChar: {
        AnsiString s = value.AsString();
        std::memcpy(v, s.data(), std::min(s.size(), static_cast<size_t>(c.size)));
        break;
    }
    case ftSmallint: { int16_t x = static_cast<int16_t>(value.AsInteger()); std::memcpy(v, &x, 2); break; }
    case ftWord: { uint16_t x = static_cast<uint16_t>(value.AsInteger()); std::memcpy(v, &x, 2); break; }
    case ftBoolean: { int16_t x = value.AsBoolean() ? -1 : 0; std::memcpy(v, &x, 2); break; }
    case ftInteger: case ftAutoInc: { int32_t x = value.AsInteger(); std::memcpy(v, &x, 4); break; }
    case ftLargeint: { int64_t x = value.AsInt64(); std::memcpy(v, &x, 8); break; }
    case ftFloat: case ftCurrency: { double x = value.AsDouble(); std::memcpy(v, &x, 8); break; }
    case ftDate: { int32_t x = DateTimeToTimeStamp(value.AsDateTime()).Date; std::memcpy(v, &x, 4); break; }
    case ftTime: { int32_t x = DateTimeToTimeStamp(value.AsDateTime()).Time; std::memcpy(v, &x, 4); break; }
    case ftDateTime: { double x = TimeStampToMSecs(DateTimeToTimeStamp(value.AsDateTime())); std::memcpy(v, &x, 8); break; }
    default: { int32_t id = NewBlob(value.AsString()); std::memcpy(v, &id, 4); break; }
    }
}

Variant TMemoryTable::Stored(int row, const AnsiString& column) {
    int fieldNo = 0;
    for (size_t i = 0; i < columns_.size(); ++i)
        if (AnsiSameText(columns_[i].name, column)) fieldNo = static_cast<int>(i + 1);
    const char* at = rows_.at(static_cast<size_t>(row)).data.data() + ColumnOffset(fieldNo);
    if (!at[0]) return Variant::Null();
    const char* v = at + 1;
    const Column& c = columns_[static_cast<size_t>(fieldNo - 1)];
    switch (c.type) {
    case ftString: case ftFixedChar: return Variant(AnsiString(v, strnlen(v, static_cast<size_t>(c.size))));
    case ftSmallint: case ftBoolean: { int16_t x; std::memcpy(&x, v, 2); return Variant(static_cast<int32_t>(x)); }
    case ftWord: { uint16_t x; std::memcpy(&x, v, 2); return Variant(static_cast<int32_t>(x)); }
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: { int32_t x; std::memcpy(&x, v, 4); return Variant(x); }
    case ftLargeint: { int64_t x; std::memcpy(&x, v, 8); return Variant(x); }
    case ftFloat: case ftCurrency: case ftDateTime: { double x; std::memcpy(&x, v, 8); return Variant(x); }
    default: { int32_t id; std::memcpy(&id, v, 4); return Variant(AnsiString(blobs[id])); }
    }
}

Variant TMemoryTable::LookupValues(const AnsiString& keyFields, const Variant& keyValues,
                                   const AnsiString& resultFields) {
    for (int i = 0; i < StoredCount(); ++i)
        if (Stored(i, keyFields) == keyValues) return Stored(i, resultFields);
    return Variant::Null();
}

char* TMemoryTable::NewRecordBuffer() {
    return static_cast<char*>(std::calloc(static_cast<size_t>(infoOffset_ + 5), 1));
}

void TMemoryTable::DisposeRecordBuffer(char*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

void TMemoryTable::StorageInitRecord(char* buffer) { std::memset(buffer, 0, static_cast<size_t>(recordSize_)); }

void TMemoryTable::ReadBookmarkData(const char* buffer, TBookmark& bookmark) {
    bookmark.assign(buffer + infoOffset_ + 1, 4);
}

void TMemoryTable::WriteBookmarkData(char* buffer, const TBookmark& bookmark) {
    if (bookmark.size() == 4) std::memcpy(buffer + infoOffset_ + 1, bookmark.data(), 4);
}

TBookmarkFlag TMemoryTable::ReadBookmarkFlag(const char* buffer) {
    return static_cast<TBookmarkFlag>(buffer[infoOffset_]);
}

void TMemoryTable::WriteBookmarkFlag(char* buffer, TBookmarkFlag flag) {
    buffer[infoOffset_] = static_cast<char>(flag);
}

int TMemoryTable::IndexOfId(int32_t id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
}

void TMemoryTable::StorageToBookmark(const TBookmark& bookmark) {
    int32_t id = 0;
    std::memcpy(&id, bookmark.data(), std::min<size_t>(4, bookmark.size()));
    int index = IndexOfId(id);
    if (index < 0) DatabaseError("Record not found");
    position_ = index;
}

void TMemoryTable::StorageToRecord(char* buffer) {
    TBookmark bookmark;
    ReadBookmarkData(buffer, bookmark);
    StorageToBookmark(bookmark);
}

bool TMemoryTable::IsBookmarkValid(const TBookmark& bookmark) {
    if (bookmark.size() != 4) return false;
    int32_t id;
    std::memcpy(&id, bookmark.data(), 4);
    return IndexOfId(id) >= 0;
}

int TMemoryTable::OrderBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() || b.empty()) return TDataSet::OrderBookmarks(a, b);
    int32_t x, y;
    std::memcpy(&x, a.data(), 4);
    std::memcpy(&y, b.data(), 4);
    int i = IndexOfId(x), j = IndexOfId(y);
    return i < j ? -1 : i > j ? 1 : 0;
}

bool TMemoryTable::Accepts(char* buffer) {
    if (!Filtered() || !OnFilterRecord()) return true;
    TDataSetState previous = SetTempState(dsFilter);
    filterBuffer_ = buffer;
    bool accept = true;
    try {
        OnFilterRecord()(*this, accept);
    } catch (const std::exception& e) {
        StorageHandleError(e);
    }
    RestoreState(previous);
    return accept;
}

TGetResult TMemoryTable::FetchRecord(char* buffer, TGetMode mode, bool) {
    int count = static_cast<int>(rows_.size());
    for (;;) {
        if (mode == gmNext) {
            if (position_ < count) ++position_;
        } else if (mode == gmPrior) {
            if (position_ >= 0) --position_;
        }
        if (position_ >= count) return grEOF;
        if (position_ < 0) return grBOF;
        const Row& row = rows_[static_cast<size_t>(position_)];
        std::memcpy(buffer, row.data.data(), static_cast<size_t>(recordSize_));
        WriteBookmarkFlag(buffer, bfCurrent);
        std::memcpy(buffer + infoOffset_ + 1, &row.id, 4);
        if (Accepts(buffer)) break;
        if (mode == gmCurrent) return grError;
    }
    FillCalcFields(buffer);
    return grOK;
}

void TMemoryTable::StoragePost() {
    TDataSet::StoragePost();
    char* buffer = ActiveBuffer();
    std::vector<char> data(buffer, buffer + recordSize_);
    if (State() == dsEdit) {
        rows_.at(static_cast<size_t>(position_)).data = std::move(data);
        return;
    }
    int at = std::clamp(position_, 0, static_cast<int>(rows_.size()));
    rows_.insert(rows_.begin() + at, Row{++lastId_, std::move(data)});
    position_ = at;
}

void TMemoryTable::StorageAddRecord(char* buffer, bool append) {
    std::vector<char> data(buffer, buffer + recordSize_);
    int at = append ? static_cast<int>(rows_.size()) : std::clamp(position_, 0, static_cast<int>(rows_.size()));
    rows_.insert(rows_.begin() + at, Row{++lastId_, std::move(data)});
    position_ = at;
}

void TMemoryTable::StorageDelete() {
    if (position_ < 0 || position_ >= static_cast<int>(rows_.size())) DatabaseError("Record not found");
    rows_.erase(rows_.begin() + position_);
}

char* TMemoryTable::BufferForState() {
    switch (State()) {
    case dsBrowse:
    case dsBlockRead:
        return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
        return ActiveBuffer();
    case dsCalcFields:
        return CalcBuffer();
    case dsFilter:
        return filterBuffer_;
    case dsOldValue: {
        if (IsEmpty() || ReadBookmarkFlag(ActiveBuffer()) != bfCurrent) return nullptr;
        TBookmark bookmark;
        ReadBookmarkData(ActiveBuffer(), bookmark);
        int32_t id;
        std::memcpy(&id, bookmark.data(), 4);
        int index = IndexOfId(id);
        if (index < 0) return nullptr;
        std::memcpy(oldBuffer_.data(), rows_[static_cast<size_t>(index)].data.data(), static_cast<size_t>(recordSize_));
        return oldBuffer_.data();
    }
    default:
        return nullptr;
    }
}

bool TMemoryTable::ReadFieldDataByNumber(int fieldNo, void* dest) {
    char* buffer = BufferForState();
    if (!buffer || fieldNo < 1 || fieldNo > static_cast<int>(columns_.size())) return false;
    const char* at = buffer + ColumnOffset(fieldNo);
    if (!at[0]) return false;
    if (dest) std::memcpy(dest, at + 1, static_cast<size_t>(ColumnWidth(fieldNo)));
    return true;
}

bool TMemoryTable::ReadFieldData(TField* field, void* dest) {
    if (field->FieldNo() > 0) return ReadFieldDataByNumber(field->FieldNo(), dest);
    char* buffer = BufferForState();
    if (!buffer) return false;
    const char* slot = buffer + recordSize_ + field->Offset();
    if (!slot[0]) return false;
    if (dest) std::memcpy(dest, slot + 1, static_cast<size_t>(field->DataSize()));
    return true;
}

void TMemoryTable::StoreFieldData(TField* field, const void* value) {
    TDataSetState state = State();
    if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields && state != dsFilter &&
        state != dsNewValue && state != dsInternalCalc)
        DatabaseError("Dataset not in edit or insert mode");
    char* buffer = BufferForState();
    if (field->IsCalculated()) {
        char* slot = buffer + recordSize_ + field->Offset();
        slot[0] = value ? 1 : 0;
        if (value) std::memcpy(slot + 1, value, static_cast<size_t>(field->DataSize()));
    } else {
        if (state == dsCalcFields) DatabaseError("Dataset not in edit or insert mode");
        if (field->ReadOnly()) DatabaseError("Field '" + field->DisplayName() + "' cannot be modified");
        field->Validate(value);
        char* at = buffer + ColumnOffset(field->FieldNo());
        int width = ColumnWidth(field->FieldNo());
        at[0] = value ? 1 : 0;
        if (value)
            std::memcpy(at + 1, value, static_cast<size_t>(width));
        else
            std::memset(at + 1, 0, static_cast<size_t>(width));
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

std::unique_ptr<TStream> TMemoryTable::OpenBlobStream(TField* field, TBlobStreamMode mode) {
    char* buffer = BufferForState();
    if (mode != bmRead && State() != dsEdit && State() != dsInsert) DatabaseError("Dataset not in edit or insert mode");
    if (!buffer) return std::make_unique<TMemoryStream>();
    return std::make_unique<BlobStream>(*this, *field, buffer + ColumnOffset(field->FieldNo()), mode != bmWrite);
}

}  // namespace testing_support
