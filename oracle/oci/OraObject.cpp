#include "oracle/oci/OraObject.h"

#include <cmath>
#include <cstring>

#include "oracle/core/Assertion.h"
#include "oracle/core/Data.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraLob.h"
#include "platform/DateTime.h"
#include "platform/SysUtils.h"

// Element conventions of the client's collection calls: OCICollGetElem answers the
// address of an element's slot (for texts the address of its OCIString*), while
// OCICollAppend and OCICollAssignElem take the element's value (for texts the OCIString*
// itself, otherwise the address of the number, date or instance).

namespace oracle {

namespace {

OCIEnv* Environment() { return OciClient().Environment; }
OCIError* ErrorHandle() { return OciClient().ErrorHandle; }

[[noreturn]] void InvalidAttributeName() { throw platform::Exception("Invalid attribute name"); }

template <class T>
T ReadSlot(const void* slot) {
    T value;
    std::memcpy(&value, slot, sizeof value);
    return value;
}

OCIInd ReadIndicator(const void* at) { return ReadSlot<OCIInd>(at); }
void WriteIndicator(void* at, OCIInd value) { std::memcpy(at, &value, sizeof value); }

char* AddBytes(void* base, int32_t offset) { return static_cast<char*>(base) + offset; }

TDataType DataTypeOf(const TAttribute* attribute) { return attribute ? attribute->DataType : dtUnknown; }

void CheckKind(const TAttribute* attribute, std::initializer_list<TDataType> kinds, const char* message) {
    for (TDataType kind : kinds)
        if (DataTypeOf(attribute) == kind) return;
    throw platform::EConvertError(message);
}

platform::TDateTime OCIDateToDateTime(const OCIDate& date) {
    return platform::EncodeDate(date.year, date.month, date.day) +
           platform::EncodeTime(date.hour, date.minute, date.second, 0);
}

OCIDate DateTimeToOCIDate(platform::TDateTime value) {
    int year, month, day, hour, minute, second, msec;
    platform::DecodeDate(value, year, month, day);
    platform::DecodeTime(value, hour, minute, second, msec);
    OCIDate date{};
    date.year = static_cast<sb2>(year);
    date.month = static_cast<ub1>(month);
    date.day = static_cast<ub1>(day);
    date.hour = static_cast<ub1>(hour);
    date.minute = static_cast<ub1>(minute);
    date.second = static_cast<ub1>(second);
    return date;
}

OCINumber NumberFromInt(int32_t value) {
    OCINumber number{};
    CheckStatus(Oci.OCINumberFromInt(ErrorHandle(), &value, sizeof value, OCI_NUMBER_SIGNED, &number));
    return number;
}

OCINumber NumberFromReal(double value) {
    OCINumber number{};
    CheckStatus(Oci.OCINumberFromReal(ErrorHandle(), &value, sizeof value, &number));
    return number;
}

int32_t NumberToInt(const void* number) {
    int32_t value = 0;
    CheckStatus(Oci.OCINumberToInt(ErrorHandle(), static_cast<const OCINumber*>(number), sizeof value,
                                   OCI_NUMBER_SIGNED, &value));
    return value;
}

double NumberToReal(const void* number) {
    double value = 0;
    CheckStatus(Oci.OCINumberToReal(ErrorHandle(), static_cast<const OCINumber*>(number), sizeof value, &value));
    return value;
}

// The text of a string slot, at most length characters (0: no limit).
std::string SlotText(const void* slot, uint16_t length) {
    auto* string = ReadSlot<OCIString*>(slot);
    if (!string) return {};
    const char* text = reinterpret_cast<const char*>(Oci.OCIStringPtr(Environment(), string));
    if (!text) return {};
    return std::string(text, length ? strnlen(text, length) : std::strlen(text));
}

// A client string holding a text, freed with the holder.
class TOciText {
public:
    explicit TOciText(const std::string& text) {
        CheckStatus(Oci.OCIStringResize(Environment(), ErrorHandle(), static_cast<ub4>(text.size() + 1), &string_));
        CheckStatus(Oci.OCIStringAssignText(Environment(), ErrorHandle(),
                                            reinterpret_cast<const OraText*>(text.data()),
                                            static_cast<ub4>(text.size()), &string_));
    }
    ~TOciText() {
        if (string_) Oci.OCIStringResize(Environment(), ErrorHandle(), 0, &string_);
    }
    TOciText(const TOciText&) = delete;
    TOciText& operator=(const TOciText&) = delete;
    OCIString* get() const { return string_; }

private:
    OCIString* string_ = nullptr;
};

// The path split at its first "[": names before it, the index, and what follows the "]".
struct TIndexStep {
    std::string prefix;
    int32_t index = 0;
    std::string rest;
};

TIndexStep SplitAtIndex(const std::string& path, size_t bracket) {
    TIndexStep step;
    step.prefix = path.substr(0, bracket);
    while (!step.prefix.empty() && step.prefix.back() == '.') step.prefix.pop_back();
    const size_t close = path.find(']', bracket);
    if (close == std::string::npos) InvalidAttributeName();
    if (!platform::TryStrToInt(platform::Trim(path.substr(bracket + 1, close - bracket - 1)), step.index) ||
        step.index < 0)
        InvalidAttributeName();
    step.rest = path.substr(close + 1);
    if (!step.rest.empty() && step.rest[0] == '.') step.rest.erase(0, 1);
    return step;
}

std::vector<std::string> SplitNames(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        const size_t dot = path.find('.', start);
        names.push_back(platform::Trim(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start)));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return names;
}

}  // namespace

