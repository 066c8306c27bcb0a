// TMemTable: a cursor over records held in memory. It serves plain in-memory tables
// built from field descriptors (a database's memory tables, a session's
// configuration rows) and the change cache of a delayed-update cursor, whose
// records are keyed by the bookmarks of the cursor it wraps.
#pragma once

#include <vector>

#include "btrieve/base/BaseTable.h"

namespace btrieve {

class TMemTable;

// One record of a memory table: its image, its key and its update status.
class TMemTableRecord : public TBapiListItem {
public:
    // The key is copied when given; else a record joining a collection gets the
    // number count + 1 in its first four bytes, any other record 1.
    // With insertAt >= 0 the record is put at that place instead of by key.
    TMemTableRecord(TMemTable* table, const uint8_t* image, const void* key, TQuillonCollection* collection,
                    int insertAt = -1);

    TRecordProps Props{};
    std::vector<uint8_t> Image;
    std::vector<uint8_t> Key;
    bool Applied = false;

    uint8_t UpdateStatus() const { return static_cast<uint8_t>(Props.recordStatus & 0xFF); }
    void SetUpdateStatus(uint8_t status) { Props.recordStatus = status; }
};

// Records ordered by key, compared as the memory table compares bookmarks.
class TCacheCollection : public TSortedCollection {
public:
    explicit TCacheCollection(TMemTable& table) : table_(table) {}
    const void* KeyOf(TBapiListItem* item) const override;
    int Compare(const void* key1, const void* key2) const override;

private:
    TMemTable& table_;
};

namespace updstatus {
constexpr uint8_t Unmodified = 0, Modified = 1, Inserted = 2, Deleted = 3;
}

class TMemTable : public TBaseTable {
public:
    // The descriptors are completed in place: lengths by type where 0, offsets one
    // field after the other.
    TMemTable(TBapiListItem* owner, TBaseTable* baseCursor, TEngineFieldDesc* descs, uint16_t bookmarkSize,
              uint16_t fieldCount, const char* tableName, TQuillonCollection* collection);
    ~TMemTable() override;

    static uint16_t FieldLengthForType(const TEngineFieldDesc& desc);

    TCacheCollection& Records() { return records_; }
    TMemTableRecord* Current() const { return current_; }
    int Position() const { return position_; }
    TBaseTable* BaseCursor() const { return baseCursor_; }
    // Bytes of a record image: the record length, or for a cache the record buffer
    // size of the cursor whose changes it keeps.
    size_t ImageLength() const { return imageLength_; }

    uint16_t GetRecordSize() const override { return recordLength_; }
    uint16_t GetBookmarkSize() const override { return bookmarkSize_ ? bookmarkSize_ : 4; }
    void GetFieldDesc(uint16_t fieldNumber, uint16_t& localSize, uint16_t& localType, TEngineFieldDesc& desc) override;
    void PhysFirst() override;
    void PhysLast() override;
    void PhysNext() override;
    void PhysPrior() override;
    void FieldToLogical(uint16_t localType, uint16_t localSize, bool& blank, void* value, const uint8_t* fieldData,
                        uint16_t fieldLength, int16_t units) override;
    void FieldToPhysical(uint16_t localType, uint16_t localSize, uint8_t* fieldData, const void* value,
                         uint16_t fieldLength, int16_t units) override;
    void GetBookMark(void* bookmark) override;
    void SetToBookMark(const void* bookmark) override;
    void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) override;
    void CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) override;
    void FillRecProps(TRecordProps* props) override;
    void GetRecord(int lock, uint8_t* record, TRecordProps* props) override;
    void InsertRecord(int lock, uint8_t* record) override { AddRecord(record); }
    void AppendRecord(uint8_t* record) override { AddWithKey(record, nullptr); }
    void ModifyRecord(uint8_t* record, bool releaseLock) override { ModifyWithKey(record, nullptr); }
    void DeleteRecord(uint8_t* record) override;
    void GetSeqNo(uint32_t& number) override;
    void SetToSeqNo(uint32_t number) override;
    void GetRecordCount(uint32_t& count) override { count = static_cast<uint32_t>(records_.Count()); }
    void EmptyTable() override;

    bool StatusVisible(uint8_t mask, bool hasRecord) const;
    void AddRecord(const uint8_t* record);
    void AddWithKey(const uint8_t* image, const void* key);
    void ModifyWithKey(const uint8_t* image, const void* key);
    void DeleteWithKey(const uint8_t* image, const void* key);
    // Writes the cached changes to the base cursor; see the source for the rules.
    void ApplyToBase();
    void ClearAll();
    // True when some cached change has not been written to the base cursor.
    bool HasUnappliedChanges() const;

private:
    TMemTableRecord* RecordAt(int position) const;
    void MoveTo(int position);
    void FindOrAdd(const uint8_t* image, const void* key);
    // A key of a plain memory table that no record holds yet.
    std::vector<uint8_t> FreeKey() const;

    TCacheCollection records_;
    int position_ = 0;
    // After a delete the next record has moved into position_: a next move reads it
    // there instead of stepping over it.
    bool successorAtPosition_ = false;
    TMemTableRecord* current_ = nullptr;
    uint16_t bookmarkSize_;
    TBaseTable* baseCursor_;
    uint16_t recordLength_ = 0;
    size_t imageLength_ = 0;
};

}  // namespace btrieve
