// Column descriptors of a record store: name, type code, sizes and the place of
// the value in the record. The store lays records out from them, the dataset
// builds its field definitions from them, the Oracle layer fills them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/DataTypes.h"

namespace oracle {

class TObjectType;

class TFieldDesc {
public:
    TFieldDesc() = default;
    TFieldDesc(const TFieldDesc&) = delete;
    TFieldDesc& operator=(const TFieldDesc&) = delete;
    virtual ~TFieldDesc();

    std::string Name;
    std::string ActualName;
    TDataType DataType = dtUnknown;
    uint16_t SubDataType = 0;
    uint16_t Length = 0;
    uint16_t Scale = 0;
    uint16_t FieldNo = 0;
    uint16_t ActualFieldNo = 0;
    uint16_t Size = 0;
    int32_t Offset = 0;
    bool Required = false;
    bool ReadOnly = false;
    bool Fixed = false;
    bool Hidden = false;
    TFieldDesc* ParentField = nullptr;
    bool HiddenObject = false;
    void* Handle = nullptr;

    TObjectType* ObjectType() const { return objectType_; }
    // Holds a counted reference on the type.
    void SetObjectType(TObjectType* type);

private:
    TObjectType* objectType_ = nullptr;
};

// Owning list of descriptors in FieldNo order.
class TFieldDescs {
public:
    TFieldDescs() = default;
    TFieldDescs(const TFieldDescs&) = delete;
    TFieldDescs& operator=(const TFieldDescs&) = delete;
    ~TFieldDescs() { ClearItems(); }

    int Count() const { return static_cast<int>(items_.size()); }
    TFieldDesc* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    TFieldDesc* Add(std::unique_ptr<TFieldDesc> desc);
    void ClearItems() { items_.clear(); }

    // A name with "." or "[" is compared with ActualName, others with Name; case ignored.
    TFieldDesc* FindField(const std::string& name) const;
    // As FindField; raises "Filed %s not found" when there is none.
    TFieldDesc* FieldByName(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TFieldDesc>> items_;
};

}  // namespace oracle
