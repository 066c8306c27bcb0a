#include "oracle/oci/TableData.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "oracle/core/Assertion.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/RefData.h"

namespace oracle {

namespace {

TOraObject* LoadObject(const void* slot) {
    TOraObject* object;
    std::memcpy(&object, slot, sizeof object);
    return object;
}

}  // namespace

TTableData::~TTableData() {
    try {
        Close();
    } catch (...) {
        // Closing frees only memory; nothing to report from a destructor.
    }
    ReleaseObject(table_);
}

void TTableData::SetTable(TOraArray* table) {
    if (table == table_) return;
    ReleaseObject(table_);
    table_ = table;
    if (table_) table_->AddRef();
}

TTableData::TElementItem& TTableData::ItemOf(PItemHeader item) {
    return *reinterpret_cast<TElementItem*>(TBlockManager::ItemData(item));
}

TDataType TTableData::ElementType() const { return table_ ? table_->ElementType() : dtUnknown; }

void TTableData::InternalInitFields() {
    if (!table_ || !table_->Type() || table_->Type()->AttributeCount() == 0) return;
    TAttribute* element = table_->Type()->Attributes(0);
    auto desc = std::make_unique<TFieldDesc>();
    desc->Name = element->Name;
    desc->ActualName = element->Name;
    desc->FieldNo = 1;
    TFieldDesc* added = nullptr;
    if (element->DataType == dtObject) {
        auto* elementType = dynamic_cast<TOraType*>(element->ObjectType());
        desc->DataType = elementType ? elementType->DataType : dtObject;
        desc->SetObjectType(elementType);
        desc->HiddenObject = true;
        added = Fields().Add(std::move(desc));
        InitObjectFields(elementType, added);
    } else {
        desc->DataType = element->DataType;
        desc->Length = element->Length;
        desc->Scale = element->Scale;
        added = Fields().Add(std::move(desc));
    }
    switch (added->DataType) {
    case dtString: added->Size = static_cast<uint16_t>(added->Length + 1); break;
    case dtInteger: added->Size = 4; break;
    case dtFloat:
    case dtDateTime: added->Size = 8; break;
    default: added->Size = ReferenceSlotSize; break;
    }
}

void TTableData::InitFields() {
    TMemData::InitFields();
    // Items keep the element's object and index only; record buffers are never smaller,
    // because an insert copies an item's worth of bytes from the record.
    recordSize_ = std::max<int>(recordSize_, sizeof(TElementItem));
    BlockManager().SetRecordSize(sizeof(TElementItem));
}

void TTableData::InternalOpen() {
    TMemData::InternalOpen();
    eof_ = false;
    currentIndex_ = -1;
}

void TTableData::Reopen() {
    FreeData();
    InitData();
    InternalOpen();
}

bool TTableData::Fetch() {
    if (!table_ || !table_->Instance()) return false;
    const auto& client = OciClient();
    auto* collection = static_cast<OCITable*>(table_->Instance());
    sb4 next = 0;
    boolean exists = 0;
    CheckStatus(Oci.OCITableNext(client.Environment, client.ErrorHandle, currentIndex_, collection, &next, &exists));
    if (!exists) return false;
    PItemHeader item = BlockManager().AllocItem();
    ItemOf(item) = TElementItem{nullptr, next};
    if (ElementType() == dtObject) {
        void* element = nullptr;
        void* indicator = nullptr;
        boolean found = 0;
        CheckStatus(Oci.OCICollGetElem(client.Environment, client.ErrorHandle, collection, next, &found, &element,
                                       &indicator));
        CreateComplexFields(TBlockManager::ItemData(item), true);
        if (TOraObject* object = ItemOf(item).Object) {
            object->SetInstance(element);
            object->SetIndicator(indicator);
        }
    }
    AppendItem(item);
    ++recordCount_;
    currentIndex_ = next;
    return true;
}

void TTableData::SetToBegin() {
    TMemData::SetToBegin();
    if (!firstItem_ && Active()) eof_ = false;
}

void TTableData::SetToEnd() {
    while (Fetch()) {
    }
    TMemData::SetToEnd();
}

void TTableData::GetNextRecord(void* dest) {
    if (Eof()) return;
    PItemHeader item = nullptr;
    if (Bof()) {
        if (!firstItem_) Fetch();
        item = firstItem_;
    } else if (currentItem_) {
        if (!currentItem_->Next && currentItem_ == lastItem_) Fetch();
        item = currentItem_->Next;
    }
    if (!item) {
        currentItem_ = nullptr;
        bof_ = false;
        eof_ = true;
        return;
    }
    currentItem_ = item;
    bof_ = eof_ = false;
    GetRecord(dest);
}

void TTableData::GetPriorRecord(void* dest) {
    TMemData::GetPriorRecord(nullptr);
    GetRecord(dest);
}

void TTableData::GetRecord(void* dest) {
    if (Bof() || Eof() || !currentItem_ || !dest || FieldCount() == 0) return;
    const TFieldDesc& field = FieldAt(1);
    const int32_t index = ItemOf(currentItem_).Index;
    auto* record = static_cast<uint8_t*>(dest);
    uint8_t* slot = record + field.Offset;
    const TDataType type = ElementType();
    // A missing element (a hole of a nested table) reads as null.
    const bool isNull = !table_->ElementExists(index) ||
                        (type == dtObject ? ItemOf(currentItem_).Object == nullptr || ItemOf(currentItem_).Object->IsNull()
                                          : table_->ElementIsNull(index));
    record[DataSize()] = isNull ? 1 : 0;
    if (type == dtObject) {
        TOraObject* object = ItemOf(currentItem_).Object;
        std::memcpy(slot, &object, sizeof object);
        return;
    }
    if (isNull) return;
    switch (type) {
    case dtString: {
        const std::string text = table_->ElementAsString(index).substr(0, field.Length);
        std::memcpy(slot, text.c_str(), text.size() + 1);
        break;
    }
    case dtInteger: {
        const int32_t value = table_->ElementAsInteger(index);
        std::memcpy(slot, &value, sizeof value);
        break;
    }
    case dtFloat: {
        const double value = table_->ElementAsFloat(index);
        std::memcpy(slot, &value, sizeof value);
        break;
    }
    case dtDateTime: {
        const double value = table_->ElementAsDateTime(index);
        std::memcpy(slot, &value, sizeof value);
        break;
    }
    default:
        AssertionFailed(UnitOraObjects, "Unknown data type");
    }
}

void TTableData::PutRecord(const void* source) {
    if (Bof() || Eof() || !currentItem_) return;
    WriteElement(currentItem_, source);
}

void TTableData::UpdateRecord(const void* source) {
    PItemHeader item = currentItem_;
    const TElementItem kept = item ? ItemOf(item) : TElementItem{nullptr, -1};
    TMemData::UpdateRecord(source);
    // The base copied the record's bytes over the item: it names its element again, and
    // the value goes to the collection.
    ItemOf(item) = kept;
    WriteElement(item, source);
}

void TTableData::WriteElement(PItemHeader item, const void* source) {
    if (FieldCount() == 0) return;
    const TFieldDesc& field = FieldAt(1);
    const int32_t index = ItemOf(item).Index;
    const auto* record = static_cast<const uint8_t*>(source);
    const uint8_t* slot = record + field.Offset;
    const TDataType type = ElementType();
    if (type == dtObject) {
        ItemOf(item).Object = LoadObject(slot);
        return;
    }
    if (record[DataSize()] != 0) {
        table_->SetElementNull(index);
        return;
    }
    switch (type) {
    case dtString:
        table_->SetElementAsString(index, std::string(reinterpret_cast<const char*>(slot),
                                                      strnlen(reinterpret_cast<const char*>(slot), field.Size)));
        break;
    case dtInteger: {
        int32_t value;
        std::memcpy(&value, slot, sizeof value);
        table_->SetElementAsInteger(index, value);
        break;
    }
    case dtFloat: {
        double value;
        std::memcpy(&value, slot, sizeof value);
        table_->SetElementAsFloat(index, value);
        break;
    }
    case dtDateTime: {
        double value;
        std::memcpy(&value, slot, sizeof value);
        table_->SetElementAsDateTime(index, value);
        break;
    }
    default:
        AssertionFailed(UnitOraObjects, "Unknown data type");
    }
}

void TTableData::InsertRecord(const void* source) {
    insertedIndex_ = -1;
    insertSource_ = source;
    TMemData::InsertRecord(source);
    insertSource_ = nullptr;
    // The item's bytes came from the record: its index is the appended element's, and a
    // scalar value still has to go into that element.
    if (!currentItem_ || insertedIndex_ < 0) return;
    ItemOf(currentItem_).Index = insertedIndex_;
    if (ElementType() != dtObject) {
        ItemOf(currentItem_).Object = nullptr;
        WriteElement(currentItem_, source);
    }
}

void TTableData::DoInsertRecord() {
    const TDataType type = ElementType();
    if (type != dtString && type != dtInteger && type != dtFloat && type != dtDateTime && type != dtObject)
        AssertionFailed(UnitOraObjects, "Unknown data type");
    const int32_t index = table_->AppendElement();  // a null element of the element kind
    if (type == dtObject && insertSource_) {
        if (TOraObject* object = LoadObject(static_cast<const uint8_t*>(insertSource_) + FieldAt(1).Offset))
            table_->SetElementObject(index, object);
    }
    currentIndex_ = table_->Size() - 1;
    insertedIndex_ = currentIndex_;
    if (currentItem_) ItemOf(currentItem_).Index = insertedIndex_;
}

void TTableData::DoDeleteRecord() {
    if (!currentItem_) return;
    const auto& client = OciClient();
    CheckStatus(Oci.OCITableDelete(client.Environment, client.ErrorHandle, ItemOf(currentItem_).Index,
                                   static_cast<OCITable*>(table_->Instance())));
}

void TTableData::CancelRecord(void* record) {
    TMemData::CancelRecord(record);
    if (ElementType() == dtObject && currentItem_ && ItemOf(currentItem_).Object)
        table_->SetElementObject(ItemOf(currentItem_).Index, ItemOf(currentItem_).Object);
}

void TTableData::CreateComplexFields(void* record, bool withBlobs) {
    TMemData::CreateComplexFields(record, withBlobs);
    CreateObjectSlots(Fields(), record, table_ ? table_->SvcCtx() : nullptr);
}

void TTableData::FreeComplexFields(void* record, bool withBlobs) {
    TMemData::FreeComplexFields(record, withBlobs);
    FreeObjectSlots(Fields(), record);
}

void TTableData::CopyComplexFields(const void* source, void* dest, bool withBlobs) {
    TMemData::CopyComplexFields(source, dest, withBlobs);
    CopyObjectSlots(Fields(), source, dest);
}

}  // namespace oracle
