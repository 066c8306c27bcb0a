// oci.dll: object instances of object types, laid out as the Oracle layer reads them: each
// attribute in declaration order; texts, dates, embedded objects, REFs, collections and LOBs
// start on a 4-byte (values held by pointer and embedded objects: pointer) boundary; numbers
// (22 bytes) follow unaligned. The indicator structure holds the object's own indicator and
// then one per attribute (an embedded object's whole structure in place).
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "standins/oracle/client/OciCalls.h"
#include "standins/oracle/client/OciTypes.h"

using namespace orastandin;
using namespace orastandin::oci;

namespace {

struct TypeLayout {
  struct Attribute {
    std::string name;
    ub2 dataType = 0;
    std::size_t dataOffset = 0, indicatorOffset = 0;  // bytes
    std::shared_ptr<TypeLayout> nested;                // an embedded object
    std::shared_ptr<TypeLayout> collection;            // a collection held by pointer
  };
  bool object = false;
  std::vector<Attribute> attributes;
  std::size_t dataSize = 0, indicatorSize = sizeof(OCIInd);
  // A collection: its element (offsets 0), the element's value and indicator sizes, the kind.
  Attribute element;
  std::size_t elementSize = 0, elementIndicatorSize = sizeof(OCIInd);
  bool table = false;
  ub4 bound = 0;  // a VARRAY's
};

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

// Frees the describe's parameters however the layout ends.
struct DescribeOwner {
  ParamDescriptor* root = nullptr;
  ~DescribeOwner() {
    if (root) Handles().Free(root, OCI_DTYPE_PARAM);
  }
};

std::shared_ptr<TypeLayout> LayoutOf(SvcCtxHandle* svc, const std::string& name, int depth = 0);

// An attribute's or element's value: its size, alignment and indicator bytes.
struct Placement {
  std::size_t size = sizeof(void*), alignment = sizeof(void*), indicatorBytes = sizeof(OCIInd);
};

Placement Place(SvcCtxHandle* svc, const ParamDescriptor& p, TypeLayout::Attribute& a, int depth) {
  a.name = p.column.name;
  a.dataType = static_cast<ub2>(p.column.oraType);
  Placement place;
  switch (a.dataType) {
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_REF:
    case SQLT_CLOB:
    case SQLT_BLOB: break;
    case SQLT_NUM:
      place.size = sizeof(OCINumber);
      place.alignment = 1;
      break;
    case SQLT_DAT:
      place.size = sizeof(OCIDate);
      place.alignment = 4;
      break;
    case SQLT_NTY: {
      auto nested = LayoutOf(svc, p.typeName, depth + 1);
      if (nested->object) {
        place.size = nested->dataSize;
        place.indicatorBytes = nested->indicatorSize;
        a.nested = nested;
      } else {
        a.collection = nested;
      }
      break;
    }
    default: throw OraError(3001);
  }
  return place;
}

std::shared_ptr<TypeLayout> LayoutOf(SvcCtxHandle* svc, const std::string& name, int depth) {
  if (depth > 32) throw OraError(3001);
  DescribeOwner describe;
  int owner = 0;
  describe.root = DescribeTypeNamed(svc, &owner, name);
  auto layout = std::make_shared<TypeLayout>();
  layout->object = describe.root->typeCode == OCI_TYPECODE_OBJECT;
  if (!layout->object) {
    layout->table = describe.root->collectionTypeCode == OCI_TYPECODE_TABLE;
    layout->bound = describe.root->element->numElems;
    Placement place = Place(svc, *describe.root->element, layout->element, depth);
    layout->elementSize = place.size;
    layout->elementIndicatorSize = place.indicatorBytes;
    return layout;
  }
  for (ParamDescriptor* p : describe.root->attributeList->list) {
    TypeLayout::Attribute a;
    Placement place = Place(svc, *p, a, depth);
    a.dataOffset = RoundUp(layout->dataSize, place.alignment);
    layout->dataSize = a.dataOffset + place.size;
    a.indicatorOffset = layout->indicatorSize;
    layout->indicatorSize += place.indicatorBytes;
    layout->attributes.push_back(std::move(a));
  }
  return layout;
}

// A collection's elements keep their addresses while others are added; a nested table's
// deleted slots stay in place.
struct CollectionElement {
  std::vector<unsigned char> data;
  std::vector<OCIInd> indicators;
  bool deleted = false;
};
struct CollectionValue {
  std::vector<std::unique_ptr<CollectionElement>> elements;
};

// An object's data and indicator structure, or a collection.
struct ObjectInstance {
  std::shared_ptr<TypeLayout> layout;
  std::vector<unsigned char> data;
  std::vector<OCIInd> indicators;
  std::unique_ptr<CollectionValue> collection;
  void* Key() { return collection ? static_cast<void*>(collection.get()) : data.data(); }
};

// Instances by the address handed out.
class ObjectInstances {
 public:
  void* Add(std::unique_ptr<ObjectInstance> instance) {
    std::lock_guard<std::mutex> lock(mutex_);
    void* key = instance->Key();
    instances_[key] = std::move(instance);
    return key;
  }
  ObjectInstance* Find(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = instances_.find(key);
    return it == instances_.end() ? nullptr : it->second.get();
  }
  std::unique_ptr<ObjectInstance> Remove(const void* key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = instances_.find(key);
    if (it == instances_.end()) return nullptr;
    auto instance = std::move(it->second);
    instances_.erase(it);
    return instance;
  }

