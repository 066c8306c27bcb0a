// An in-process fake of the client's object calls (type describes, numbers, strings,
// collections, REF pins, object marks) for the object classes' and the record stores'
// tests: installed into the loader's entry-point table for one test and removed after.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraType.h"

namespace oracle {

// A described type or attribute, as the describe calls answer it.
struct FakeParam {
    ub2 typeCode = 0;            // types: 108 object, 122 collection
    ub2 collectionCode = 0;      // collections: 247 VARRAY, 248 table
    std::vector<FakeParam> attributes;
    std::vector<FakeParam> element;  // collections: one element
    ub4 elementCount = 0;
    std::string name;
    ub2 dataType = 0;
    ub2 dataSize = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    std::string schemaName, typeName;
};

inline FakeParam Attribute(const std::string& name, ub2 dataType, ub2 size = 0, sb2 precision = 0, sb1 scale = 0) {
    FakeParam p;
    p.name = name;
    p.dataType = dataType;
    p.dataSize = size;
    p.precision = precision;
    p.scale = scale;
    return p;
}

inline FakeParam NamedType(const std::string& name, ub2 dataType, const std::string& typeName) {
    FakeParam p = Attribute(name, dataType);
    p.schemaName = "SCOTT";
    p.typeName = typeName;
    return p;
}

struct FakeString {
    std::string text;
};

// A collection whose elements are slots of one size (an OCIString* for texts).
struct FakeCollection {
    bool texts = false;
    size_t elementSize = sizeof(OCINumber);
    std::deque<std::vector<char>> slots;
    std::deque<OCIInd> indicators;
    std::vector<bool> deleted;
    // Object elements: each one's indicator structure, answered instead of indicators.
    std::deque<std::vector<OCIInd>> objectIndicators;
};

struct FakeClient {
    std::map<std::string, FakeParam> types;  // by upper-case name without schema
    std::deque<FakeString> strings;
    struct Describe {
        FakeParam* param = nullptr;
    };
    std::deque<Describe> describes;
    std::vector<std::string> setAttrNames;
    OCIInd setAttrIndicator = 0;
    int pins = 0;
    void* pinTarget = nullptr;  // nil: pins fail
    void* pinIndicators = nullptr;
    // REFs that pin an instance of their own (with its indicators) instead of pinTarget.
    struct Pinned {
        void* instance = nullptr;
        void* indicators = nullptr;
    };
    std::map<const OCIRef*, Pinned> pinnedByRef;
    std::vector<std::string> objectCalls;

    FakeString* NewString(const std::string& text) {
        strings.push_back({text});
        return &strings.back();
    }
};


// The fake the installed calls answer from.
extern FakeClient* fake;

// Swaps the object calls of the entry-point table for the fake of client; answers the
// table as it was, for RemoveFakeObjectClient.
TOciEntryPoints InstallFakeObjectClient(FakeClient& client);
void RemoveFakeObjectClient(const TOciEntryPoints& saved);

// Calls the tests also make themselves to build values.
sword OCI_CALL FakeNumberFromInt(OCIError*, const dvoid* value, uword, uword, OCINumber* number);
sword OCI_CALL FakeNumberFromReal(OCIError*, const dvoid* value, uword, OCINumber* number);
sword OCI_CALL FakeCollAppend(OCIEnv*, OCIError*, const dvoid* element, const dvoid* indicator, OCIColl* coll);

// Holds one counted reference of an object for the test's lifetime.
template <class T>
std::unique_ptr<T, void (*)(T*)> Hold(T* object) {
    return {object, [](T* o) { o->Release(); }};
}

// An instance structure and its indicator structure laid out for a type.
struct TInstance {
    explicit TInstance(const TOraType* type)
        : data(type->DataSize, '\0'), indicators(type->IndicatorSize / sizeof(OCIInd), IndNotNull) {}
    template <class T>
    void Set(const TAttribute* a, T value) {
        std::memcpy(data.data() + a->DataOffset, &value, sizeof value);
    }
    void SetNull(const TAttribute* a) { indicators[static_cast<size_t>(a->IndicatorOffset) / 2] = IndNull; }
    std::vector<char> data;
    std::vector<OCIInd> indicators;
};

}  // namespace oracle
