// Generic object-type model: a type with its attribute list, the module-wide list
// of existing types, and one value of a type. The record store turns attributes
// into child descriptors; the Oracle layer derives its types and objects from these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/DataTypes.h"
#include "oracle/core/SharedObject.h"

namespace oracle {

class TObjectType;

class TAttribute {
public:
    explicit TAttribute(TObjectType* owner) : owner_(owner) {}
    TAttribute(const TAttribute&) = delete;
    TAttribute& operator=(const TAttribute&) = delete;
    virtual ~TAttribute();

    std::string Name;
    TDataType DataType = dtUnknown;
    uint16_t Length = 0;
    uint16_t Scale = 0;
    uint16_t Size = 0;
    // Filled and read by the back end.
    uint16_t AttributeNo = 0;
    uint16_t BackEndType = 0;
    int32_t DataOffset = 0;
    int32_t IndicatorOffset = 0;

    TObjectType* Owner() const { return owner_; }
    TObjectType* ObjectType() const { return objectType_; }
    // Counts a reference unless the type is the owner's own (by name): a type
    // referring to itself must not keep itself alive.
    void SetObjectType(TObjectType* type);

private:
    void ReleaseType();

    TObjectType* owner_;
    TObjectType* objectType_ = nullptr;
    // Whether the reference held on objectType_ was counted, decided once when it
    // was set so that a later rename cannot unbalance the count.
    bool counted_ = false;
};

class TObjectType : public TSharedObject {
public:
    TObjectType();

    std::string Name;
    TDataType DataType = dtObject;
    int32_t Size = 0;  // arrays: the most elements

    int AttributeCount() const { return static_cast<int>(attributes_.size()); }
    TAttribute* Attributes(int index) const { return attributes_.at(static_cast<size_t>(index)).get(); }
    TAttribute* AddAttribute();
    void ClearAttributes() { attributes_.clear(); }

    // Path of names with "." and "[index]" (an index names the ELEMENT attribute);
    // nil when any step is missing or malformed.
    TAttribute* FindAttribute(const std::string& path) const;
    // As FindAttribute; raises "Attribute %s not found".
    TAttribute* AttributeByName(const std::string& path) const;

protected:
    ~TObjectType() override;

private:
    std::vector<std::unique_ptr<TAttribute>> attributes_;
};

// The module-wide list of existing object types; it does not count references.
class TObjectTypes {
public:
    // Nil until the first type is created and after the module is finalised.
    static TObjectTypes* Instance();
    int Count() const { return static_cast<int>(types_.size()); }
    TObjectType* Items(int index) const { return types_.at(static_cast<size_t>(index)); }
    // Blanks around the name and letter case do not matter.
    TObjectType* FindType(const std::string& name) const;

private:
    friend class TObjectType;
    friend void FinalizeObjectTypes();
    std::vector<TObjectType*> types_;
};

// Frees the module list (not the types still referenced elsewhere).
void FinalizeObjectTypes();

// One value of an object type; the Oracle object class fills the attribute access.
class TDBObject : public TSharedObject {
public:
    TObjectType* ObjectType() const { return objectType_; }
    void SetObjectType(TObjectType* type);

    // dest receives the value in the framework's native form; nil dest asks only for the null state.
    virtual void GetAttributeValue(const std::string& path, void* dest, bool& isNull);
    // value nil sets the attribute null.
    virtual void SetAttributeValue(const std::string& path, const void* value);

protected:
    ~TDBObject() override;

private:
    TObjectType* objectType_ = nullptr;
};

}  // namespace oracle