 private:
  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<ObjectInstance>> instances_;
};

ObjectInstances& Instances() {
  static ObjectInstances instances;
  return instances;
}

// New attributes are null; the object itself is not.
void MarkAttributesNull(const TypeLayout& layout, OCIInd* indicators) {
  for (const auto& a : layout.attributes) {
    OCIInd* own = indicators + a.indicatorOffset / sizeof(OCIInd);
    *own = IndNull;
    if (a.nested) MarkAttributesNull(*a.nested, own);
  }
}

void FreeCollection(void* key);

// Frees what an object's slots own: texts and collections.
void FreeStrings(const TypeLayout& layout, unsigned char* data) {
  for (const auto& a : layout.attributes) {
    if (a.nested) FreeStrings(*a.nested, data + a.dataOffset);
    if (a.collection) {
      void* collection = nullptr;
      std::memcpy(&collection, data + a.dataOffset, sizeof collection);
      if (collection) FreeCollection(collection);
      std::memset(data + a.dataOffset, 0, sizeof collection);
    }
    if (a.dataType != SQLT_CHR && a.dataType != SQLT_AFC) continue;
    void* string = nullptr;
    std::memcpy(&string, data + a.dataOffset, sizeof string);
    if (string) Handles().Free(string, StandinString);
  }
}

std::unique_ptr<ObjectInstance> NewCollection(std::shared_ptr<TypeLayout> layout);
void CopyCollection(const ObjectInstance& from, ObjectInstance& to, OCIEnv* env);

// Gives each text and collection slot of a copied object a value of its own.
void DuplicateStrings(const TypeLayout& layout, unsigned char* data, OCIEnv* env) {
  for (const auto& a : layout.attributes) {
    if (a.nested) DuplicateStrings(*a.nested, data + a.dataOffset, env);
    if (a.collection) {
      void* source = nullptr;
      std::memcpy(&source, data + a.dataOffset, sizeof source);
      auto copy = NewCollection(a.collection);
      if (ObjectInstance* from = source ? Instances().Find(source) : nullptr)
        if (from->collection) CopyCollection(*from, *copy, env);
      void* key = Instances().Add(std::move(copy));
      std::memcpy(data + a.dataOffset, &key, sizeof key);
    }
    if (a.dataType != SQLT_CHR && a.dataType != SQLT_AFC) continue;
    void* slot = nullptr;
    std::memcpy(&slot, data + a.dataOffset, sizeof slot);
    if (!slot) continue;
    StringValue* from = Handles().Find<StringValue>(slot, StandinString);
    StringValue* copy = Handles().Create<StringValue>(StandinString, env);
    if (from) copy->text = from->text;
    slot = copy;
    std::memcpy(data + a.dataOffset, &slot, sizeof slot);
  }
}

void FreeElementValue(const TypeLayout& layout, CollectionElement& element) {
  if (element.data.empty()) return;  // not stored yet
  const auto& e = layout.element;
  if (e.nested) FreeStrings(*e.nested, element.data.data());
  if (e.dataType == SQLT_CHR || e.dataType == SQLT_AFC) {
    void* slot = nullptr;
    std::memcpy(&slot, element.data.data(), sizeof slot);
    if (slot) Handles().Free(slot, StandinString);
    std::memset(element.data.data(), 0, sizeof slot);
  }
}

// Stores an element's value: the OCIString* of a text, else the address of the number, date
// or instance; the indicator (structure) is copied, none meaning not null.
void StoreElement(const TypeLayout& layout, CollectionElement& element, const void* value, const void* indicator,
                  OCIEnv* env) {
  const auto& e = layout.element;
  if (!value) throw OraError(21560, "3");
  FreeElementValue(layout, element);
  element.data.assign(layout.elementSize, 0);
  element.indicators.assign(layout.elementIndicatorSize / sizeof(OCIInd), IndNotNull);
  if (e.dataType == SQLT_CHR || e.dataType == SQLT_AFC) {
    StringValue* from = Handles().Find<StringValue>(value, StandinString);
    if (!from) throw OraError(21560, "3");
    StringValue* copy = Handles().Create<StringValue>(StandinString, env);
    copy->text = from->text;
    void* slot = copy;
    std::memcpy(element.data.data(), &slot, sizeof slot);
  } else if (e.dataType == SQLT_NUM || e.dataType == SQLT_DAT || e.nested) {
    std::memcpy(element.data.data(), value, layout.elementSize);
    if (e.nested) DuplicateStrings(*e.nested, element.data.data(), env);
  } else {
    throw OraError(3001);
  }
  if (indicator) std::memcpy(element.indicators.data(), indicator, layout.elementIndicatorSize);
  element.deleted = false;
}

void FreeCollection(void* key) {
  std::unique_ptr<ObjectInstance> instance = Instances().Remove(key);
  if (!instance || !instance->collection) return;
  for (auto& element : instance->collection->elements) FreeElementValue(*instance->layout, *element);
}

std::unique_ptr<ObjectInstance> NewCollection(std::shared_ptr<TypeLayout> layout) {
  auto instance = std::make_unique<ObjectInstance>();
  instance->layout = std::move(layout);
  instance->collection = std::make_unique<CollectionValue>();
  instance->indicators.assign(1, IndNotNull);
  return instance;
}

// A new object's collection attributes hold empty collections.
void AllocateCollections(const TypeLayout& layout, unsigned char* data) {
  for (const auto& a : layout.attributes) {
    if (a.nested) AllocateCollections(*a.nested, data + a.dataOffset);
    if (!a.collection) continue;
    void* key = Instances().Add(NewCollection(a.collection));
    std::memcpy(data + a.dataOffset, &key, sizeof key);
  }
}

void CopyCollection(const ObjectInstance& from, ObjectInstance& to, OCIEnv* env) {
  for (auto& element : to.collection->elements) FreeElementValue(*to.layout, *element);
  to.collection->elements.clear();
  const ub2 type = to.layout->element.dataType;
  for (const auto& source : from.collection->elements) {
    auto element = std::make_unique<CollectionElement>();
    if (source->deleted) {
      element->data.assign(to.layout->elementSize, 0);
      element->indicators.assign(to.layout->elementIndicatorSize / sizeof(OCIInd), IndNull);
      element->deleted = true;
    } else {
      const void* value = source->data.data();
      if (type == SQLT_CHR || type == SQLT_AFC) std::memcpy(&value, source->data.data(), sizeof value);  // the OCIString*
      StoreElement(*to.layout, *element, value, source->indicators.data(), env);
    }
    to.collection->elements.push_back(std::move(element));
  }
}

ObjectInstance& CollectionOf(const void* coll) {
  ObjectInstance* instance = Instances().Find(coll);
  if (!instance || !instance->collection) throw OraError(21560, "3");
  return *instance;
}

[[noreturn]] void OutOfRange(sb4 index, std::size_t size) {
  throw OraError(22165, std::to_string(index), "0] to [" + std::to_string(size == 0 ? 0 : size - 1));
}

}  // namespace

