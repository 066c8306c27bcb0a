// Field definitions of a dataset: what columns its storage offers (name, type, size,
// attributes, child definitions of object and array columns). Filled by the libraries'
// datasets from their record store or engine cursor; read by the field builders of the
// installation exports (PositionOfName, Size, Reload).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/DataSetTypes.h"

namespace platform {

class TDataSet;
class TFieldDefs;

// Common part of the definition collections: named items, found without regard to case,
// an up-to-date flag, and batches of changes that report once at their end.
template <class Item>
class TDefCollection {
public:
    virtual ~TDefCollection() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    Item& Items(int index) const;
    Item* Find(const AnsiString& name) const;
    // Index of the item named so (case-insensitive), -1 when none.
    int PositionOfName(const AnsiString& name) const;
    void Clear();
    void Delete(int index);

    bool Updated() const { return updated_; }
    void SetUpdated(bool value) { updated_ = value; }

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

protected:
    Item& Append(std::unique_ptr<Item> item);
    // Reported once per change, or once at the end of a batch that changed something.
    virtual void Changed() {}

private:
    void MarkChanged();

    std::vector<std::unique_ptr<Item>> items_;
    bool updated_ = false;
    int updateCount_ = 0;
    bool changedInBatch_ = false;
};

class TFieldDef {
public:
    TFieldDef(TFieldDefs& collection, AnsiString name, TFieldType type, int size, bool required,
              int fieldNo);

    const AnsiString& Name() const { return name_; }
    void SetName(const AnsiString& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int fieldNo) { fieldNo_ = fieldNo; }
    TFieldAttributes Attributes() const { return attributes_; }
    void SetAttributes(TFieldAttributes attributes) { attributes_ = attributes; }
    bool Required() const { return (attributes_ & faRequired) != 0; }
    void SetRequired(bool value);
    bool InternalCalcField() const { return internalCalc_; }
    void SetInternalCalcField(bool value) { internalCalc_ = value; }

    // Definitions of the members of an object column or the element of an array column.
    TFieldDefs& ChildDefs();
    bool HasChildDefs() const;
    TFieldDefs& Collection() const { return collection_; }
    // The definition whose children these are, or none at the top level.
    TFieldDef* ParentDef() const;

private:
    TFieldDefs& collection_;
    AnsiString name_;
    TFieldType dataType_;
    int size_;
    int precision_ = 0;
    int fieldNo_;
    TFieldAttributes attributes_ = 0;
    bool internalCalc_ = false;
    std::unique_ptr<TFieldDefs> children_;
};

class TFieldDefs : public TDefCollection<TFieldDef> {
public:
    // dataSet: the dataset that fills these definitions; parent: the definition whose
    // children these are (none for the dataset's own list).
    explicit TFieldDefs(TDataSet* dataSet, TFieldDef* parent = nullptr);

    TFieldDef& Add(const AnsiString& name, TFieldType type, int size = 0, bool required = false);
    // The definition named so; raises "Field '%s' not found" when none.
    TFieldDef& FieldDefNamed(const AnsiString& name) const;

    // Bring the definitions up to date when they are not (the dataset reads them from
    // its storage, open or not); Reload re-reads them in any case.
    void Update();
    void Reload();

    // The dataset's storage also lists hidden columns.
    bool HiddenFields() const { return hiddenFields_; }
    void SetHiddenFields(bool value) { hiddenFields_ = value; }

    TDataSet* DataSet() const { return dataSet_; }
    TFieldDef* ParentDef() const { return parent_; }

protected:
    void Changed() override;

private:
    TDataSet* dataSet_;
    TFieldDef* parent_;
    bool hiddenFields_ = false;
};

// --- template members -------------------------------------------------------

template <class Item>
Item& TDefCollection<Item>::Items(int index) const {
    if (index < 0 || index >= Count()) DatabaseError("List index out of bounds (" + IntToStr(index) + ")");
    return *items_[static_cast<size_t>(index)];
}

template <class Item>
int TDefCollection<Item>::PositionOfName(const AnsiString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(items_[static_cast<size_t>(i)]->Name(), name)) return i;
    return -1;
}

template <class Item>
Item* TDefCollection<Item>::Find(const AnsiString& name) const {
    int i = PositionOfName(name);
    return i < 0 ? nullptr : items_[static_cast<size_t>(i)].get();
}

template <class Item>
void TDefCollection<Item>::Clear() {
    if (items_.empty()) return;
    items_.clear();
    MarkChanged();
}

template <class Item>
void TDefCollection<Item>::Delete(int index) {
    Items(index);
    items_.erase(items_.begin() + index);
    MarkChanged();
}

template <class Item>
void TDefCollection<Item>::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedInBatch_) {
        changedInBatch_ = false;
        Changed();
    }
}

template <class Item>
Item& TDefCollection<Item>::Append(std::unique_ptr<Item> item) {
    items_.push_back(std::move(item));
    MarkChanged();
    return *items_.back();
}

template <class Item>
void TDefCollection<Item>::MarkChanged() {
    if (updateCount_ > 0)
        changedInBatch_ = true;
    else
        Changed();
}

}  // namespace platform
