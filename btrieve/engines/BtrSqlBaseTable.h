// Result cursors of relational statements: they move, read and write rows of an engine
// cursor through the record buffer (a 16-bit data length, the columns in describe
// order, 4 spare bytes), give bookmarks and describe their columns as fields.
// TBtrSqlAggTable serves statements whose rows have no engine positions: its bookmark
// is the row's number, found again by reading from the start.
#pragma once

#include "btrieve/engines/BtrBaseTable.h"
#include "btrieve/engines/RelationalApi.h"

namespace btrieve {

class TBtrSqlBaseTable : public TBtrBaseTable {
public:
    TBtrSqlBaseTable(TBapiListItem* statement, int16_t sessionId, const uint8_t* clientId, int16_t cursorId,
                     TQuillonCollection* collection);

    // Property 0 is a byte the dataset layer sets (the update mode), property 1 the
    // engine's cursor id, which cannot be set.
    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;
    void CheckPropWritable(uint32_t id, bool raise) override;
    uint16_t GetBookmarkSize() const override;
    void PhysFirst() override { Fetch(FetchFirst); }
    void PhysLast() override { Fetch(FetchLast); }
    void PhysNext() override { Fetch(FetchNext); }
    void PhysPrior() override { Fetch(FetchPrior); }
    void PutFieldValue(TFieldCacheItem& item, const void* value) override;
    // Executes the statement and describes its columns.
    void OpenCursor() override;
    void GetFieldDesc(uint16_t fieldNumber, uint16_t& localSize, uint16_t& localType, TEngineFieldDesc& desc) override;
    void GetBookMark(void* bookmark) override;
    void SetToBookMark(const void* bookmark) override;
    void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) override;
    void CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) override;
    const void* BookmarkToKey(const void* bookmark) override { return bookmark; }
    void InsertRecord(int lock, uint8_t* record) override;
    void ModifyRecord(uint8_t* record, bool releaseLock) override;
    void DeleteRecord(uint8_t* record) override;
    void ReadBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) override;
    void WriteBlock(uint32_t& count, uint8_t* buffer, size_t bufferSize) override;
    void GetCursorProps(TCursorProps& props) override;
    void ShortenRecord(uint8_t* record, TFieldCacheItem& item, uint32_t usedLength) override;

    // One read of the engine cursor into the current record buffer; -109 (no row) is the
    // beginning of the data for first and prior, else its end.
    void Fetch(uint16_t option);
    int16_t CursorId() const { return cursorId_; }
    uint16_t SessionId() const { return sessionId_; }
    // Describes the columns (once) and sets the record size from them.
    void DescribeColumns();

protected:
    void MakeCurrent() const;

private:
    uint16_t sessionId_;
    int16_t cursorId_;
    uint8_t property0_ = 0;
    bool described_ = false;
};

class TBtrSqlAggTable : public TBtrSqlBaseTable {
public:
    using TBtrSqlBaseTable::TBtrSqlBaseTable;

    uint16_t GetBookmarkSize() const override { return sizeof(int32_t); }
    void PhysFirst() override;
    void PhysLast() override;
    void PhysNext() override;
    void PhysPrior() override;
    void GetBookMark(void* bookmark) override;
    void SetToBookMark(const void* bookmark) override;
    void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) override;
    void CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) override;

    int32_t RowNumber() const { return row_; }

private:
    int32_t row_ = 0;
};

}  // namespace btrieve