OCI_EXPORT sword OCIObjectNew(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, ub2 typecode, OCIType* tdo, dvoid*,
                              ub2, boolean, dvoid** instance) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* service = ConnectedService(const_cast<OCISvcCtx*>(svc));
    auto* type = Handles().Find<TypeDescriptor>(tdo, StandinTypeDescriptor);
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !service || !instance) return OCI_INVALID_HANDLE;
    const bool collection = typecode == OCI_TYPECODE_NAMEDCOLLECTION || typecode == OCI_TYPECODE_VARRAY ||
                            typecode == OCI_TYPECODE_TABLE;
    if ((typecode != OCI_TYPECODE_OBJECT && !collection) || !type) throw OraError(3001);  // REFs: not yet
    auto object = std::make_unique<ObjectInstance>();
    object->layout = LayoutOf(service, type->name);
    if (object->layout->object == collection) throw OraError(21560, "4");  // the code does not fit the type
    if (collection) {
      *instance = Instances().Add(NewCollection(object->layout));
      return OCI_SUCCESS;
    }
    object->data.assign(object->layout->dataSize, 0);
    object->indicators.assign(object->layout->indicatorSize / sizeof(OCIInd), IndNotNull);
    MarkAttributesNull(*object->layout, object->indicators.data());
    AllocateCollections(*object->layout, object->data.data());
    *instance = Instances().Add(std::move(object));
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIObjectGetInd(OCIEnv*, OCIError* err, dvoid* instance, dvoid** nullStruct) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance* object = Instances().Find(instance);
    if (!object || !nullStruct) return OCI_INVALID_HANDLE;
    *nullStruct = object->indicators.data();
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIObjectFree(OCIEnv*, OCIError* err, dvoid* instance, ub2) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    std::unique_ptr<ObjectInstance> object = Instances().Remove(instance);
    if (!object) return OCI_INVALID_HANDLE;
    if (object->collection) {
      for (auto& element : object->collection->elements) FreeElementValue(*object->layout, *element);
      return OCI_SUCCESS;
    }
    FreeStrings(*object->layout, object->data.data());
    return OCI_SUCCESS;
  });
}

