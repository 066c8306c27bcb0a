// TTableData: a record store that shows the elements of a VARRAY or nested table as
// records, one per element, read from the collection on demand; edits are written back
// into the collection, inserts append to it and deletes remove from it. The nested
// dataset creates one for a collection field and hands it the collection value.
#pragma once

#include <cstdint>

#include "oracle/core/MemData.h"

namespace oracle {

class TOraArray;
class TOraObject;

class TTableData : public TMemData {
public:
    TTableData() = default;
    ~TTableData() override;

    TOraArray* Table() const { return table_; }
    // Keeps a counted reference to the collection.
    void SetTable(TOraArray* table);

    void Reopen() override;
    void InitFields() override;
    TDataTypeSet GetComplexTypes() const override { return {dtObject, dtReference}; }
    void GetRecord(void* dest) override;
    void GetNextRecord(void* dest) override;
    // Backwards too the record is read from the element, not from the item.
    void GetPriorRecord(void* dest) override;
    void PutRecord(const void* source) override;
    // Edits and inserts write the element's value into the collection.
    void UpdateRecord(const void* source) override;
    void InsertRecord(const void* source) override;
    void CancelRecord(void* record) override;
    void CreateComplexFields(void* record, bool withBlobs) override;
    void FreeComplexFields(void* record, bool withBlobs) override;
    void CopyComplexFields(const void* source, void* dest, bool withBlobs) override;
    // Reads the next existing element as a new record; false when there is none.
    bool Fetch() override;
    // Elements are read on demand: before the first read the start is not the end, and
    // the end is reached only after the last element has been read.
    void SetToBegin() override;
    void SetToEnd() override;

protected:
    void InternalPrepare() override {}
    void InternalOpen() override;
    void InternalInitFields() override;
    void DoInsertRecord() override;
    void DoDeleteRecord() override;
    void DoUpdateRecord() override {}

private:
    // What an item keeps: the element's object (object elements) and its index.
    struct TElementItem {
        TOraObject* Object;
        int32_t Index;
    };
    static TElementItem& ItemOf(PItemHeader item);
    // The value of field 1 of the record into the item's element.
    void WriteElement(PItemHeader item, const void* source);
    TDataType ElementType() const;

    TOraArray* table_ = nullptr;
    int32_t currentIndex_ = -1;
    int32_t insertedIndex_ = -1;
    const void* insertSource_ = nullptr;
};

}  // namespace oracle
