// Record-level check constraints of a dataset: SQL-like conditions with the message
// shown when a record breaks them. The framework only keeps them (the Btrieve table
// publishes them as Constraints); no storage here evaluates them.
#pragma once

#include "platform/Classes.h"

namespace platform {

class TCheckConstraint : public TCollectionItem {
public:
    explicit TCheckConstraint(TCollection* collection) : TCollectionItem(collection) {}
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    const AnsiString& CustomConstraint() const { return customConstraint_; }
    void SetCustomConstraint(const AnsiString& v) { customConstraint_ = v; }
    const AnsiString& ErrorMessage() const { return errorMessage_; }
    void SetErrorMessage(const AnsiString& v) { errorMessage_ = v; }
    const AnsiString& ImportedConstraint() const { return importedConstraint_; }
    void SetImportedConstraint(const AnsiString& v) { importedConstraint_ = v; }
    bool FromDictionary() const { return fromDictionary_; }
    void SetFromDictionary(bool v) { fromDictionary_ = v; }

    void CopyFromSource(const TPersistent* source) override;
    AnsiString ItemDisplayName() const override;

private:
    AnsiString customConstraint_;
    AnsiString errorMessage_;
    AnsiString importedConstraint_;
    bool fromDictionary_ = true;
};

class TCheckConstraints : public TOwnedCollection {
public:
    explicit TCheckConstraints(TPersistent* owner = nullptr)
        : TOwnedCollection(owner, ItemsOf<TCheckConstraint>()) {}
    TCheckConstraint& Items(int index) const { return static_cast<TCheckConstraint&>(Item(index)); }
    TCheckConstraint& AddConstraint() { return static_cast<TCheckConstraint&>(Add()); }
};

}  // namespace platform