// Writes an attribute named by a path through embedded objects; its indicator takes nullStatus.
OCI_EXPORT sword OCIObjectSetAttr(OCIEnv* env, OCIError* err, dvoid* instance, dvoid* nullStruct, OCIType*,
                                  const OraText** names, const ub4* lengths, ub4 nameCount, const ub4*, ub4 indexCount,
                                  OCIInd nullStatus, const dvoid*, const dvoid* attrValue) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance* object = Instances().Find(instance);
    if (!object || !names || !lengths || nameCount == 0) return OCI_INVALID_HANDLE;
    if (indexCount > 0) throw OraError(3001);  // collection elements: not yet
    auto* indicators = reinterpret_cast<unsigned char*>(nullStruct ? nullStruct : object->indicators.data());
    unsigned char* data = object->data.data();
    const TypeLayout* layout = object->layout.get();
    const TypeLayout::Attribute* attribute = nullptr;
    for (ub4 i = 0; i < nameCount; ++i) {
      const std::string name = TextArg(names[i], static_cast<sb4>(lengths[i]));
      attribute = nullptr;
      if (layout)
        for (const auto& a : layout->attributes)
          if (a.name == name) attribute = &a;
      if (!attribute) throw OraError(904, name);
      data += attribute->dataOffset;
      indicators += attribute->indicatorOffset;
      layout = i + 1 < nameCount ? attribute->nested.get() : nullptr;
    }
    auto* indicator = reinterpret_cast<OCIInd*>(indicators);
    if (nullStatus != IndNotNull) {
      *indicator = IndNull;
      return OCI_SUCCESS;
    }
    if (!attrValue) return OCI_INVALID_HANDLE;
    switch (attribute->dataType) {
      case SQLT_CHR:
      case SQLT_AFC: {
        StringValue* from = Handles().Find<StringValue>(attrValue, StandinString);
        if (!from) return OCI_INVALID_HANDLE;
        void* slot = nullptr;
        std::memcpy(&slot, data, sizeof slot);
        StringValue* to = slot ? Handles().Find<StringValue>(slot, StandinString)
                               : Handles().Create<StringValue>(StandinString, env);
        if (!to) return OCI_INVALID_HANDLE;
        to->text = from->text;
        slot = to;
        std::memcpy(data, &slot, sizeof slot);
        break;
      }
      case SQLT_NUM: std::memcpy(data, attrValue, sizeof(OCINumber)); break;
      case SQLT_DAT: std::memcpy(data, attrValue, sizeof(OCIDate)); break;
      default: throw OraError(3001);  // whole embedded objects, REFs, collections, LOBs: not yet
    }
    *indicator = IndNotNull;
    return OCI_SUCCESS;
  });
}

