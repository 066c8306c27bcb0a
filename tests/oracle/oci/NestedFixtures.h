// Datasets over in-memory stores whose columns carry the Oracle layer's type codes,
// with the Oracle components' type mapping and field classes: parents for nested
// datasets and hosts for the Oracle field classes, without a server.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/MemDataSet.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraFields.h"
#include "oracle/oci/OraParams.h"
#include "tests/oracle/core/Fixtures.h"

namespace oracle::test {

class OraMemDataSet : public TMemDataSet {
public:
    explicit OraMemDataSet(const std::vector<FieldSpec>& fields, platform::TComponent* owner = nullptr)
        : TMemDataSet(owner) {
        Data()->AutoInitFields = false;
        for (const FieldSpec& f : fields) {
            TFieldDesc* desc = AddField(*Data(), f);
            // Codes of the Oracle layer keep a value object (or a label's number) in the slot.
            if (desc->Size == 0) desc->Size = ReferenceSlotSize;
        }
    }
    ~OraMemDataSet() override { CloseDataSet(); }

    // Records written straight into the store (values the field classes refuse to write);
    // the dataset opens over them.
    void OpenWith(const std::vector<std::function<void(TData&, void* record)>>& records) {
        Fill(records);
        OpenDataSet();
    }
    void Fill(const std::vector<std::function<void(TData&, void* record)>>& records) {
        PrepareDataSet();
        Data()->Open();
        for (const auto& fill : records) {
            TRecordBuffer record = Data()->AllocRecBuf();
            Data()->InitRecord(record.data());
            fill(*Data(), record.data());
            Data()->AppendRecord(record.data());
        }
    }

protected:
    platform::TFieldType FieldTypeFor(TDataType code) override { return OraDataTypeToFieldType(code); }
    std::unique_ptr<platform::TField> FieldClassForType(platform::TFieldType type) override {
        return OraFieldForType(type);
    }
};

// Marks a field of a store record as holding a value (its slot keeps what it had).
inline void MarkNotNull(TData& data, void* record, const std::string& name) {
    data.SetNull(data.FieldByName(name)->FieldNo, record, false);
}

}  // namespace oracle::test