// --- TOraObject --------------------------------------------------------------------------

TOraObject::TOraObject(TOraType* type) { SetObjectType(type); }

TOraObject::~TOraObject() {
    try {
        FreeObject();
    } catch (...) {
        // The client may be gone already; the instance goes with it.
    }
    ReleaseChildren();
    type_ = nullptr;
}

void TOraObject::SetObjectType(TOraType* type) {
    if (type == type_) return;
    FreeObject();
    TDBObject::SetObjectType(type);
    type_ = type;
}

void TOraObject::SetInstance(void* instance) {
    if (instance == instance_) return;
    if (ownsInstance_) FreeObject();
    instance_ = instance;
}

void TOraObject::TakeFetchedInstance(void* instance) {
    if (instance == instance_ || instance == nullptr) return;
    FreeObject();
    instance_ = instance;
    ownsInstance_ = true;
    CheckStatus(Oci.OCIObjectGetInd(Environment(), ErrorHandle(), instance_, &indicator_));
}

void TOraObject::CheckType() const {
    if (!type_) throw platform::Exception("Type of object must be defined");
}

bool TOraObject::IsNull() { return !indicator_ || ReadIndicator(indicator_) != 0; }

void TOraObject::SetNull(bool value) {
    if (indicator_) WriteIndicator(indicator_, value ? IndNull : IndNotNull);
}

void TOraObject::CheckAllocated(bool raise) {
    if (instance_) return;
    if (AutoCreate)
        AllocObject();
    else if (raise)
        throw platform::Exception("Object is not allocated");
}

void TOraObject::AllocObject() {
    CheckType();
    if (!svcCtx_) throw platform::Exception("OCISvcCtx is not defined");
    if (owner_) {
        owner_->ChildChanged(this);
    } else if (!instance_) {
        const ub2 typeCode = type_->DataType == dtObject ? OCI_TYPECODE_OBJECT : OCI_TYPECODE_NAMEDCOLLECTION;
        CheckStatus(Oci.OCIObjectNew(Environment(), ErrorHandle(), svcCtx_, typeCode, type_->TypeDescriptor(), nullptr,
                                     OCI_DURATION_SESSION, 1, &instance_));
        ownsInstance_ = true;
    }
    if (instance_ && !indicator_) CheckStatus(Oci.OCIObjectGetInd(Environment(), ErrorHandle(), instance_, &indicator_));
}

void TOraObject::FreeObject() {
    if (ownsInstance_ && instance_)
        CheckStatus(Oci.OCIObjectFree(Environment(), ErrorHandle(), instance_, OCI_OBJECTFREE_FORCE));
    instance_ = nullptr;
    indicator_ = nullptr;
    ownsInstance_ = false;
    ReleaseChildren();
}

void TOraObject::ReleaseChildren() {
    // A child someone else still holds must not reach into the freed instance.
    for (TSharedObject* child : children_) {
        if (auto* object = dynamic_cast<TOraObject*>(child)) {
            object->owner_ = nullptr;
            if (!object->ownsInstance_) {
                object->instance_ = nullptr;
                object->indicator_ = nullptr;
            }
        }
        ReleaseObject(child);
    }
    children_.clear();
}

TSharedObject* TOraObject::Child(int index) const {
    return index >= 0 && static_cast<size_t>(index) < children_.size() ? children_[static_cast<size_t>(index)] : nullptr;
}

void TOraObject::SetChild(int index, TSharedObject* child) {
    if (children_.size() <= static_cast<size_t>(index)) children_.resize(static_cast<size_t>(index) + 1, nullptr);
    children_[static_cast<size_t>(index)] = child;
}

void TOraObject::ChildChanged(TOraObject* child) {
    CheckAllocated(true);
    TAttribute* attribute = type_->Attributes(child->ownerIndex_);
    char* slot = AddBytes(instance_, attribute->DataOffset);
    char* indicator = indicator_ ? AddBytes(indicator_, attribute->IndicatorOffset) : nullptr;
    if (attribute->DataType == dtObject)
        child->SetInstance(slot);
    else
        child->SetInstance(ReadSlot<void*>(slot));  // collections are held by pointer
    child->indicator_ = indicator;
}

