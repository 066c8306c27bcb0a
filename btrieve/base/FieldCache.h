// The field cache of a cursor: one item per field, holding the engine's field
// descriptor with the logical type and size it converts to, bound to the record
// buffer of the call in progress. Every field read and write goes through it.
#pragma once

#include <memory>
#include <vector>

#include "btrieve/base/EngineErrors.h"
#include "btrieve/base/EngineRecords.h"

namespace btrieve {

class TBaseTable;

class TFieldCacheItem {
public:
    explicit TFieldCacheItem(const TEngineFieldDesc& desc) : desc_(desc) {}

    const TEngineFieldDesc& Desc() const { return desc_; }
    TEngineFieldDesc& Desc() { return desc_; }
    AnsiString FieldName() const { return FieldText(desc_.name, sizeof desc_.name); }
    uint16_t LocalType() const { return desc_.localType; }
    uint16_t LocalSize() const { return desc_.localSize; }

    void Bind(uint8_t* record);
    uint8_t* Record() const { return record_; }
    uint8_t* FieldData() const { return fieldData_; }
    bool HasNullArea() const { return nullArea_ != nullptr; }
    bool IsBlank() const;
    void SetBlank(bool blank);
    void SetChanged(bool changed);

private:
    TEngineFieldDesc desc_;
    uint8_t* record_ = nullptr;
    uint8_t* fieldData_ = nullptr;
    uint8_t* nullArea_ = nullptr;  // 16-bit indicator (-1 blank), 32-bit changed flag at 4
};

class TQuillonFieldCache {
public:
    explicit TQuillonFieldCache(TBaseTable* cursor) : cursor_(cursor) {}

    int Count() const { return static_cast<int>(items_.size()); }
    // Item n (1-based); a missing item is asked from the cursor's descriptors.
    TFieldCacheItem& Item(int n);
    TFieldCacheItem& Add(const TEngineFieldDesc& desc);
    void Clear() { items_.clear(); }
    // Number of the first field of that name, any case; 0 when none.
    int FieldNumber(const AnsiString& name) const;
    void BindAll(uint8_t* record);

private:
    TBaseTable* cursor_;
    std::vector<std::unique_ptr<TFieldCacheItem>> items_;
};

}  // namespace btrieve
