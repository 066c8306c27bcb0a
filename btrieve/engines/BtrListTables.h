// The list cursors over the dictionary: TBtrTblListTable (tables of FILE.DDF),
// TBtrFieldListTable (the fields of one table from FIELD.DDF) and TResFieldListTable
// (the fields of a table-definition resource). The database opens them
// to find tables and read field definitions, and hands them out as table and field lists.
#pragma once

#include "btrieve/engines/BtrTable.h"

namespace btrieve {

class TBaseDatabase;
class TBtrDatabase;

// What a table list delivers per table.
constexpr uint16_t kTableListRecordSize = 574;
constexpr uint16_t kTableListExtendedSize = 626;

class TBtrTblListTable : public TBtrTable {
public:
    TBtrTblListTable(TBtrDatabase* database, const uint8_t* clientId, bool extended, bool systemTables,
                     TQuillonCollection* collection);

    // The next raw FILE.DDF record of the list (97 bytes).
    virtual void ReadDictRecord(int lock, uint8_t* record);
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;
    uint16_t GetRecordSize() const override { return extended_ ? kTableListExtendedSize : kTableListRecordSize; }
    uint16_t GetRecBufSize() override { return GetRecordSize(); }

private:
    bool extended_;
    bool systemTables_;
    std::vector<uint8_t> staging_;
};

class TBtrFieldListTable : public TBtrTable {
public:
    TBtrFieldListTable(TBtrDatabase* database, const uint8_t* clientId, TQuillonCollection* collection);

    void SetDictRecord(const uint8_t* record);
    // The next raw FIELD.DDF record of the table (32 bytes); the end of its records is the end.
    virtual void ReadDictRecord(int lock, uint8_t* record);
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;
    void CheckPartialKey(int, uint16_t, const uint8_t*, const uint8_t*, uint16_t) override {}
    uint16_t GetRecordSize() const override { return sizeof(TEngineFieldDesc); }
    uint16_t GetRecBufSize() override { return GetRecordSize(); }
    void GetRecordCount(uint32_t& count) override;

private:
    uint16_t delivered_ = 0;
    uint8_t dictRecord_[kFileDdfRecordSize] = {};
    std::vector<uint8_t> scratch_;
};

// The fields of a table-definition resource, for a table name with ";RES:".
class TResFieldListTable : public TReadOnlyTable {
public:
    TResFieldListTable(TBaseDatabase* database, const char* tableName, TQuillonCollection* collection);

    void OpenCursor() override;
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;
    uint16_t GetRecordSize() const override { return sizeof(TEngineFieldDesc); }
    void GetRecordCount(uint32_t& count) override { count = static_cast<uint32_t>(FieldCache().Count()); }

private:
    int next_ = 0;
};

}  // namespace btrieve