OCIRef* TOraObject::GetObjectRef() {
    CheckAllocated(true);
    void* ref = nullptr;
    CheckStatus(Oci.OCIObjectNew(Environment(), ErrorHandle(), svcCtx_, OCI_TYPECODE_REF, nullptr, nullptr,
                                 OCI_DURATION_SESSION, 1, &ref));
    const sword status = Oci.OCIObjectGetObjectRef(Environment(), ErrorHandle(), instance_, static_cast<OCIRef*>(ref));
    if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
        Oci.OCIObjectFree(Environment(), ErrorHandle(), ref, OCI_OBJECTFREE_FORCE);
        CheckStatus(status);
    }
    return static_cast<OCIRef*>(ref);
}

void TOraObject::Refresh() {
    CheckAllocated(true);
    OCIRef* ref = GetObjectRef();
    void* pinned = nullptr;
    const sword status = Oci.OCIObjectPin(Environment(), ErrorHandle(), ref, nullptr, OCI_PIN_LATEST,
                                          OCI_DURATION_SESSION, OCI_LOCK_NONE, &pinned);
    Oci.OCIObjectFree(Environment(), ErrorHandle(), ref, OCI_OBJECTFREE_FORCE);
    CheckStatus(status);
}

void TOraObject::AssignObject(TOraObject* source) {
    CheckAllocated(true);
    source->CheckAllocated(true);
    CheckStatus(Oci.OCIObjectCopy(Environment(), ErrorHandle(), svcCtx_, source->instance_, source->indicator_,
                                  instance_, indicator_, type_->TypeDescriptor(), OCI_DURATION_SESSION, 0));
}

void TOraObject::Flush() {
    CheckAllocated(true);
    CheckStatus(Oci.OCIObjectFlush(Environment(), ErrorHandle(), instance_));
}

void TOraObject::MarkDelete() {
    CheckAllocated(true);
    CheckStatus(Oci.OCIObjectMarkDelete(Environment(), ErrorHandle(), instance_));
}

// Parts of a null object or collection are null whatever their own indicators say.
TOraObject::TAttributeLocation TOraObject::GetAttribute(const std::string& path) {
    TAttributeLocation location = LocateAttribute(path);
    if (indicator_ && ReadIndicator(indicator_) != IndNotNull) location.Indicator = IndNull;
    return location;
}

TOraObject::TAttributeLocation TOraObject::LocateAttribute(const std::string& path) {
    CheckAllocated(true);
    TAttributeLocation location;
    std::string rest = platform::AnsiUpperCase(path);
    char* value = static_cast<char*>(instance_);
    char* indicators = static_cast<char*>(indicator_);
    TOraType* type = type_;
    bool more = true;
    while (more) {
        rest = platform::TrimLeft(rest);
        if (!rest.empty() && rest[0] == '[') {
            const TIndexStep step = SplitAtIndex(rest, 0);
            if (!type || type->AttributeCount() == 0) InvalidAttributeName();
            TAttribute* element = type->Attributes(0);
            location.Attribute = element;
            boolean exists = 0;
            void* item = nullptr;
            void* itemIndicator = nullptr;
            CheckStatus(Oci.OCICollGetElem(Environment(), ErrorHandle(), reinterpret_cast<OCIColl*>(value), step.index,
                                           &exists, &item, &itemIndicator));
            if (!exists) {
                location.Indicator = IndNull;
                location.Value = nullptr;
                location.IndicatorStruct = nullptr;
                return location;
            }
            value = static_cast<char*>(item);
            indicators = static_cast<char*>(itemIndicator);
            location.Indicator = indicators ? ReadIndicator(indicators) : IndNotNull;
            rest = step.rest;
            more = !rest.empty();
            if (more) {
                type = dynamic_cast<TOraType*>(element->ObjectType());
                if (!type) InvalidAttributeName();
            }
            continue;
        }
        const size_t dot = rest.find('.');
        const size_t bracket = rest.find('[');
        const size_t end = std::min(dot, bracket);
        const std::string name = platform::Trim(rest.substr(0, end));
        if (end == std::string::npos)
            rest.clear();
        else
            rest = rest.substr(end == dot ? end + 1 : end);
        more = end != std::string::npos;
        if (!type) InvalidAttributeName();
        TAttribute* attribute = nullptr;
        for (int i = 0; i < type->AttributeCount() && !attribute; ++i)
            if (type->Attributes(i)->Name == name) attribute = type->Attributes(i);
        if (!attribute) InvalidAttributeName();
        location.Attribute = attribute;
        value += attribute->DataOffset;
        location.Indicator = indicators ? ReadIndicator(indicators + attribute->IndicatorOffset) : IndNull;
        const bool composite = attribute->DataType == dtObject || attribute->DataType == dtArray ||
                               attribute->DataType == dtTable;
        if (more && !composite) InvalidAttributeName();  // only objects and collections have parts
        if (composite && indicators) indicators += attribute->IndicatorOffset;
        if (attribute->ObjectType()) {
            type = dynamic_cast<TOraType*>(attribute->ObjectType());
            if (attribute->DataType == dtArray || attribute->DataType == dtTable) value = ReadSlot<char*>(value);
        }
        if (!more) {
            // The indicator of a scalar attribute lives in the enclosing structure.
            location.Value = value;
            location.IndicatorStruct =
                attribute->DataType == dtObject || attribute->DataType == dtArray || attribute->DataType == dtTable
                    ? indicators
                    : nullptr;
            return location;
        }
    }
    location.Value = value;
    location.IndicatorStruct = indicators;
    return location;
}