// --- collections: VARRAYs and nested tables ------------------------------------------------

OCI_EXPORT sword OCICollSize(OCIEnv*, OCIError* err, const OCIColl* coll, sb4* size) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!size) return OCI_INVALID_HANDLE;
    *size = static_cast<sb4>(CollectionOf(coll).collection->elements.size());
    return OCI_SUCCESS;
  });
}

// The address of the element's slot and of its indicator; exists is false beyond the end
// and for a deleted slot.
OCI_EXPORT sword OCICollGetElem(OCIEnv*, OCIError* err, const OCIColl* coll, sb4 index, boolean* exists, dvoid** elem,
                                dvoid** elemind) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    auto& elements = CollectionOf(coll).collection->elements;
    if (!exists || !elem) return OCI_INVALID_HANDLE;
    if (index < 0 || static_cast<std::size_t>(index) >= elements.size() || elements[index]->deleted) {
      *exists = 0;
      *elem = nullptr;
      if (elemind) *elemind = nullptr;
      return OCI_SUCCESS;
    }
    *exists = 1;
    *elem = elements[index]->data.data();
    if (elemind) *elemind = elements[index]->indicators.data();
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCICollAppend(OCIEnv* env, OCIError* err, const dvoid* elem, const dvoid* elemind, OCIColl* coll) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& c = CollectionOf(coll);
    auto& elements = c.collection->elements;
    if (!c.layout->table && c.layout->bound > 0 && elements.size() >= c.layout->bound)
      OutOfRange(static_cast<sb4>(elements.size()), c.layout->bound);
    auto element = std::make_unique<CollectionElement>();
    StoreElement(*c.layout, *element, elem, elemind, env);
    elements.push_back(std::move(element));
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCICollAssignElem(OCIEnv* env, OCIError* err, sb4 index, const dvoid* elem, const dvoid* elemind,
                                   OCIColl* coll) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& c = CollectionOf(coll);
    auto& elements = c.collection->elements;
    if (index < 0 || static_cast<std::size_t>(index) >= elements.size()) OutOfRange(index, elements.size());
    StoreElement(*c.layout, *elements[index], elem, elemind, env);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCICollAssign(OCIEnv* env, OCIError* err, const OCIColl* rhs, OCIColl* lhs) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& from = CollectionOf(rhs);
    ObjectInstance& to = CollectionOf(lhs);
    if (&from == &to) return OCI_SUCCESS;
    CopyCollection(from, to, env);
    return OCI_SUCCESS;
  });
}

// The elements that are not deleted.
OCI_EXPORT sword OCITableSize(OCIEnv*, OCIError* err, const OCITable* tbl, sb4* size) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!size) return OCI_INVALID_HANDLE;
    sb4 count = 0;
    for (const auto& element : CollectionOf(tbl).collection->elements) count += element->deleted ? 0 : 1;
    *size = count;
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCITableNext(OCIEnv*, OCIError* err, sb4 index, const OCITable* tbl, sb4* nextIndex, boolean* exists) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!nextIndex || !exists) return OCI_INVALID_HANDLE;
    const auto& elements = CollectionOf(tbl).collection->elements;
    *exists = 0;
    for (std::size_t i = index < 0 ? 0 : static_cast<std::size_t>(index) + 1; i < elements.size(); ++i)
      if (!elements[i]->deleted) {
        *nextIndex = static_cast<sb4>(i);
        *exists = 1;
        break;
      }
    return OCI_SUCCESS;
  });
}

// Only nested tables lose elements from the middle; a missing element: ORA-22160.
OCI_EXPORT sword OCITableDelete(OCIEnv*, OCIError* err, sb4 index, OCITable* tbl) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& c = CollectionOf(tbl);
    if (!c.layout->table) throw OraError(21560, "4");  // a VARRAY keeps its elements in sequence
    auto& elements = c.collection->elements;
    if (index < 0 || static_cast<std::size_t>(index) >= elements.size() || elements[index]->deleted)
      throw OraError(22160, std::to_string(index));
    FreeElementValue(*c.layout, *elements[index]);
    elements[index]->deleted = true;
    return OCI_SUCCESS;
  });
}
