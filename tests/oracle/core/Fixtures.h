// Stores built in memory for the generic layer's tests.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/DataTypes.h"
#include "oracle/core/FieldDesc.h"
#include "oracle/core/MemData.h"
#include "oracle/core/ObjectType.h"

namespace oracle::test {

struct FieldSpec {
    std::string Name;
    TDataType Type;
    uint16_t Length = 0;
    uint16_t Scale = 0;
};

inline uint16_t StoredSize(TDataType type, uint16_t length) {
    switch (type) {
        case dtString: return static_cast<uint16_t>(length + 1);
        case dtSmallint: case dtWord: case dtBoolean: return 2;
        case dtInteger: return 4;
        case dtFloat: case dtDateTime: case dtLargeint: case dtCurrency: return 8;
        case dtBlob: case dtMemo: case dtObject: case dtReference: case dtArray: case dtTable:
            return ReferenceSlotSize;
        default: return 0;
    }
}

inline TFieldDesc* AddField(TData& data, const FieldSpec& spec) {
    auto desc = std::make_unique<TFieldDesc>();
    desc->Name = spec.Name;
    desc->ActualName = spec.Name;
    desc->DataType = spec.Type;
    desc->Length = spec.Length;
    desc->Scale = spec.Scale;
    desc->Size = StoredSize(spec.Type, spec.Length);
    desc->FieldNo = static_cast<uint16_t>(data.FieldCount() + 1);
    return data.Fields().Add(std::move(desc));
}

// An in-memory store with fixed descriptors; exposes the item list for checks.
class TestStore : public TMemData {
public:
    explicit TestStore(const std::vector<FieldSpec>& fields) {
        AutoInitFields = false;
        for (const FieldSpec& f : fields) AddField(*this, f);
    }
    using TMemData::OmitRecord;
    using TMemData::VisibleNo;
    PItemHeader First() const { return firstItem_; }
    PItemHeader Current() const { return currentItem_; }

    TRecordBuffer NewRecord() {
        TRecordBuffer record = AllocRecBuf();
        InitRecord(record.data());
        return record;
    }
    void AppendInt(int fieldNo, int32_t value) {
        TRecordBuffer record = NewRecord();
        PutField(fieldNo, record.data(), &value);
        AppendRecord(record.data());
    }
    int32_t IntOf(const void* record, int fieldNo = 1) {
        int32_t value = 0;
        bool isNull = false;
        GetField(fieldNo, record, &value, isNull);
        return isNull ? -1 : value;
    }
    int32_t CurrentInt(int fieldNo = 1) {
        TRecordBuffer record = AllocRecBuf();
        GetRecord(record.data());
        return IntOf(record.data(), fieldNo);
    }
    // (first field, visible number) of every visible record in list order.
    std::vector<std::pair<int32_t, int>> Visible() {
        std::vector<std::pair<int32_t, int>> out;
        for (PItemHeader p = firstItem_; p; p = p->Next)
            if (!OmitRecord(p)) out.emplace_back(IntOf(TBlockManager::ItemData(p)), VisibleNo(p));
        return out;
    }
};

// Object types for stores with object and array columns (the caller releases them).
inline TObjectType* MakeType(const char* name, TDataType code, int32_t size = 0) {
    auto* type = NewShared<TObjectType>();
    type->Name = name;
    type->DataType = code;
    type->Size = size;
    return type;
}

inline void AddAttribute(TObjectType* owner, const char* name, TDataType code, uint16_t length,
                         TObjectType* type = nullptr) {
    TAttribute* attribute = owner->AddAttribute();
    attribute->Name = name;
    attribute->DataType = code;
    attribute->Length = length;
    attribute->SetObjectType(type);
}

}  // namespace oracle::test