oci::sword TOraObject::AppendNullElement(OCIColl* collection, TOraType* collectionType) {
    TAttribute* element = collectionType->Attributes(0);
    OCIInd nullIndicator = IndNull;
    switch (element->DataType) {
    case dtString: {
        TOciText empty("");
        return Oci.OCICollAppend(Environment(), ErrorHandle(), empty.get(), &nullIndicator, collection);
    }
    case dtInteger:
    case dtFloat: {
        OCINumber zero{};
        return Oci.OCICollAppend(Environment(), ErrorHandle(), &zero, &nullIndicator, collection);
    }
    case dtDateTime: {
        OCIDate zero{};
        return Oci.OCICollAppend(Environment(), ErrorHandle(), &zero, &nullIndicator, collection);
    }
    case dtObject: {
        auto* elementType = static_cast<TOraType*>(element->ObjectType());
        std::vector<char> zero(elementType->DataSize, 0);
        std::vector<OCIInd> indicators(elementType->IndicatorSize / sizeof(OCIInd), IndNull);
        return Oci.OCICollAppend(Environment(), ErrorHandle(), zero.data(), indicators.data(), collection);
    }
    default:
        AssertionFailed(UnitOraObjects, "Unknown data type");
    }
}

void TOraObject::GrowCollection(OCIColl* collection, TOraType* collectionType, int32_t index) {
    sb4 size = 0;
    CheckStatus(Oci.OCICollSize(Environment(), ErrorHandle(), collection, &size));
    for (; size <= index; ++size) CheckStatus(AppendNullElement(collection, collectionType));
}

void TOraObject::SetAttribute(const std::string& path, const void* value, OCIInd indicator) {
    CheckAllocated(true);
    const std::string upper = platform::AnsiUpperCase(path);
    const size_t bracket = upper.find('[');
    if (bracket == std::string::npos) {
        const std::vector<std::string> names = SplitNames(upper);
        std::vector<const OraText*> texts;
        std::vector<ub4> lengths;
        for (const auto& name : names) {
            texts.push_back(reinterpret_cast<const OraText*>(name.c_str()));
            lengths.push_back(static_cast<ub4>(name.size()));
        }
        GetAttribute(upper);  // the path must name an attribute
        CheckStatus(Oci.OCIObjectSetAttr(Environment(), ErrorHandle(), instance_, indicator_, type_->TypeDescriptor(),
                                         texts.data(), lengths.data(), static_cast<ub4>(names.size()), nullptr, 0,
                                         indicator, nullptr, value));
        if (indicator == IndNotNull) {
            // Every enclosing object holds a value now, this one too, or the client drops the
            // one written.
            if (indicator_) WriteIndicator(indicator_, IndNotNull);
            std::string prefix;
            for (size_t i = 0; i + 1 < names.size(); ++i) {
                prefix += (i ? "." : "") + names[i];
                TAttributeLocation enclosing = GetAttribute(prefix);
                if (enclosing.IndicatorStruct) WriteIndicator(enclosing.IndicatorStruct, IndNotNull);
            }
        }
        return;
    }

    const TIndexStep step = SplitAtIndex(upper, bracket);
    OCIColl* collection = nullptr;
    TOraType* collectionType = nullptr;
    void* collectionIndicator = nullptr;
    if (step.prefix.empty()) {
        collection = static_cast<OCIColl*>(instance_);
        collectionType = type_;
        collectionIndicator = indicator_;
    } else {
        TAttributeLocation location = GetAttribute(step.prefix);
        if (DataTypeOf(location.Attribute) != dtArray && DataTypeOf(location.Attribute) != dtTable)
            InvalidAttributeName();
        collection = static_cast<OCIColl*>(location.Value);
        collectionType = dynamic_cast<TOraType*>(location.Attribute->ObjectType());
        collectionIndicator = location.IndicatorStruct;
    }
    if (!collection || !collectionType || collectionType->AttributeCount() == 0) InvalidAttributeName();
    GrowCollection(collection, collectionType, step.index);
    boolean exists = 0;
    void* element = nullptr;
    void* elementIndicator = nullptr;
    CheckStatus(Oci.OCICollGetElem(Environment(), ErrorHandle(), collection, step.index, &exists, &element,
                                   &elementIndicator));
    if (!exists) InvalidAttributeName();
    TAttribute* elementAttribute = collectionType->Attributes(0);
    if (step.rest.empty()) {
        const void* assigned = value;
        if (!assigned)  // null: the element keeps its value under a null indicator
            assigned = elementAttribute->DataType == dtString ? ReadSlot<void*>(element) : element;
        OCIInd elementNull = indicator;
        CheckStatus(Oci.OCICollAssignElem(Environment(), ErrorHandle(), step.index, assigned, &elementNull, collection));
    } else {
        if (step.rest.find('[') != std::string::npos) InvalidAttributeName();
        auto* elementType = dynamic_cast<TOraType*>(elementAttribute->ObjectType());
        if (!elementType || elementAttribute->DataType != dtObject) InvalidAttributeName();
        const std::vector<std::string> names = SplitNames(step.rest);
        std::vector<const OraText*> texts;
        std::vector<ub4> lengths;
        for (const auto& name : names) {
            texts.push_back(reinterpret_cast<const OraText*>(name.c_str()));
            lengths.push_back(static_cast<ub4>(name.size()));
        }
        CheckStatus(Oci.OCIObjectSetAttr(Environment(), ErrorHandle(), element, elementIndicator,
                                         elementType->TypeDescriptor(), texts.data(), lengths.data(),
                                         static_cast<ub4>(names.size()), nullptr, 0, indicator, nullptr, value));
        if (indicator == IndNotNull && elementIndicator) WriteIndicator(elementIndicator, IndNotNull);
    }
    if (indicator == IndNotNull && collectionIndicator) WriteIndicator(collectionIndicator, IndNotNull);
}

