#include "oracle/oci/RefData.h"

#include <cstring>
#include <memory>

#include "oracle/core/Assertion.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraObject.h"

namespace oracle {

namespace {

uint8_t* Slot(void* record, const TFieldDesc& field) { return static_cast<uint8_t*>(record) + field.Offset; }
const uint8_t* Slot(const void* record, const TFieldDesc& field) {
    return static_cast<const uint8_t*>(record) + field.Offset;
}

TOraObject* LoadObject(const uint8_t* slot) {
    TOraObject* object;
    std::memcpy(&object, slot, sizeof object);
    return object;
}

void StoreObject(uint8_t* slot, TOraObject* object) { std::memcpy(slot, &object, sizeof object); }

bool IsObjectSlot(const TFieldDesc& field) {
    return !field.ParentField && (field.DataType == dtObject || field.DataType == dtReference);
}

}  // namespace

void CreateObjectSlots(const TFieldDescs& fields, void* record, OCISvcCtx* svcCtx) {
    for (int i = 0; i < fields.Count(); ++i) {
        const TFieldDesc& field = *fields.Items(i);
        if (!IsObjectSlot(field)) continue;
        auto* type = dynamic_cast<TOraType*>(field.ObjectType());
        TOraObject* object = field.DataType == dtReference ? NewShared<TOraRef>(type) : NewShared<TOraObject>(type);
        object->SetSvcCtx(svcCtx);
        StoreObject(Slot(record, field), object);
    }
}

void FreeObjectSlots(const TFieldDescs& fields, void* record) {
    for (int i = 0; i < fields.Count(); ++i) {
        const TFieldDesc& field = *fields.Items(i);
        if (!IsObjectSlot(field)) continue;
        ReleaseObject(LoadObject(Slot(record, field)));
        StoreObject(Slot(record, field), nullptr);
    }
}

void CopyObjectSlots(const TFieldDescs& fields, const void* source, void* dest) {
    for (int i = 0; i < fields.Count(); ++i) {
        const TFieldDesc& field = *fields.Items(i);
        if (!IsObjectSlot(field)) continue;
        TOraObject* from = LoadObject(Slot(source, field));
        TOraObject* to = LoadObject(Slot(dest, field));
        if (from && to && from != to) to->AssignObject(from);
    }
}

TRefData::~TRefData() {
    try {
        Close();
    } catch (...) {
        // Closing frees only memory; nothing to report from a destructor.
    }
    ReleaseObject(ref_);
}

void TRefData::SetRef(TOraRef* ref) {
    if (ref == ref_) return;
    ReleaseObject(ref_);
    ref_ = ref;
    if (ref_) ref_->AddRef();
}

bool TRefData::HasObject() const { return ref_ && !ref_->IsNull(); }

void TRefData::InternalPrepare() {
    if (!ref_) throw platform::Exception("Reference is not defined");
    TData::InternalPrepare();
}

void TRefData::InternalOpen() {
    TData::InternalOpen();
    eof_ = false;
}

void TRefData::InternalInitFields() {
    if (!ref_ || !ref_->Type()) return;
    TOraType* type = ref_->Type();
    auto desc = std::make_unique<TFieldDesc>();
    desc->Name = "REF";
    desc->ActualName = "REF";
    desc->DataType = type->DataType;
    desc->Size = ReferenceSlotSize;
    desc->SetObjectType(type);
    desc->FieldNo = 1;
    desc->HiddenObject = true;
    TFieldDesc* added = Fields().Add(std::move(desc));
    InitObjectFields(type, added);
}

void TRefData::Reopen() {
    FreeData();
    InitData();
    InternalOpen();
}

void TRefData::GetRecord(void* dest) {
    if (bof_ || eof_ || !HasObject() || !dest || FieldCount() == 0) return;
    const TFieldDesc& field = FieldAt(1);
    StoreObject(Slot(dest, field), ref_);
    static_cast<uint8_t*>(dest)[DataSize()] = 0;  // field 1 holds a value
}

void TRefData::GetNextRecord(void* dest) {
    if (eof_) return;
    if (bof_ && HasObject()) {
        bof_ = false;
        GetRecord(dest);
    } else {
        bof_ = false;
        eof_ = true;
    }
}

void TRefData::GetPriorRecord(void* dest) {
    if (bof_) return;
    if (eof_ && HasObject()) {
        eof_ = false;
        GetRecord(dest);
    } else {
        eof_ = false;
        bof_ = true;
    }
}

void TRefData::PutRecord(const void* source) {
    if (bof_ || eof_ || !HasObject()) return;
    Check(LoadObject(Slot(source, FieldAt(1))) == ref_, UnitOraObjects);
}

void TRefData::UpdateRecord(const void* source) {
    PutRecord(source);
    if (!HasObject()) return;
    ref_->CheckAllocated(true);
    // Marked for update, never for delete: the flush writes the edited object back.
    CheckStatus(Oci.OCIObjectMarkUpdate(OciClient().Environment, OciClient().ErrorHandle, ref_->Instance()));
    ref_->Flush();
}

void TRefData::CreateComplexFields(void* record, bool withBlobs) {
    TData::CreateComplexFields(record, withBlobs);
    CreateObjectSlots(Fields(), record, ref_ ? ref_->SvcCtx() : nullptr);
}

void TRefData::FreeComplexFields(void* record, bool withBlobs) {
    TData::FreeComplexFields(record, withBlobs);
    FreeObjectSlots(Fields(), record);
}

void TRefData::CopyComplexFields(const void* source, void* dest, bool withBlobs) {
    TData::CopyComplexFields(source, dest, withBlobs);
    CopyObjectSlots(Fields(), source, dest);
}

void TRefData::SetToBookmark(const TBookmark&) {
    bof_ = false;
    eof_ = false;
}

}  // namespace oracle
