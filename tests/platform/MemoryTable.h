// A small dataset over rows kept in memory, built on TDataSet the way the libraries
// build theirs: it fills the storage operations and nothing else. The dataset tests
// drive the framework through it.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/DataSet.h"
#include "platform/Streams.h"

namespace testing_support {

using namespace platform;

struct Column {
    AnsiString name;
    TFieldType type;
    int size = 0;
    bool required = false;
};

class TMemoryTable : public TDataSet {
public:
    explicit TMemoryTable(TComponent* owner, std::vector<Column> columns = {})
        : TDataSet(owner), columns_(std::move(columns)) {}
    ~TMemoryTable() override { CloseBeforeDestruction(); }

    void SetColumns(std::vector<Column> columns) { columns_ = std::move(columns); }

    // Rows as the storage keeps them; each value a variant (Null for none).
    void AddRow(const std::vector<Variant>& values) { seed_.push_back(values); }
    int StoredCount() const { return static_cast<int>(rows_.size()); }
    // Value of column `column` of stored row `row`, read through a scratch buffer.
    Variant Stored(int row, const AnsiString& column);
    int storageEdits = 0;
    bool readOnly = false;

protected:
    // ---- storage ----
    void StorageOpen() override;
    void StorageClose() override;
    bool StorageIsOpen() override { return open_; }
    void StorageLoadFieldDefs() override;
    void StorageHandleError(const std::exception&) override { ++handledErrors; }

    TGetResult FetchRecord(char* buffer, TGetMode mode, bool check) override;
    int RecordBufferSize() override { return recordSize_; }
    char* NewRecordBuffer() override;
    void DisposeRecordBuffer(char*& buffer) override;
    void StorageInitRecord(char* buffer) override;

    void ReadBookmarkData(const char* buffer, TBookmark& bookmark) override;
    void WriteBookmarkData(char* buffer, const TBookmark& bookmark) override;
    TBookmarkFlag ReadBookmarkFlag(const char* buffer) override;
    void WriteBookmarkFlag(char* buffer, TBookmarkFlag flag) override;

    void StorageToStart() override { position_ = -1; }
    void StorageToEnd() override { position_ = static_cast<int>(rows_.size()); }
    void StorageToBookmark(const TBookmark& bookmark) override;
    void StorageToRecord(char* buffer) override;
    void StorageEdit() override { ++storageEdits; }
    void StoragePost() override;
    void StorageAddRecord(char* buffer, bool append) override;
    void StorageDelete() override;

    bool ReadFieldData(TField* field, void* dest) override;
    bool ReadFieldDataByNumber(int fieldNo, void* dest) override;
    void StoreFieldData(TField* field, const void* value) override;
    std::unique_ptr<TStream> OpenBlobStream(TField* field, TBlobStreamMode mode) override;
    void ReleaseBlobField(TField* field) override { releasedBlobs.push_back(field->FieldName()); }

public:
    int CountRecords() override { return static_cast<int>(rows_.size()); }
    bool IsBookmarkValid(const TBookmark& bookmark) override;
    int OrderBookmarks(const TBookmark& a, const TBookmark& b) override;
    bool IsModifiable() override { return !readOnly; }
    // One key field, exact match, over the stored rows.
    Variant LookupValues(const AnsiString& keyFields, const Variant& keyValues,
                         const AnsiString& resultFields) override;
    int handledErrors = 0;
    // Names of the blob fields whose values the framework let go (ReleaseBlobField).
    std::vector<AnsiString> releasedBlobs;
    // Blob bytes by slot id; a record holds the id (0 = none).
    std::map<int32_t, std::string> blobs;
    int32_t NewBlob(std::string bytes) {
        blobs[++lastBlob_] = std::move(bytes);
        return lastBlob_;
    }

private:
    struct Row {
        int32_t id;
        std::vector<char> data;
    };
    class BlobStream;

    // Per column: null byte, then the value (blob columns: an int32 blob id).
    int ColumnOffset(int fieldNo) const { return offsets_[static_cast<size_t>(fieldNo - 1)]; }
    int ColumnWidth(int fieldNo) const;
    char* BufferForState();
    bool Accepts(char* buffer);
    int IndexOfId(int32_t id) const;
    void WriteVariant(char* record, int fieldNo, const Variant& value);

    std::vector<Column> columns_;
    std::vector<std::vector<Variant>> seed_;
    std::vector<Row> rows_;
    std::vector<int> offsets_;
    int recordSize_ = 0;
    int infoOffset_ = 0;
    int position_ = -1;
    int32_t lastId_ = 0;
    int32_t lastBlob_ = 0;
    bool open_ = false;
    char* filterBuffer_ = nullptr;
    std::vector<char> oldBuffer_;
};

}  // namespace testing_support