bool TOraObject::AttrIsNull(const std::string& path) { return GetAttribute(path).Indicator != IndNotNull; }

void TOraObject::SetAttrNull(const std::string& path) { SetAttribute(path, nullptr, IndNull); }

int32_t TOraObject::AttrAsInteger(const std::string& path) {
    const TAttributeLocation location = GetAttribute(path);
    CheckKind(location.Attribute, {dtInteger, dtFloat}, "Cannot convert type to OCINumber");
    if (location.Indicator != IndNotNull || !location.Value) return 0;
    return NumberToInt(location.Value);
}

void TOraObject::SetAttrAsInteger(const std::string& path, int32_t value) {
    CheckKind(GetAttribute(path).Attribute, {dtInteger, dtFloat}, "Cannot convert type to OCINumber");
    const OCINumber number = NumberFromInt(value);
    SetAttribute(path, &number, IndNotNull);
}

double TOraObject::AttrAsFloat(const std::string& path) {
    const TAttributeLocation location = GetAttribute(path);
    CheckKind(location.Attribute, {dtInteger, dtFloat}, "Cannot convert type to OCINumber");
    if (location.Indicator != IndNotNull || !location.Value) return 0;
    return NumberToReal(location.Value);
}

void TOraObject::SetAttrAsFloat(const std::string& path, double value) {
    CheckKind(GetAttribute(path).Attribute, {dtInteger, dtFloat}, "Cannot convert type to OCINumber");
    const OCINumber number = NumberFromReal(value);
    SetAttribute(path, &number, IndNotNull);
}

platform::TDateTime TOraObject::AttrAsDateTime(const std::string& path) {
    const TAttributeLocation location = GetAttribute(path);
    CheckKind(location.Attribute, {dtDateTime}, "Cannot convert type to OCIDate");
    if (location.Indicator != IndNotNull || !location.Value) return 0;
    return OCIDateToDateTime(ReadSlot<OCIDate>(location.Value));
}

void TOraObject::SetAttrAsDateTime(const std::string& path, platform::TDateTime value) {
    CheckKind(GetAttribute(path).Attribute, {dtDateTime}, "Cannot convert type to OCIDate");
    const OCIDate date = DateTimeToOCIDate(value);
    SetAttribute(path, &date, IndNotNull);
}

std::string TOraObject::AttrAsString(const std::string& path) {
    const TAttributeLocation location = GetAttribute(path);
    CheckKind(location.Attribute, {dtString}, "Cannot convert type to OCIString");
    if (location.Indicator != IndNotNull || !location.Value) return {};
    return SlotText(location.Value, location.Attribute->Length);
}

void TOraObject::SetAttrAsString(const std::string& path, const std::string& value) {
    CheckKind(GetAttribute(path).Attribute, {dtString}, "Cannot convert type to OCIString");
    TOciText text(value);
    SetAttribute(path, text.get(), IndNotNull);
}

