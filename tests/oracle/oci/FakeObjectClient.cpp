#include "tests/oracle/oci/FakeObjectClient.h"

#include <algorithm>
#include <cctype>

namespace oracle {

FakeClient* fake = nullptr;

static std::string Unqualified(const std::string& name) {
    const size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

static sword OCI_CALL FakeTypeByName(OCIEnv*, OCIError*, const OCISvcCtx*, const OraText*, ub4, const OraText* typeName,
                              ub4 length, const OraText*, ub4, ub2, ub4, OCIType** tdo) {
    auto it = fake->types.find(std::string(reinterpret_cast<const char*>(typeName), length));
    if (it == fake->types.end()) return OCI_ERROR;
    *tdo = reinterpret_cast<OCIType*>(&it->second);
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeHandleAlloc(const dvoid*, dvoid** handle, ub4, std::size_t, dvoid**) {
    fake->describes.emplace_back();
    *handle = &fake->describes.back();
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeHandleFree(dvoid*, ub4) { return OCI_SUCCESS; }

static sword OCI_CALL FakeDescribeAny(OCISvcCtx*, OCIError*, dvoid* name, ub4 length, ub1, ub1, ub1, OCIDescribe* describe) {
    std::string text(static_cast<const char*>(name), length);
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    auto it = fake->types.find(Unqualified(text));
    if (it == fake->types.end()) return OCI_ERROR;
    reinterpret_cast<FakeClient::Describe*>(describe)->param = &it->second;
    return OCI_SUCCESS;
}

template <class T>
void Put(dvoid* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

static sword OCI_CALL FakeAttrGet(const dvoid* handle, ub4 handleType, dvoid* value, ub4* size, ub4 attribute, OCIError*) {
    if (handleType == OCI_HTYPE_DESCRIBE) {
        Put(value, static_cast<const FakeClient::Describe*>(handle)->param);
        return OCI_SUCCESS;
    }
    auto* p = static_cast<const FakeParam*>(handle);
    auto text = [&](const std::string& s) {
        Put(value, reinterpret_cast<const OraText*>(s.c_str()));
        if (size) *size = static_cast<ub4>(s.size());
    };
    switch (attribute) {
    case OCI_ATTR_TYPECODE: Put(value, p->typeCode); break;
    case OCI_ATTR_COLLECTION_TYPECODE: Put(value, p->collectionCode); break;
    case OCI_ATTR_NUM_TYPE_ATTRS: Put(value, static_cast<ub2>(p->attributes.size())); break;
    case OCI_ATTR_LIST_TYPE_ATTRS: Put(value, p); break;
    case OCI_ATTR_COLLECTION_ELEMENT: Put(value, &p->element.front()); break;
    case OCI_ATTR_NUM_ELEMS: Put(value, p->elementCount); break;
    case OCI_ATTR_NAME: text(p->name); break;
    case OCI_ATTR_DATA_TYPE: Put(value, p->dataType); break;
    case OCI_ATTR_DATA_SIZE: Put(value, p->dataSize); break;
    case OCI_ATTR_PRECISION: Put(value, p->precision); break;
    case OCI_ATTR_SCALE: Put(value, p->scale); break;
    case OCI_ATTR_TYPE_NAME: text(p->typeName); break;
    case OCI_ATTR_SCHEMA_NAME: text(p->schemaName); break;
    default: return OCI_ERROR;
    }
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeParamGet(const dvoid* list, ub4, OCIError*, dvoid** param, ub4 position) {
    auto* p = static_cast<const FakeParam*>(list);
    *param = const_cast<FakeParam*>(&p->attributes.at(position - 1));
    return OCI_SUCCESS;
}

// Numbers keep a double in their first bytes.
sword OCI_CALL FakeNumberFromInt(OCIError*, const dvoid* value, uword, uword, OCINumber* number) {
    int32_t i;
    std::memcpy(&i, value, sizeof i);
    Put(number->bytes, static_cast<double>(i));
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeNumberToInt(OCIError*, const OCINumber* number, uword, uword, dvoid* result) {
    double d;
    std::memcpy(&d, number->bytes, sizeof d);
    Put(result, static_cast<int32_t>(d));
    return OCI_SUCCESS;
}

sword OCI_CALL FakeNumberFromReal(OCIError*, const dvoid* value, uword, OCINumber* number) {
    std::memcpy(number->bytes, value, sizeof(double));
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeNumberToReal(OCIError*, const OCINumber* number, uword, dvoid* result) {
    std::memcpy(result, number->bytes, sizeof(double));
    return OCI_SUCCESS;
}

static OraText* OCI_CALL FakeStringPtr(OCIEnv*, const OCIString* string) {
    auto* s = reinterpret_cast<const FakeString*>(string);
    return reinterpret_cast<OraText*>(const_cast<char*>(s->text.c_str()));
}

static sword OCI_CALL FakeStringResize(OCIEnv*, OCIError*, ub4 size, OCIString** string) {
    if (size == 0)
        *string = nullptr;
    else if (!*string)
        *string = reinterpret_cast<OCIString*>(fake->NewString(""));
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeStringAssignText(OCIEnv*, OCIError*, const OraText* text, ub4 length, OCIString** string) {
    reinterpret_cast<FakeString*>(*string)->text.assign(reinterpret_cast<const char*>(text), length);
    return OCI_SUCCESS;
}

static void StoreElement(FakeCollection* c, size_t index, const dvoid* element) {
    std::vector<char>& slot = c->slots[index];
    if (c->texts) {
        FakeString* copy = fake->NewString(reinterpret_cast<const FakeString*>(element)->text);
        std::memcpy(slot.data(), &copy, sizeof copy);
    } else {
        std::memcpy(slot.data(), element, c->elementSize);
    }
}

static sword OCI_CALL FakeCollSize(OCIEnv*, OCIError*, const OCIColl* coll, sb4* size) {
    *size = static_cast<sb4>(reinterpret_cast<const FakeCollection*>(coll)->slots.size());
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeCollGetElem(OCIEnv*, OCIError*, const OCIColl* coll, sb4 index, boolean* exists, dvoid** element,
                               dvoid** indicator) {
    auto* c = reinterpret_cast<FakeCollection*>(const_cast<OCIColl*>(coll));
    *exists = index >= 0 && static_cast<size_t>(index) < c->slots.size() && !c->deleted[static_cast<size_t>(index)];
    *element = *exists ? c->slots[static_cast<size_t>(index)].data() : nullptr;
    const auto i = static_cast<size_t>(index);
    *indicator = !*exists ? nullptr : i < c->objectIndicators.size() ? c->objectIndicators[i].data() : &c->indicators[i];
    return OCI_SUCCESS;
}

sword OCI_CALL FakeCollAppend(OCIEnv*, OCIError*, const dvoid* element, const dvoid* indicator, OCIColl* coll) {
    auto* c = reinterpret_cast<FakeCollection*>(coll);
    c->slots.emplace_back(std::max(c->elementSize, sizeof(void*)), '\0');
    c->indicators.push_back(*static_cast<const OCIInd*>(indicator));
    c->deleted.push_back(false);
    StoreElement(c, c->slots.size() - 1, element);
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeCollAssignElem(OCIEnv*, OCIError*, sb4 index, const dvoid* element, const dvoid* indicator,
                                  OCIColl* coll) {
    auto* c = reinterpret_cast<FakeCollection*>(coll);
    if (index < 0 || static_cast<size_t>(index) >= c->slots.size()) return OCI_ERROR;
    StoreElement(c, static_cast<size_t>(index), element);
    c->indicators[static_cast<size_t>(index)] = *static_cast<const OCIInd*>(indicator);
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeObjectSetAttr(OCIEnv*, OCIError*, dvoid*, dvoid*, OCIType*, const OraText** names,
                                 const ub4* lengths, ub4 count, const ub4*, ub4, OCIInd indicator, const dvoid*,
                                 const dvoid*) {
    fake->setAttrNames.clear();
    for (ub4 i = 0; i < count; ++i)
        fake->setAttrNames.emplace_back(reinterpret_cast<const char*>(names[i]), lengths[i]);
    fake->setAttrIndicator = indicator;
    return OCI_SUCCESS;
}

static boolean OCI_CALL FakeRefIsNull(OCIEnv*, const OCIRef* ref) { return ref == nullptr; }

// Pins answer the pin target; without one they fail, as for a REF to a deleted row.
static sword OCI_CALL FakeObjectPin(OCIEnv*, OCIError*, OCIRef* ref, void*, ub4, ub2, ub4, dvoid** object) {
    ++fake->pins;
    if (auto it = fake->pinnedByRef.find(ref); it != fake->pinnedByRef.end()) {
        *object = it->second.instance;
        return OCI_SUCCESS;
    }
    if (!fake->pinTarget) return OCI_ERROR;
    *object = fake->pinTarget;
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeObjectGetInd(OCIEnv*, OCIError*, dvoid* instance, dvoid** indicators) {
    *indicators = fake->pinIndicators;
    for (const auto& [ref, pinned] : fake->pinnedByRef)
        if (pinned.instance == instance) *indicators = pinned.indicators;
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeObjectMarkUpdate(OCIEnv*, OCIError*, dvoid*) {
    fake->objectCalls.push_back("mark update");
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeObjectMarkDelete(OCIEnv*, OCIError*, dvoid*) {
    fake->objectCalls.push_back("mark delete");
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeObjectFlush(OCIEnv*, OCIError*, dvoid*) {
    fake->objectCalls.push_back("flush");
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeDescriptorFree(dvoid*, ub4) {
    fake->objectCalls.push_back("descriptor free");
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeTableNext(OCIEnv*, OCIError*, sb4 index, const OCITable* table, sb4* next, boolean* exists) {
    auto* c = reinterpret_cast<const FakeCollection*>(table);
    for (size_t i = static_cast<size_t>(index + 1); i < c->slots.size(); ++i)
        if (!c->deleted[i]) {
            *next = static_cast<sb4>(i);
            *exists = 1;
            return OCI_SUCCESS;
        }
    *exists = 0;
    return OCI_SUCCESS;
}

// The elements that exist: deleted slots leave a nested table.
static sword OCI_CALL FakeTableSize(OCIEnv*, OCIError*, const OCITable* table, sb4* size) {
    const auto* c = reinterpret_cast<const FakeCollection*>(table);
    *size = static_cast<sb4>(std::count(c->deleted.begin(), c->deleted.end(), false));
    return OCI_SUCCESS;
}

static sword OCI_CALL FakeTableDelete(OCIEnv*, OCIError*, sb4 index, OCITable* table) {
    reinterpret_cast<FakeCollection*>(table)->deleted.at(static_cast<size_t>(index)) = true;
    return OCI_SUCCESS;
}

TOciEntryPoints InstallFakeObjectClient(FakeClient& client) {
    const TOciEntryPoints saved = Oci;
    fake = &client;
    Oci.OCITypeByName = FakeTypeByName;
    Oci.OCIHandleAlloc = FakeHandleAlloc;
    Oci.OCIHandleFree = FakeHandleFree;
    Oci.OCIDescribeAny = FakeDescribeAny;
    Oci.OCIAttrGet = FakeAttrGet;
    Oci.OCIParamGet = FakeParamGet;
    Oci.OCINumberFromInt = FakeNumberFromInt;
    Oci.OCINumberToInt = FakeNumberToInt;
    Oci.OCINumberFromReal = FakeNumberFromReal;
    Oci.OCINumberToReal = FakeNumberToReal;
    Oci.OCIStringPtr = FakeStringPtr;
    Oci.OCIStringResize = FakeStringResize;
    Oci.OCIStringAssignText = FakeStringAssignText;
    Oci.OCICollSize = FakeCollSize;
    Oci.OCICollGetElem = FakeCollGetElem;
    Oci.OCICollAppend = FakeCollAppend;
    Oci.OCICollAssignElem = FakeCollAssignElem;
    Oci.OCIObjectSetAttr = FakeObjectSetAttr;
    Oci.OCIRefIsNull = FakeRefIsNull;
    Oci.OCIObjectPin = FakeObjectPin;
    Oci.OCIObjectGetInd = FakeObjectGetInd;
    Oci.OCIObjectMarkUpdate = FakeObjectMarkUpdate;
    Oci.OCIObjectMarkDelete = FakeObjectMarkDelete;
    Oci.OCIObjectFlush = FakeObjectFlush;
    Oci.OCITableNext = FakeTableNext;
    Oci.OCIDescriptorFree = FakeDescriptorFree;
    Oci.OCITableDelete = FakeTableDelete;
    Oci.OCITableSize = FakeTableSize;
    return saved;
}

void RemoveFakeObjectClient(const TOciEntryPoints& saved) {
    Oci = saved;
    fake = nullptr;
}

}  // namespace oracle
