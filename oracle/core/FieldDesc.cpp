#include "oracle/core/FieldDesc.h"

#include "oracle/core/ObjectType.h"
#include "platform/SysUtils.h"

namespace oracle {

TFieldDesc::~TFieldDesc() { SetObjectType(nullptr); }

void TFieldDesc::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    if (objectType_) objectType_->Release();
    objectType_ = type;
    if (objectType_) objectType_->AddRef();
}

TFieldDesc* TFieldDescs::Add(std::unique_ptr<TFieldDesc> desc) {
    items_.push_back(std::move(desc));
    return items_.back().get();
}

TFieldDesc* TFieldDescs::FindField(const std::string& name) const {
    const bool byPath = name.find_first_of(".[") != std::string::npos;
    for (const auto& item : items_) {
        const std::string& candidate = byPath ? item->ActualName : item->Name;
        if (platform::AnsiSameText(candidate, name)) return item.get();
    }
    return nullptr;
}

TFieldDesc* TFieldDescs::FieldByName(const std::string& name) const {
    TFieldDesc* desc = FindField(name);
    if (!desc) throw platform::Exception("Filed " + name + " not found");
    return desc;
}

}  // namespace oracle