void TOraObject::GetAttributeValue(const std::string& path, void* dest, bool& isNull) {
    const TAttributeLocation location = GetAttribute(path);
    isNull = location.Indicator != IndNotNull || !location.Value;
    const TDataType type = DataTypeOf(location.Attribute);
    const bool complex = type == dtObject || type == dtReference || type == dtArray || type == dtTable ||
                         type == dtOraBlob || type == dtOraClob;
    if (!dest || (isNull && !complex)) return;
    switch (type) {
    case dtString: {
        const std::string text = SlotText(location.Value, location.Attribute->Length);
        std::memcpy(dest, text.c_str(), text.size() + 1);
        break;
    }
    case dtInteger: {
        const int32_t value = NumberToInt(location.Value);
        std::memcpy(dest, &value, sizeof value);
        break;
    }
    case dtFloat: {
        const double value = NumberToReal(location.Value);
        std::memcpy(dest, &value, sizeof value);
        break;
    }
    case dtDateTime: {
        const double value = DateTimeToMSecs(OCIDateToDateTime(ReadSlot<OCIDate>(location.Value)));
        std::memcpy(dest, &value, sizeof value);
        break;
    }
    case dtObject:
    case dtReference:
    case dtArray:
    case dtTable: {
        TOraObject* child = AttrAsObject(path);
        std::memcpy(dest, &child, sizeof child);
        break;
    }
    case dtOraBlob:
    case dtOraClob: {
        TOraLob* child = AttrAsLob(path);
        std::memcpy(dest, &child, sizeof child);
        break;
    }
    default:
        AssertionFailed(UnitOraObjects, "Unknown data type");
    }
}

void TOraObject::SetAttributeValue(const std::string& path, const void* value) {
    if (!value) {
        SetAttrNull(path);
        return;
    }
    switch (DataTypeOf(GetAttribute(path).Attribute)) {
    case dtString: SetAttrAsString(path, static_cast<const char*>(value)); break;
    case dtInteger: SetAttrAsInteger(path, ReadSlot<int32_t>(value)); break;
    case dtFloat: SetAttrAsFloat(path, ReadSlot<double>(value)); break;
    case dtDateTime: SetAttrAsDateTime(path, MSecsToDateTime(std::round(ReadSlot<double>(value)))); break;
    default: throw platform::Exception("Unknown data type");
    }
}

TOraObject* TOraObject::AttrAsObject(const std::string& name) {
    if (name.find('.') != std::string::npos) throw platform::Exception("Comlex attribute is not supported");
    CheckAllocated(true);
    const TAttributeLocation location = GetAttribute(name);
    TAttribute* attribute = location.Attribute;
    CheckKind(attribute, {dtObject, dtReference, dtArray, dtTable}, "Cannot convert type to Object");
    const int index = attribute->AttributeNo - 1;
    if (auto* existing = dynamic_cast<TOraObject*>(Child(index))) return existing;
    auto* type = dynamic_cast<TOraType*>(attribute->ObjectType());
    TOraObject* child = NewOraObject(attribute->DataType, type);
    child->svcCtx_ = svcCtx_;
    SetChild(index, child);
    if (auto* ref = dynamic_cast<TOraRef*>(child)) {
        ref->SetRef(ReadSlot<OCIRef*>(AddBytes(instance_, attribute->DataOffset)));
        if (!ref->RefIsNull()) ref->Refresh();
    } else {
        child->owner_ = this;
        child->ownerIndex_ = index;
        child->CheckAllocated(false);  // takes its instance from this one
    }
    return child;
}

TOraLob* TOraObject::AttrAsLob(const std::string& name) {
    if (name.find('.') != std::string::npos) throw platform::Exception("Comlex attribute is not supported");
    CheckAllocated(true);
    const TAttributeLocation location = GetAttribute(name);
    TAttribute* attribute = location.Attribute;
    CheckKind(attribute, {dtOraBlob, dtOraClob}, "Cannot convert type to Lob");
    const int index = attribute->AttributeNo - 1;
    if (auto* existing = dynamic_cast<TOraLob*>(Child(index))) return existing;
    auto* lob = NewShared<TOraLob>(svcCtx_);
    SetChild(index, lob);
    lob->SetLocator(ReadSlot<OCILobLocator*>(location.Value));
    if (location.Indicator == IndNotNull) lob->ReadLob();
    return lob;
}

// --- TOraRef -----------------------------------------------------------------------------

bool TOraRef::RefIsNull() const { return !ref_ || Oci.OCIRefIsNull(Environment(), ref_) != 0; }

bool TOraRef::IsNull() { return !ref_ || RefIsNull() || pinFailed_; }

void TOraRef::SetNull(bool value) {
    if (value) ClearRef();
}

TOraRef::~TOraRef() {
    try {
        ReleaseRef();
    } catch (...) {
        // The client may be gone already; the REF goes with it.
    }
}

void TOraRef::ReleaseRef() {
    if (ownsRef_ && ref_) Oci.OCIObjectFree(Environment(), ErrorHandle(), ref_, OCI_OBJECTFREE_FORCE);
    ownsRef_ = false;
}

// The object pinned for the old REF is not the new one's.
void TOraRef::ClearRef() {
    FreeObject();
    if (ref_ && !ownsRef_) Oci.OCIRefClear(Environment(), ref_);
    ReleaseRef();
    ref_ = nullptr;
    pinFailed_ = false;
}

void TOraRef::SetRef(OCIRef* ref) {
    if (ref == ref_) return;
    FreeObject();
    ReleaseRef();
    ref_ = ref;
    pinFailed_ = false;
}

