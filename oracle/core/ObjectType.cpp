#include "oracle/core/ObjectType.h"

#include <algorithm>

#include "platform/SysUtils.h"

namespace oracle {

namespace {

std::unique_ptr<TObjectTypes>& ModuleTypes() {
    static std::unique_ptr<TObjectTypes> types;
    return types;
}

bool IsStructured(TDataType code) { return code >= dtObject && code <= dtTable; }

}  // namespace

TAttribute::~TAttribute() { ReleaseType(); }

void TAttribute::ReleaseType() {
    if (objectType_ && counted_) objectType_->Release();
    objectType_ = nullptr;
    counted_ = false;
}

void TAttribute::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    ReleaseType();
    objectType_ = type;
    counted_ = type && !(owner_ && type->Name == owner_->Name);
    if (counted_) type->AddRef();
}

TObjectType::TObjectType() {
    auto& types = ModuleTypes();
    if (!types) types = std::make_unique<TObjectTypes>();
    types->types_.push_back(this);
}

TObjectType::~TObjectType() {
    if (auto& types = ModuleTypes()) {
        auto& list = types->types_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    attributes_.clear();
}

TAttribute* TObjectType::AddAttribute() {
    attributes_.push_back(std::make_unique<TAttribute>(this));
    return attributes_.back().get();
}

TAttribute* TObjectType::FindAttribute(const std::string& path) const {
    std::string rest = platform::AnsiUpperCase(path);
    const TObjectType* type = this;
    while (true) {
        rest = platform::TrimLeft(rest);
        const size_t dot = rest.find('.');
        const size_t bracket = rest.find('[');
        std::string name;
        bool foundDot = false;
        bool foundBracket = false;
        if (bracket == 0) {
            const size_t close = rest.find(']');
            if (close == std::string::npos) return nullptr;
            name = "ELEMENT";
            rest.erase(0, close + 1);
            if (!rest.empty() && rest[0] == '.') {
                rest.erase(0, 1);
                foundDot = true;
            } else {
                foundBracket = true;
            }
        } else if (dot != std::string::npos && (bracket == std::string::npos || dot < bracket)) {
            name = rest.substr(0, dot);
            rest.erase(0, dot + 1);
            foundDot = true;
        } else if (bracket == std::string::npos) {
            name = rest;
            rest.clear();
        } else {
            name = rest.substr(0, bracket);
            rest.erase(0, bracket);
            foundBracket = true;
        }

        TAttribute* found = nullptr;
        for (const auto& attribute : type->attributes_)
            if (platform::AnsiUpperCase(attribute->Name) == name) {
                found = attribute.get();
                break;
            }
        if (!found) return nullptr;
        const bool more = foundDot || (foundBracket && !rest.empty());
        if (!more) return found;
        // A further step into a scalar, or into a type the back end left unset, finds nothing.
        if (!IsStructured(found->DataType) || !found->ObjectType()) return nullptr;
        type = found->ObjectType();
    }
}

TAttribute* TObjectType::AttributeByName(const std::string& path) const {
    TAttribute* attribute = FindAttribute(path);
    if (!attribute) throw platform::Exception("Attribute " + path + " not found");
    return attribute;
}

TObjectTypes* TObjectTypes::Instance() { return ModuleTypes().get(); }

TObjectType* TObjectTypes::FindType(const std::string& name) const {
    const std::string wanted = platform::AnsiUpperCase(platform::Trim(name));
    for (TObjectType* type : types_)
        if (platform::AnsiUpperCase(type->Name) == wanted) return type;
    return nullptr;
}

void FinalizeObjectTypes() { ModuleTypes().reset(); }

TDBObject::~TDBObject() { SetObjectType(nullptr); }

void TDBObject::SetObjectType(TObjectType* type) {
    if (type == objectType_) return;
    if (objectType_) objectType_->Release();
    objectType_ = type;
    if (objectType_) objectType_->AddRef();
}

void TDBObject::GetAttributeValue(const std::string&, void*, bool& isNull) { isNull = true; }

void TDBObject::SetAttributeValue(const std::string&, const void*) {}

}  // namespace oracle
