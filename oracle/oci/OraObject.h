// Values of server object types: TOraObject is one instance (value structure and null
// indicators kept by the client) with typed access to attributes by path ("ADDR.CITY",
// "PHONES[2]"); TOraRef a REF pinned on demand; TOraArray and TOraNestTable collections
// with element access by 0-based index. Record sets, the REF and collection stores,
// parameters and field values create and share them by reference count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oracle/core/ObjectType.h"
#include "oracle/oci/OciApi.h"
#include "oracle/oci/OraType.h"
#include "platform/Variant.h"

namespace oracle {

class TOraLob;

class TOraObject : public TDBObject {
public:
    explicit TOraObject(TOraType* type = nullptr);

    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override;
    void SetAttributeValue(const std::string& path, const void* value) override;

    virtual void CheckType() const;
    virtual bool IsNull();
    virtual void SetNull(bool value);
    // The child re-reads its instance and indicators from this object.
    virtual void ChildChanged(TOraObject* child);
    // A new REF (owned by the caller, freed with OCIObjectFree) to this object's instance.
    virtual oci::OCIRef* GetObjectRef();
    // Pins the latest version of the object.
    virtual void Refresh();
    virtual void AssignObject(TOraObject* source);

    TOraType* Type() const { return type_; }
    void SetObjectType(TOraType* type);
    oci::OCISvcCtx* SvcCtx() const { return svcCtx_; }
    void SetSvcCtx(oci::OCISvcCtx* value) { svcCtx_ = value; }
    void* Instance() const { return instance_; }
    // An instance owned by someone else (a fetched row, another object).
    void SetInstance(void* instance);
    void* Indicator() const { return indicator_; }
    void SetIndicator(void* indicator) { indicator_ = indicator; }
    // Where the client reads an allocated instance and its indicator structure when the
    // object is bound, and writes them back after the statement.
    void** InstanceAddress() { return &instance_; }
    void** IndicatorAddress() { return &indicator_; }
    // An instance the client put in place of this object's own after a fetch (it fills
    // the given instance in place, or makes a new one when it was given none); the new
    // one is this object's to free.
    void TakeFetchedInstance(void* instance);
    bool AutoCreate = true;
    // The attribute number - 1 (objects) or element index (collections) in the owner.
    int32_t OwnerIndex() const { return ownerIndex_; }

    // Without an instance: allocates one when AutoCreate, else raises when asked to.
    void CheckAllocated(bool raise = true);
    virtual void AllocObject();
    void FreeObject();
    void Flush();
    void MarkDelete();

    bool AttrIsNull(const std::string& path);
    void SetAttrNull(const std::string& path);
    int32_t AttrAsInteger(const std::string& path);
    void SetAttrAsInteger(const std::string& path, int32_t value);
    double AttrAsFloat(const std::string& path);
    void SetAttrAsFloat(const std::string& path, double value);
    platform::TDateTime AttrAsDateTime(const std::string& path);
    void SetAttrAsDateTime(const std::string& path, platform::TDateTime value);
    std::string AttrAsString(const std::string& path);
    void SetAttrAsString(const std::string& path, const std::string& value);
    // Objects and LOBs of top-level attributes, created once and kept as children.
    TOraObject* AttrAsObject(const std::string& name);
    TOraLob* AttrAsLob(const std::string& name);

protected:
    ~TOraObject() override;

    // Where an attribute path leads: the value (nil for a missing element), the indicator
    // structure there, the indicator value and the attribute.
    struct TAttributeLocation {
        void* Value = nullptr;
        void* IndicatorStruct = nullptr;
        oci::OCIInd Indicator = -1;
        TAttribute* Attribute = nullptr;
    };
    TAttributeLocation GetAttribute(const std::string& path);
    TAttributeLocation LocateAttribute(const std::string& path);
    void SetAttribute(const std::string& path, const void* value, oci::OCIInd indicator);
    // Appends null elements of the element kind until the collection holds index + 1.
    static void GrowCollection(oci::OCIColl* collection, TOraType* collectionType, int32_t index);
    static oci::sword AppendNullElement(oci::OCIColl* collection, TOraType* collectionType);
    void ReleaseChildren();
    TSharedObject* Child(int index) const;
    void SetChild(int index, TSharedObject* child);

