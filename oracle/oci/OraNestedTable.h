// TOraNestedTable: the dataset that shows the rows behind a nested-table or REF field of
// its parent dataset's current record (through DataSetField), or, without a parent, the
// rows of a nested table or REF handed to it. It follows the parent's current record and
// passes its changes on to the parent. GetFieldObject reads such a field's value object
// from a dataset's active record.
#pragma once

#include "oracle/core/MemDataSet.h"

namespace oracle {

class TOraArray;
class TOraObject;
class TOraRef;

class TOraNestedTable : public TMemDataSet {
public:
    explicit TOraNestedTable(platform::TComponent* owner = nullptr);
    ~TOraNestedTable() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // The collection the rows come from (a collection store), else none.
    TOraArray* TableObject() const;
    // The REF whose object is the row (a REF store), else none.
    TOraRef* RefObject() const;
    // Shows the elements of table; the dataset stays open or closed as it was.
    void BindTable(TOraArray* table);
    // Shows the object ref points to.
    void BindRef(TOraRef* ref);

    void SetDataSetField(platform::TDataSetField* field) override;
    bool IsModifiable() override;

protected:
    void CreateRecordStore() override;
    void ActivateCursor(bool infoOnly) override;
    void DeactivateCursor() override;
    void DispatchDataEvent(platform::TDataEvent event, intptr_t info) override;
    void FireAfterPost() override;
    void FireBeforeDelete() override;
    void FireBeforeInsert() override;

private:
    // Binds the value object as the DataSetField's kind asks: a collection or a REF.
    void BindFieldObject(TOraObject* object);
    // The parent's record changed through this dataset: it is edited and modified.
    void MarkParentModified();
};

// The value object in the object, REF, array or nested-table field named so of the
// dataset's active record; none when the dataset has no active record or is not a
// record-store dataset. Another kind of field: "Type of field should be Object".
TOraObject* GetFieldObject(platform::TDataSet& dataSet, const platform::AnsiString& fieldName);

}  // namespace oracle
