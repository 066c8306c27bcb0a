#include "platform/CheckConstraints.h"

namespace platform {

const TClassInfo& TCheckConstraint::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCheckConstraint", &TCollectionItem::StaticClassInfo());
        i.Property("CustomConstraint", &TCheckConstraint::CustomConstraint, &TCheckConstraint::SetCustomConstraint);
        i.Property("ErrorMessage", &TCheckConstraint::ErrorMessage, &TCheckConstraint::SetErrorMessage);
        i.Property("ImportedConstraint", &TCheckConstraint::ImportedConstraint,
                   &TCheckConstraint::SetImportedConstraint);
        i.Property("FromDictionary", &TCheckConstraint::FromDictionary, &TCheckConstraint::SetFromDictionary);
        return i;
    }();
    return info;
}

void TCheckConstraint::CopyFromSource(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCheckConstraint*>(source);
    if (!other) {
        TCollectionItem::CopyFromSource(source);
        return;
    }
    customConstraint_ = other->customConstraint_;
    errorMessage_ = other->errorMessage_;
    importedConstraint_ = other->importedConstraint_;
    fromDictionary_ = other->fromDictionary_;
    Changed(false);
}

AnsiString TCheckConstraint::ItemDisplayName() const {
    if (!customConstraint_.empty()) return customConstraint_;
    if (!importedConstraint_.empty()) return importedConstraint_;
    return TCollectionItem::ItemDisplayName();
}

}  // namespace platform
