#include "platform/FieldDefs.h"

#include "platform/DataSet.h"

namespace platform {

TFieldDef::TFieldDef(TFieldDefs& collection, AnsiString name, TFieldType type, int size,
                     bool required, int fieldNo)
    : collection_(collection), name_(std::move(name)), dataType_(type), size_(size),
      fieldNo_(fieldNo) {
    SetRequired(required);
}

void TFieldDef::SetRequired(bool value) {
    if (value)
        attributes_ |= faRequired;
    else
        attributes_ &= ~faRequired;
}

TFieldDefs& TFieldDef::ChildDefs() {
    if (!children_) children_ = std::make_unique<TFieldDefs>(collection_.DataSet(), this);
    return *children_;
}

bool TFieldDef::HasChildDefs() const { return children_ && children_->Count() > 0; }

TFieldDef* TFieldDef::ParentDef() const { return collection_.ParentDef(); }

TFieldDefs::TFieldDefs(TDataSet* dataSet, TFieldDef* parent) : dataSet_(dataSet), parent_(parent) {}

TFieldDef& TFieldDefs::Add(const AnsiString& name, TFieldType type, int size, bool required) {
    int fieldNo = Count() + 1;
    return Append(std::make_unique<TFieldDef>(*this, name, type, size, required, fieldNo));
}

TFieldDef& TFieldDefs::FieldDefNamed(const AnsiString& name) const {
    TFieldDef* def = Find(name);
    if (!def) DatabaseErrorFmt("Field '%s' not found", name);
    return *def;
}

void TFieldDefs::Update() {
    if (!Updated() && dataSet_ && !parent_) Reload();
}

void TFieldDefs::Reload() {
    SetUpdated(false);
    if (dataSet_ && !parent_) dataSet_->PrepareFieldDefinitions();
    SetUpdated(true);
}

void TFieldDefs::Changed() {
    SetUpdated(false);
    if (dataSet_ && !parent_) dataSet_->DefinitionsChanged();
}

}  // namespace platform
