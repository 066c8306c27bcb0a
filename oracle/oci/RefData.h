// TRefData: a record store that shows the object a REF points to as its one record (a
// hidden object field "REF" followed by the object type's attributes). The nested
// dataset creates one for a REF field and hands it the REF value.
#pragma once

#include "oracle/core/Data.h"
#include "oracle/oci/OciApi.h"

namespace oracle {

class TOraRef;

// Object slots (codes 14 and 15) of the top-level fields of a record, shared by the REF
// and collection stores: new values for the service context, released, or taken over
// from another record's values.
void CreateObjectSlots(const TFieldDescs& fields, void* record, oci::OCISvcCtx* svcCtx);
void FreeObjectSlots(const TFieldDescs& fields, void* record);
void CopyObjectSlots(const TFieldDescs& fields, const void* source, void* dest);

class TRefData : public TData {
public:
    TRefData() = default;
    ~TRefData() override;

    TOraRef* Ref() const { return ref_; }
    // Keeps a counted reference to the REF.
    void SetRef(TOraRef* ref);

    void Reopen() override;
    TDataTypeSet GetComplexTypes() const override { return {dtObject, dtReference}; }
    void GetRecord(void* dest) override;
    void GetNextRecord(void* dest) override;
    void GetPriorRecord(void* dest) override;
    void PutRecord(const void* source) override;
    void AppendRecord(const void*) override {}
    void InsertRecord(const void*) override {}
    void DeleteRecord() override {}
    // Writes the edited object back to the server.
    void UpdateRecord(const void* source) override;
    void CreateComplexFields(void* record, bool withBlobs) override;
    void FreeComplexFields(void* record, bool withBlobs) override;
    void CopyComplexFields(const void* source, void* dest, bool withBlobs) override;
    void GetBookmark(TBookmark&) override {}
    void SetToBookmark(const TBookmark& bookmark) override;

protected:
    void InternalPrepare() override;
    void InternalOpen() override;
    void InternalInitFields() override;

private:
    bool HasObject() const;

    TOraRef* ref_ = nullptr;
};

}  // namespace oracle
