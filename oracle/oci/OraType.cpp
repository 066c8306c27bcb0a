#include "oracle/oci/OraType.h"

#include "oracle/core/Assertion.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraDataTypes.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

OCIEnv* Environment() { return OciClient().Environment; }
OCIError* ErrorHandle() { return OciClient().ErrorHandle; }

template <class T>
T ParamValue(const void* param, ub4 attribute) {
    T value{};
    CheckStatus(Oci.OCIAttrGet(param, OCI_DTYPE_PARAM, &value, nullptr, attribute, ErrorHandle()));
    return value;
}

std::string ParamText(const void* param, ub4 attribute) {
    OraText* text = nullptr;
    ub4 length = 0;
    CheckStatus(Oci.OCIAttrGet(param, OCI_DTYPE_PARAM, &text, &length, attribute, ErrorHandle()));
    return text ? std::string(reinterpret_cast<const char*>(text), length) : std::string();
}

// Frees the describe handle however the describe ends.
class TDescribeHandle {
public:
    TDescribeHandle() {
        void* handle = nullptr;
        CheckStatus(Oci.OCIHandleAlloc(Environment(), &handle, OCI_HTYPE_DESCRIBE, 0, nullptr));
        handle_ = static_cast<OCIDescribe*>(handle);
    }
    ~TDescribeHandle() { Oci.OCIHandleFree(handle_, OCI_HTYPE_DESCRIBE); }
    TDescribeHandle(const TDescribeHandle&) = delete;
    TDescribeHandle& operator=(const TDescribeHandle&) = delete;
    OCIDescribe* get() const { return handle_; }

private:
    OCIDescribe* handle_ = nullptr;
};

uint16_t RoundUp(uint16_t value, uint16_t multiple) {
    return static_cast<uint16_t>((value + multiple - 1) / multiple * multiple);
}

// Values held by pointer, and embedded objects that may hold pointers, start on a pointer
// boundary (the same as 4 bytes on 32-bit clients).
bool PointerAligned(TDataType type) {
    return type == dtString || type == dtObject || type == dtReference || type == dtArray || type == dtTable ||
           type == dtOraBlob || type == dtOraClob;
}

}  // namespace

TOraType::TOraType(OCISvcCtx* svcCtx, const std::string& name) {
    if (!svcCtx) throw platform::Exception("OCISvcCtx is not defined");
    Describe(svcCtx, name);
}

uint16_t TOraType::AttributeDataSize(const TAttribute* attribute) const {
    const size_t index = attribute->AttributeNo > 0 ? attribute->AttributeNo - 1u : 0;
    return index < attributeDataSizes_.size() ? attributeDataSizes_[index] : 0;
}

void TOraType::Describe(OCISvcCtx* svcCtx, const std::string& name) {
    if (!svcCtx) throw platform::Exception("OCISvcCtx is not defined");
    ClearAttributes();
    attributeDataSizes_.clear();
    DataSize = 0;
    IndicatorSize = 2;

    const std::string upper = platform::AnsiUpperCase(name);
    const size_t dot = upper.find('.');
    const std::string schema = dot == std::string::npos ? std::string() : upper.substr(0, dot);
    const std::string typeName = dot == std::string::npos ? upper : upper.substr(dot + 1);
    CheckStatus(Oci.OCITypeByName(Environment(), ErrorHandle(), svcCtx,
                                  reinterpret_cast<const OraText*>(schema.c_str()), static_cast<ub4>(schema.size()),
                                  reinterpret_cast<const OraText*>(typeName.c_str()),
                                  static_cast<ub4>(typeName.size()), nullptr, 0, OCI_DURATION_SESSION, OCI_TYPEGET_HEADER,
                                  &typeDescriptor_));

    TDescribeHandle describe;
    std::string described = name;
    CheckStatus(Oci.OCIDescribeAny(svcCtx, ErrorHandle(), described.data(), static_cast<ub4>(described.size()),
                                   OCI_OTYPE_NAME, 0, OCI_PTYPE_TYPE, describe.get()));
    OCIParam* param = nullptr;
    CheckStatus(Oci.OCIAttrGet(describe.get(), OCI_HTYPE_DESCRIBE, &param, nullptr, OCI_ATTR_PARAM, ErrorHandle()));

    Name = name;
    const ub2 typeCode = ParamValue<ub2>(param, OCI_ATTR_TYPECODE);
    if (typeCode == OCI_TYPECODE_OBJECT) {
        DataType = dtObject;
        Size = 0;
        const ub2 count = ParamValue<ub2>(param, OCI_ATTR_NUM_TYPE_ATTRS);
        void* list = nullptr;
        CheckStatus(Oci.OCIAttrGet(param, OCI_DTYPE_PARAM, &list, nullptr, OCI_ATTR_LIST_TYPE_ATTRS, ErrorHandle()));
        for (ub4 i = 1; i <= count; ++i) {
            void* attributeParam = nullptr;
            CheckStatus(Oci.OCIParamGet(list, OCI_DTYPE_PARAM, ErrorHandle(), &attributeParam, i));
            DescribeAttribute(svcCtx, static_cast<OCIParam*>(attributeParam));
        }
    } else if (typeCode == OCI_TYPECODE_NAMEDCOLLECTION) {
        const ub2 collectionCode = ParamValue<ub2>(param, OCI_ATTR_COLLECTION_TYPECODE);
        if (collectionCode == OCI_TYPECODE_VARRAY)
            DataType = dtArray;
        else if (collectionCode == OCI_TYPECODE_TABLE)
            DataType = dtTable;
        else
            AssertionFailed(UnitOraObjects);
        OCIParam* element = nullptr;
        CheckStatus(Oci.OCIAttrGet(param, OCI_DTYPE_PARAM, &element, nullptr, OCI_ATTR_COLLECTION_ELEMENT,
                                   ErrorHandle()));
        Size = static_cast<int32_t>(ParamValue<ub4>(element, OCI_ATTR_NUM_ELEMS));
        DescribeAttribute(svcCtx, element);
    } else {
        AssertionFailed(UnitOraObjects);
    }
}