    TOraType* type_ = nullptr;
    oci::OCISvcCtx* svcCtx_ = nullptr;
    bool ownsInstance_ = false;
    std::vector<TSharedObject*> children_;
    TOraObject* owner_ = nullptr;
    // The attribute number - 1 (objects) or element index (collections) in the owner.
    int32_t ownerIndex_ = -1;
    void* instance_ = nullptr;
    void* indicator_ = nullptr;
};

class TOraRef : public TOraObject {
public:
    explicit TOraRef(TOraType* type = nullptr) : TOraObject(type) {}

    bool IsNull() override;
    void SetNull(bool value) override;
    // A REF's instance is the pinned object it points to.
    void AllocObject() override;
    void Refresh() override;
    void AssignObject(TOraObject* source) override;

    bool RefIsNull() const;
    void ClearRef();
    oci::OCIRef* Ref() const { return ref_; }
    void SetRef(oci::OCIRef* ref);
    // Where the client reads and writes the REF when it is bound.
    oci::OCIRef** RefAddress() { return &ref_; }
    // A REF the client made in a fetch: this REF frees it.
    void TakeFetchedRef(oci::OCIRef* ref);
    // Without a REF, an empty one of its own for the client to fill (an output bind).
    void AllocRef();

protected:
    ~TOraRef() override;

private:
    void ReleaseRef();

    bool pinFailed_ = false;
    bool ownsRef_ = false;
    oci::OCIRef* ref_ = nullptr;
};

class TOraArray : public TOraObject {
public:
    explicit TOraArray(TOraType* type = nullptr) : TOraObject(type) {}

    void CheckType() const override;
    void ChildChanged(TOraObject* child) override;
    void AssignObject(TOraObject* source) override;
    virtual int32_t Size();

    // Whether the element exists (a nested table may have holes).
    bool ElementExists(int32_t index);
    bool ElementIsNull(int32_t index);
    void SetElementNull(int32_t index);
    int32_t ElementAsInteger(int32_t index);
    void SetElementAsInteger(int32_t index, int32_t value);
    double ElementAsFloat(int32_t index);
    void SetElementAsFloat(int32_t index, double value);
    platform::TDateTime ElementAsDateTime(int32_t index);
    void SetElementAsDateTime(int32_t index, platform::TDateTime value);
    std::string ElementAsString(int32_t index);
    void SetElementAsString(int32_t index, const std::string& value);
    void SetElementObject(int32_t index, TOraObject* value);
    // Appends a null element; answers its index.
    int32_t AppendElement();
    // Grows the collection to count elements; never shrinks it.
    void SetSize(int32_t count);
    TDataType ElementType();

protected:
    oci::OCIColl* Collection();
    // The element at index: false when it does not exist.
    bool GetElement(int32_t index, void*& element, oci::OCIInd*& indicator);
    // The element when it exists and holds a value.
    bool ElementValue(int32_t index, void*& element);
    void AssignElement(int32_t index, const void* element, const void* indicator);
    void CheckElementType(TDataType expected, const char* message);
};

class TOraNestTable : public TOraArray {
public:
    explicit TOraNestTable(TOraType* type = nullptr) : TOraArray(type) {}

    void CheckType() const override;
    int32_t Size() override;
    void DeleteElement(int32_t index);
};

// Object, REF and collection codes: values held as a TOraObject that the client fills.
inline bool IsObjectDataType(TDataType dataType) {
    return dataType == dtObject || dataType == dtReference || dataType == dtArray || dataType == dtTable;
}

// Creates the value object of an object, REF or collection type code (14 to 17).
TOraObject* NewOraObject(TDataType dataType, TOraType* type);

}  // namespace oracle