void TOraRef::TakeFetchedRef(OCIRef* ref) {
    if (ref == ref_) return;
    SetRef(ref);
    ownsRef_ = ref != nullptr;
}

void TOraRef::AllocRef() {
    if (ref_) return;
    if (!svcCtx_) throw platform::Exception("OCISvcCtx is not defined");
    void* ref = nullptr;
    CheckStatus(Oci.OCIObjectNew(Environment(), ErrorHandle(), svcCtx_, OCI_TYPECODE_REF, nullptr, nullptr,
                                 OCI_DURATION_SESSION, 1, &ref));
    ref_ = static_cast<OCIRef*>(ref);
    ownsRef_ = true;
    pinFailed_ = false;
}

void TOraRef::AllocObject() {
    CheckType();
    Refresh();
    if (!instance_) throw platform::Exception("Object is not allocated");
}

void TOraRef::Refresh() {
    Check(instance_ == nullptr, UnitOraObjects);
    if (RefIsNull()) throw platform::Exception("OCIRef is not assigned");
    void* pinned = nullptr;
    const sword status = Oci.OCIObjectPin(Environment(), ErrorHandle(), ref_, nullptr, OCI_PIN_LATEST,
                                          OCI_DURATION_SESSION, OCI_LOCK_NONE, &pinned);
    if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
        // A deleted target is no error: the REF then reads as null.
        pinFailed_ = true;
        return;
    }
    instance_ = pinned;
    ownsInstance_ = false;
    if (!indicator_) CheckStatus(Oci.OCIObjectGetInd(Environment(), ErrorHandle(), instance_, &indicator_));
}

void TOraRef::AssignObject(TOraObject* source) {
    auto* ref = dynamic_cast<TOraRef*>(source);
    if (!ref) {
        TOraObject::AssignObject(source);
        return;
    }
    if (ref->RefIsNull()) {
        ClearRef();
        return;
    }
    // The object pinned for the old REF is not the new one's; without a REF of its own the
    // client makes one, which this REF then frees.
    FreeObject();
    const bool allocates = ref_ == nullptr;
    CheckStatus(Oci.OCIRefAssign(Environment(), ErrorHandle(), ref->ref_, &ref_));
    if (allocates) ownsRef_ = ref_ != nullptr;
    pinFailed_ = false;
}

// --- TOraArray ---------------------------------------------------------------------------

void TOraArray::CheckType() const {
    TOraObject::CheckType();
    if (type_->DataType != dtArray && type_->DataType != dtTable)
        throw platform::Exception("Type of object must be Array");
}

OCIColl* TOraArray::Collection() {
    CheckAllocated(true);
    return static_cast<OCIColl*>(instance_);
}

int32_t TOraArray::Size() {
    if (!instance_) return 0;
    sb4 size = 0;
    CheckStatus(Oci.OCICollSize(Environment(), ErrorHandle(), static_cast<OCIColl*>(instance_), &size));
    return size;
}

void TOraArray::ChildChanged(TOraObject* child) {
    OCIColl* collection = Collection();
    GrowCollection(collection, type_, child->OwnerIndex());
    void* element = nullptr;
    OCIInd* indicator = nullptr;
    if (GetElement(child->OwnerIndex(), element, indicator)) {
        child->SetInstance(element);
        child->SetIndicator(indicator);
    }
}

void TOraArray::AssignObject(TOraObject* source) {
    auto* array = dynamic_cast<TOraArray*>(source);
    if (!array) throw platform::EConvertError("Cannot convert type to Object");
    CheckStatus(Oci.OCICollAssign(Environment(), ErrorHandle(), array->Collection(), Collection()));
}

bool TOraArray::GetElement(int32_t index, void*& element, OCIInd*& indicator) {
    boolean exists = 0;
    void* item = nullptr;
    void* itemIndicator = nullptr;
    CheckStatus(Oci.OCICollGetElem(Environment(), ErrorHandle(), Collection(), index, &exists, &item, &itemIndicator));
    element = item;
    indicator = static_cast<OCIInd*>(itemIndicator);
    return exists != 0 && item;
}

void TOraArray::AssignElement(int32_t index, const void* element, const void* indicator) {
    OCIColl* collection = Collection();
    GrowCollection(collection, type_, index);
    CheckStatus(Oci.OCICollAssignElem(Environment(), ErrorHandle(), index, element, indicator, collection));
    if (indicator_) WriteIndicator(indicator_, IndNotNull);
}

TDataType TOraArray::ElementType() {
    CheckType();
    return type_->AttributeCount() > 0 ? type_->Attributes(0)->DataType : dtUnknown;
}

void TOraArray::CheckElementType(TDataType expected, const char* message) {
    const TDataType type = ElementType();
    if (type != expected && !(expected == dtFloat && type == dtInteger) && !(expected == dtInteger && type == dtFloat))
        throw platform::EConvertError(message);
}