void TOraType::DescribeAttribute(OCISvcCtx* svcCtx, OCIParam* param) {
    TAttribute* attribute = AddAttribute();
    std::string name = ParamText(param, OCI_ATTR_NAME);
    attribute->Name = name.empty() ? "ELEMENT" : name;
    attribute->AttributeNo = static_cast<uint16_t>(AttributeCount());
    attribute->Length = 0;
    attribute->Scale = 0;
    const ub2 ociType = ParamValue<ub2>(param, OCI_ATTR_DATA_TYPE);
    const ub2 size = ParamValue<ub2>(param, OCI_ATTR_DATA_SIZE);
    attribute->BackEndType = ociType;
    uint16_t dataSize = 0;
    uint16_t indicatorBytes = 2;
    switch (ociType) {
    case SQLT_CHR:
    case SQLT_AFC:
        attribute->DataType = dtString;
        attribute->Length = size;
        attribute->Size = static_cast<uint16_t>(size + 1);
        dataSize = InstancePointerSize;
        break;
    case SQLT_NUM: {
        const sb2 precision = ParamValue<sb2>(param, OCI_ATTR_PRECISION);
        const sb1 scale = ParamValue<sb1>(param, OCI_ATTR_SCALE);
        attribute->Length = static_cast<uint16_t>(precision);
        if (scale == 0 && precision >= 1 && precision <= 9) {
            attribute->DataType = dtInteger;
            attribute->Size = 4;
        } else {
            attribute->DataType = dtFloat;
            attribute->Scale = static_cast<uint16_t>(scale < 0 ? -scale : scale);
            attribute->Size = 8;
        }
        dataSize = sizeof(OCINumber);
        break;
    }
    case SQLT_DAT:
        attribute->DataType = dtDateTime;
        attribute->Size = 8;
        dataSize = sizeof(OCIDate);
        break;
    case SQLT_NTY:
    case SQLT_REF: {
        const std::string plainName = ParamText(param, OCI_ATTR_TYPE_NAME);
        const std::string typeName = ParamText(param, OCI_ATTR_SCHEMA_NAME) + "." + plainName;
        // A type described by its plain name is found under it too: a type that refers to
        // itself (or to a type that refers back) must not be described without end.
        TObjectTypes* types = TObjectTypes::Instance();
        auto* referenced = dynamic_cast<TOraType*>(types ? types->FindType(typeName) : nullptr);
        if (!referenced && types) referenced = dynamic_cast<TOraType*>(types->FindType(plainName));
        if (referenced) {
            attribute->SetObjectType(referenced);
        } else {
            referenced = NewShared<TOraType>(svcCtx, typeName);
            attribute->SetObjectType(referenced);
            referenced->Release();  // held by the attribute only
        }
        attribute->Size = ReferenceSlotSize;
        if (ociType == SQLT_REF) {
            attribute->DataType = dtReference;
            dataSize = InstancePointerSize;
        } else {
            attribute->DataType = referenced->DataType;
            if (referenced->DataType == dtObject) {
                dataSize = referenced->DataSize;
                indicatorBytes = referenced->IndicatorSize;
            } else {
                dataSize = InstancePointerSize;  // collections are held by pointer
            }
        }
        break;
    }
    case SQLT_CLOB:
    case SQLT_BLOB:
        attribute->DataType = ociType == SQLT_CLOB ? dtOraClob : dtOraBlob;
        attribute->Size = ReferenceSlotSize;
        dataSize = InstancePointerSize;
        break;
    default:
        AssertionFailed(UnitOraObjects, "Unknown data type");
    }

    // Texts, dates, objects, REFs, collections and both LOB kinds start on a 4-byte
    // boundary (CLOBs as BLOBs); values held by pointer on a pointer boundary.
    switch (attribute->DataType) {
    case dtString:
    case dtDateTime:
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable:
    case dtOraBlob:
    case dtOraClob:
        DataSize = RoundUp(DataSize, PointerAligned(attribute->DataType) ? InstancePointerSize : 4);
        break;
    default:
        break;
    }
    attribute->DataOffset = DataSize;
    DataSize = static_cast<uint16_t>(DataSize + dataSize);
    attribute->IndicatorOffset = IndicatorSize;
    IndicatorSize = static_cast<uint16_t>(IndicatorSize + indicatorBytes);
    attributeDataSizes_.push_back(dataSize);
}

}  // namespace oracle
