// A named server object type (object, VARRAY or nested table) described through the
// client's describe calls, with the layout of the C structure in which the client keeps
// an instance of it and of the matching null-indicator structure. Object values, REF and
// collection stores, record sets and parameters share these types by reference count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oracle/core/ObjectType.h"
#include "oracle/oci/OciApi.h"

namespace oracle {

inline constexpr const char* UnitOraObjects = "OraObjects";

class TOraType : public TObjectType {
public:
    // Describes the type SCHEMA.TYPE or TYPE (the session's schema).
    TOraType(oci::OCISvcCtx* svcCtx, const std::string& name);

    void Describe(oci::OCISvcCtx* svcCtx, const std::string& name);

    // Bytes of the instance structure and of the indicator structure (the object's own
    // indicator first).
    uint16_t DataSize = 0;
    uint16_t IndicatorSize = 2;
    oci::OCIType* TypeDescriptor() const { return typeDescriptor_; }
    // Bytes an attribute takes in the instance structure.
    uint16_t AttributeDataSize(const TAttribute* attribute) const;

protected:
    ~TOraType() override = default;

private:
    void DescribeAttribute(oci::OCISvcCtx* svcCtx, oci::OCIParam* param);

    oci::OCIType* typeDescriptor_ = nullptr;
    std::vector<uint16_t> attributeDataSizes_;
};

// Values held in an instance by pointer: texts, REFs, collections and LOB locators.
inline constexpr uint16_t InstancePointerSize = sizeof(void*);

}  // namespace oracle
