#include "btrieve/base/FieldCache.h"

#include <cstring>

#include "btrieve/base/BaseTable.h"

namespace btrieve {

void TFieldCacheItem::Bind(uint8_t* record) {
    record_ = record;
    fieldData_ = record ? record + desc_.offset : nullptr;
    nullArea_ = record && desc_.nullOffset != 0 ? record + desc_.nullOffset : nullptr;
}

bool TFieldCacheItem::IsBlank() const {
    if (!nullArea_) return false;
    int16_t indicator;
    std::memcpy(&indicator, nullArea_, sizeof indicator);
    return indicator == -1;
}

void TFieldCacheItem::SetBlank(bool blank) {
    if (!nullArea_) return;
    const int16_t indicator = blank ? -1 : 0;
    std::memcpy(nullArea_, &indicator, sizeof indicator);
}

void TFieldCacheItem::SetChanged(bool changed) {
    if (!nullArea_) return;
    const int32_t flag = changed ? -1 : 0;
    std::memcpy(nullArea_ + 4, &flag, sizeof flag);
}

TFieldCacheItem& TQuillonFieldCache::Item(int n) {
    if (n >= 1 && n <= Count()) return *items_[n - 1];
    if (n < 1 || !cursor_) RaiseEngineError(rc::InvalidRecStruct);
    // Item n must describe field n: the fields before it are described first, in order.
    while (Count() < n) {
        const auto number = static_cast<uint16_t>(Count() + 1);
        TEngineFieldDesc desc{};
        uint16_t localSize = 0, localType = 0;
        cursor_->GetFieldDesc(number, localSize, localType, desc);
        desc.fieldNumber = number;
        desc.localType = localType;
        desc.localSize = localSize;
        Add(desc);
    }
    return *items_[n - 1];
}

TFieldCacheItem& TQuillonFieldCache::Add(const TEngineFieldDesc& desc) {
    items_.push_back(std::make_unique<TFieldCacheItem>(desc));
    return *items_.back();
}

int TQuillonFieldCache::FieldNumber(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (platform::AnsiSameText(items_[i]->FieldName(), name)) return i + 1;
    return 0;
}

void TQuillonFieldCache::BindAll(uint8_t* record) {
    for (auto& item : items_) {
        item->Bind(record);
        item->SetChanged(false);
        item->SetBlank(true);
    }
}

}  // namespace btrieve