bool TOraArray::ElementValue(int32_t index, void*& element) {
    OCIInd* indicator = nullptr;
    return GetElement(index, element, indicator) && !(indicator && ReadIndicator(indicator) != IndNotNull);
}

bool TOraArray::ElementExists(int32_t index) {
    void* element = nullptr;
    OCIInd* indicator = nullptr;
    return GetElement(index, element, indicator);
}

bool TOraArray::ElementIsNull(int32_t index) {
    void* element = nullptr;
    OCIInd* indicator = nullptr;
    if (!GetElement(index, element, indicator)) return false;
    return indicator && ReadIndicator(indicator) != IndNotNull;
}

void TOraArray::SetElementNull(int32_t index) {
    OCIColl* collection = Collection();
    GrowCollection(collection, type_, index);
    void* element = nullptr;
    OCIInd* indicator = nullptr;
    if (!GetElement(index, element, indicator)) return;
    OCIInd nullIndicator = IndNull;
    const void* value = ElementType() == dtString ? ReadSlot<void*>(element) : element;
    CheckStatus(Oci.OCICollAssignElem(Environment(), ErrorHandle(), index, value, &nullIndicator, collection));
}

int32_t TOraArray::ElementAsInteger(int32_t index) {
    CheckElementType(dtInteger, "Cannot convert type to Integer");
    void* element = nullptr;
    if (!ElementValue(index, element)) return 0;
    return NumberToInt(element);
}

void TOraArray::SetElementAsInteger(int32_t index, int32_t value) {
    CheckElementType(dtInteger, "Cannot convert type to Integer");
    const OCINumber number = NumberFromInt(value);
    const OCIInd present = IndNotNull;
    AssignElement(index, &number, &present);
}

double TOraArray::ElementAsFloat(int32_t index) {
    CheckElementType(dtFloat, "Cannot convert type to Float");
    void* element = nullptr;
    if (!ElementValue(index, element)) return 0;
    return NumberToReal(element);
}

void TOraArray::SetElementAsFloat(int32_t index, double value) {
    CheckElementType(dtFloat, "Cannot convert type to Float");
    const OCINumber number = NumberFromReal(value);
    const OCIInd present = IndNotNull;
    AssignElement(index, &number, &present);
}

platform::TDateTime TOraArray::ElementAsDateTime(int32_t index) {
    CheckElementType(dtDateTime, "Cannot convert type to Date");
    void* element = nullptr;
    if (!ElementValue(index, element)) return 0;
    return OCIDateToDateTime(ReadSlot<OCIDate>(element));
}

void TOraArray::SetElementAsDateTime(int32_t index, platform::TDateTime value) {
    CheckElementType(dtDateTime, "Cannot convert type to Date");
    const OCIDate date = DateTimeToOCIDate(value);
    const OCIInd present = IndNotNull;
    AssignElement(index, &date, &present);
}

std::string TOraArray::ElementAsString(int32_t index) {
    CheckElementType(dtString, "Cannot convert type to String");
    void* element = nullptr;
    if (!ElementValue(index, element)) return {};
    return SlotText(element, type_->Attributes(0)->Length);
}

void TOraArray::SetElementAsString(int32_t index, const std::string& value) {
    CheckElementType(dtString, "Cannot convert type to String");
    TOciText text(value);
    const OCIInd present = IndNotNull;
    AssignElement(index, text.get(), &present);
}

void TOraArray::SetElementObject(int32_t index, TOraObject* value) {
    CheckElementType(dtObject, "Cannot convert type to Object");
    value->CheckAllocated(true);
    AssignElement(index, value->Instance(), value->Indicator());
}

int32_t TOraArray::AppendElement() {
    OCIColl* collection = Collection();
    CheckStatus(AppendNullElement(collection, type_));
    return Size() - 1;
}

void TOraArray::SetSize(int32_t count) {
    if (count > 0) GrowCollection(Collection(), type_, count - 1);
}

// --- TOraNestTable -----------------------------------------------------------------------

void TOraNestTable::CheckType() const {
    TOraArray::CheckType();
    if (type_->DataType != dtTable) throw platform::Exception("Type of object must be Table");
}

int32_t TOraNestTable::Size() {
    if (!instance_) return 0;
    sb4 size = 0;
    CheckStatus(Oci.OCITableSize(Environment(), ErrorHandle(), static_cast<OCITable*>(instance_), &size));
    return size;
}

void TOraNestTable::DeleteElement(int32_t index) {
    CheckStatus(Oci.OCITableDelete(Environment(), ErrorHandle(), index, Collection()));
}

TOraObject* NewOraObject(TDataType dataType, TOraType* type) {
    switch (dataType) {
    case dtReference: return NewShared<TOraRef>(type);
    case dtArray: return NewShared<TOraArray>(type);
    case dtTable: return NewShared<TOraNestTable>(type);
    default: return NewShared<TOraObject>(type);
    }
}

}  // namespace oracle
