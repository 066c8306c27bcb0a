// oci.dll: object instances of object types, laid out as the Oracle layer reads them: each
// attribute in declaration order; texts, dates, embedded objects, REFs, collections and LOBs
// start on a 4-byte (values held by pointer and embedded objects: pointer) boundary; numbers
// (22 bytes) follow unaligned. The indicator structure holds the object's own indicator and
// then one per attribute (an embedded object's whole structure in place).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

#include "standins/oracle/client/OciCalls.h"
#include "standins/oracle/client/OciObjects.h"
#include "standins/oracle/client/OciTypes.h"
#include "standins/oracle/client/ValueCodec.h"
#include "standins/oracle/protocol/ObjectImage.h"

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
  std::string name;
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
  layout->name = describe.root->column.name;
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

// Layouts are described once per service context and type.
std::shared_ptr<TypeLayout> CachedLayout(SvcCtxHandle* svc, const std::string& name) {
  std::shared_ptr<void>& cached = svc->layouts[name];
  if (!cached) cached = LayoutOf(svc, name);
  return std::static_pointer_cast<TypeLayout>(cached);
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

// An object's data and indicator structure, or a collection. A persistent object belongs to
// an object table under its object id: new until it is flushed, deleted when so marked.
struct ObjectInstance {
  std::shared_ptr<TypeLayout> layout;
  std::vector<unsigned char> data;
  std::vector<OCIInd> indicators;
  std::unique_ptr<CollectionValue> collection;
  SvcCtxHandle* service = nullptr;
  std::string table;
  std::int64_t oid = 0;
  bool isNew = false, deleted = false;
  int pins = 0;
  bool Persistent() const { return !table.empty(); }
  void* Key() { return collection ? static_cast<void*>(collection.get()) : data.data(); }
};

// Instances by the address handed out.
class ObjectInstances {
 public:
  void* Add(std::unique_ptr<ObjectInstance> instance) {
    std::lock_guard<std::mutex> lock(mutex_);
    void* key = instance->Key();
    if (instance->Persistent()) persistent_[{instance->service, instance->oid}] = key;
    instances_[key] = std::move(instance);
    return key;
  }
  // The cached instance of a persistent object.
  ObjectInstance* FindObject(const SvcCtxHandle* service, std::int64_t oid) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = persistent_.find({service, oid});
    if (it == persistent_.end()) return nullptr;
    auto instance = instances_.find(it->second);
    return instance == instances_.end() ? nullptr : instance->second.get();
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
    if (instance->Persistent()) persistent_.erase({instance->service, instance->oid});
    return instance;
  }

 private:
  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<ObjectInstance>> instances_;
  std::map<std::pair<const SvcCtxHandle*, std::int64_t>, void*> persistent_;
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

// Frees what an object's slots own: texts, REFs and collections.
void FreeStrings(const TypeLayout& layout, unsigned char* data) {
  for (const auto& a : layout.attributes) {
    if (a.nested) FreeStrings(*a.nested, data + a.dataOffset);
    if (a.collection) {
      void* collection = nullptr;
      std::memcpy(&collection, data + a.dataOffset, sizeof collection);
      if (collection) FreeCollection(collection);
      std::memset(data + a.dataOffset, 0, sizeof collection);
    }
    if (a.dataType == SQLT_REF) {
      void* ref = nullptr;
      std::memcpy(&ref, data + a.dataOffset, sizeof ref);
      if (ref) Handles().Free(ref, StandinRef);
      std::memset(data + a.dataOffset, 0, sizeof ref);
    }
    if (a.dataType != SQLT_CHR && a.dataType != SQLT_AFC) continue;
    void* string = nullptr;
    std::memcpy(&string, data + a.dataOffset, sizeof string);
    if (string) Handles().Free(string, StandinString);
  }
}

std::unique_ptr<ObjectInstance> NewCollection(std::shared_ptr<TypeLayout> layout);
void CopyCollection(const ObjectInstance& from, ObjectInstance& to, OCIEnv* env);

// Gives each text, REF and collection slot of a copied object a value of its own.
void DuplicateStrings(const TypeLayout& layout, unsigned char* data, OCIEnv* env) {
  for (const auto& a : layout.attributes) {
    if (a.nested) DuplicateStrings(*a.nested, data + a.dataOffset, env);
    if (a.dataType == SQLT_REF) {
      void* slot = nullptr;
      std::memcpy(&slot, data + a.dataOffset, sizeof slot);
      if (const RefValue* from = slot ? Handles().Find<RefValue>(slot, StandinRef) : nullptr) {
        RefValue* copy = Handles().Create<RefValue>(StandinRef, env);
        *copy = *from;
        slot = copy;
      } else {
        slot = nullptr;
      }
      std::memcpy(data + a.dataOffset, &slot, sizeof slot);
    }
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
  if (e.dataType == SQLT_CHR || e.dataType == SQLT_AFC || e.dataType == SQLT_REF) {
    void* slot = nullptr;
    std::memcpy(&slot, element.data.data(), sizeof slot);
    if (slot) Handles().Free(slot, e.dataType == SQLT_REF ? StandinRef : StandinString);
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

// --- object values: instances, collections and REFs as object images -----------------------

namespace {

RefValue* RefOf(const void* p) { return p ? Handles().Find<RefValue>(p, StandinRef) : nullptr; }

Value RefImage(const RefValue* ref) {
  if (!ref || ref->oid == 0) return Value::Null();
  ObjectImage image;
  image.kind = ObjectImage::Kind::Ref;
  image.typeName = ref->typeName;
  image.table = ref->table;
  image.oid = ref->oid;
  return image.AsValue();
}

ObjectImage Decoded(const Value& v, ObjectImage::Kind kind) {
  ObjectImage image;
  if (v.kind != Value::Kind::Blob || !ObjectImage::Decode(v.bytes, image) || image.kind != kind) throw OraError(932);
  return image;
}

void SetRef(RefValue& ref, const Value& v, SvcCtxHandle* service) {
  if (service) ref.service = service;
  if (v.IsNull()) {
    ref.oid = 0;
    return;
  }
  ObjectImage image = Decoded(v, ObjectImage::Kind::Ref);
  ref.typeName = image.typeName;
  ref.table = image.table;
  ref.oid = image.oid;
}

std::string DateText(const OCIDate& d) {
  char text[32];
  std::snprintf(text, sizeof text, CanonicalDateFormat, d.year, d.month, d.day, d.hour, d.minute, d.second);
  return text;
}

OCIDate DateOf(const std::string& text) {
  int parts[6] = {};
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &parts[0], &parts[1], &parts[2], &parts[3], &parts[4], &parts[5]) < 3)
    throw OraError(932);
  OCIDate d{};
  d.year = static_cast<sb2>(parts[0]);
  d.month = static_cast<ub1>(parts[1]);
  d.day = static_cast<ub1>(parts[2]);
  d.hour = static_cast<ub1>(parts[3]);
  d.minute = static_cast<ub1>(parts[4]);
  d.second = static_cast<ub1>(parts[5]);
  return d;
}

template <class T>
T SlotPointer(const unsigned char* slot) {
  T p = nullptr;
  std::memcpy(&p, slot, sizeof p);
  return p;
}
void SetSlotPointer(unsigned char* slot, const void* p) { std::memcpy(slot, &p, sizeof p); }

Value ObjectImageOf(const TypeLayout& layout, const unsigned char* data, const OCIInd* indicators);
Value CollectionImageOf(const ObjectInstance& collection);

// The value in an attribute's or element's slot; indicator is its own (for an embedded
// object, its indicator structure).
Value SlotValue(const TypeLayout::Attribute& a, const unsigned char* slot, const OCIInd* indicator) {
  if (*indicator == IndNull) return Value::Null();
  switch (a.dataType) {
    case SQLT_CHR:
    case SQLT_AFC: {
      const StringValue* s = Handles().Find<StringValue>(SlotPointer<void*>(slot), StandinString);
      return s && !s->text.empty() ? Value::Text(s->text) : Value::Null();
    }
    case SQLT_NUM: {
      OCINumber number;
      std::memcpy(&number, slot, sizeof number);
      return NumberValue(number);
    }
    case SQLT_DAT: {
      OCIDate date;
      std::memcpy(&date, slot, sizeof date);
      return Value::Date(DateText(date));
    }
    case SQLT_REF: return RefImage(RefOf(SlotPointer<void*>(slot)));
    case SQLT_NTY: {
      if (a.nested) return ObjectImageOf(*a.nested, slot, indicator);
      const ObjectInstance* c = Instances().Find(SlotPointer<void*>(slot));
      return c && c->collection ? CollectionImageOf(*c) : Value::Null();
    }
    default: throw OraError(3001);  // LOB attributes do not travel in objects here
  }
}

Value ObjectImageOf(const TypeLayout& layout, const unsigned char* data, const OCIInd* indicators) {
  if (indicators[0] == IndNull) return Value::Null();
  ObjectImage image;
  image.typeName = layout.name;
  for (const auto& a : layout.attributes)
    image.items.push_back(SlotValue(a, data + a.dataOffset, indicators + a.indicatorOffset / sizeof(OCIInd)));
  return image.AsValue();
}

Value CollectionImageOf(const ObjectInstance& c) {
  if (c.indicators[0] == IndNull) return Value::Null();
  ObjectImage image;
  image.kind = ObjectImage::Kind::Collection;
  image.typeName = c.layout->name;
  for (const auto& element : c.collection->elements)
    if (!element->deleted) image.items.push_back(SlotValue(c.layout->element, element->data.data(), element->indicators.data()));
  return image.AsValue();
}

void FillObject(const TypeLayout& layout, unsigned char* data, OCIInd* indicators, const Value& v, const void* env,
                SvcCtxHandle* service);
void FillCollection(ObjectInstance& c, const Value& v, const void* env, SvcCtxHandle* service);

// Writes a value into an attribute's or element's slot, in place.
void FillSlot(const TypeLayout::Attribute& a, unsigned char* slot, OCIInd* indicator, const Value& v, const void* env,
              SvcCtxHandle* service) {
  if (a.dataType == SQLT_NTY && a.nested) return FillObject(*a.nested, slot, indicator, v, env, service);
  if (a.dataType == SQLT_NTY) {
    ObjectInstance* c = Instances().Find(SlotPointer<void*>(slot));
    if (!c) {
      void* key = Instances().Add(NewCollection(a.collection));
      SetSlotPointer(slot, key);
      c = Instances().Find(key);
    }
    FillCollection(*c, v, env, service);
    *indicator = v.IsNull() ? IndNull : IndNotNull;
    return;
  }
  if (a.dataType == SQLT_REF) {
    RefValue* ref = RefOf(SlotPointer<void*>(slot));
    if (!ref) {
      ref = Handles().Create<RefValue>(StandinRef, env);
      SetSlotPointer(slot, ref);
    }
    SetRef(*ref, v, service);
  } else if (!v.IsNull()) {
    switch (a.dataType) {
      case SQLT_CHR:
      case SQLT_AFC: {
        StringValue* s = Handles().Find<StringValue>(SlotPointer<void*>(slot), StandinString);
        if (!s) {
          s = Handles().Create<StringValue>(StandinString, env);
          SetSlotPointer(slot, s);
        }
        s->text = v.kind == Value::Kind::Text || v.kind == Value::Kind::Blob ? v.bytes : ValueText(v, std::string());
        break;
      }
      case SQLT_NUM: {
        OCINumber number;
        NumberFromValue(v, number);
        std::memcpy(slot, &number, sizeof number);
        break;
      }
      case SQLT_DAT: {
        const OCIDate date = DateOf(v.bytes);
        std::memcpy(slot, &date, sizeof date);
        break;
      }
      default: throw OraError(3001);
    }
  }
  *indicator = v.IsNull() ? IndNull : IndNotNull;
}

void FillObject(const TypeLayout& layout, unsigned char* data, OCIInd* indicators, const Value& v, const void* env,
                SvcCtxHandle* service) {
  if (v.IsNull()) {
    indicators[0] = IndNull;
    MarkAttributesNull(layout, indicators);
    return;
  }
  ObjectImage image = Decoded(v, ObjectImage::Kind::Object);
  if (image.items.size() != layout.attributes.size()) throw OraError(932);
  indicators[0] = IndNotNull;
  for (std::size_t i = 0; i < layout.attributes.size(); ++i) {
    const auto& a = layout.attributes[i];
    FillSlot(a, data + a.dataOffset, indicators + a.indicatorOffset / sizeof(OCIInd), image.items[i], env, service);
  }
}

void FillCollection(ObjectInstance& c, const Value& v, const void* env, SvcCtxHandle* service) {
  for (auto& element : c.collection->elements) FreeElementValue(*c.layout, *element);
  c.collection->elements.clear();
  c.indicators[0] = v.IsNull() ? IndNull : IndNotNull;
  if (v.IsNull()) return;
  ObjectImage image = Decoded(v, ObjectImage::Kind::Collection);
  for (const Value& item : image.items) {
    auto element = std::make_unique<CollectionElement>();
    element->data.assign(c.layout->elementSize, 0);
    element->indicators.assign(c.layout->elementIndicatorSize / sizeof(OCIInd), IndNotNull);
    FillSlot(c.layout->element, element->data.data(), element->indicators.data(), item, env, service);
    c.collection->elements.push_back(std::move(element));
  }
}

// A new instance of an object or collection type, its attributes null.
std::unique_ptr<ObjectInstance> NewInstance(std::shared_ptr<TypeLayout> layout) {
  if (!layout->object) return NewCollection(std::move(layout));
  auto object = std::make_unique<ObjectInstance>();
  object->layout = std::move(layout);
  object->data.assign(object->layout->dataSize, 0);
  object->indicators.assign(object->layout->indicatorSize / sizeof(OCIInd), IndNotNull);
  MarkAttributesNull(*object->layout, object->indicators.data());
  AllocateCollections(*object->layout, object->data.data());
  return object;
}

Value InstanceValue(const ObjectInstance& instance, const OCIInd* indicators) {
  if (instance.collection) return CollectionImageOf(instance);
  return ObjectImageOf(*instance.layout, instance.data.data(), indicators ? indicators : instance.indicators.data());
}

void FillInstance(ObjectInstance& instance, const Value& v, const void* env, SvcCtxHandle* service) {
  if (instance.collection) return FillCollection(instance, v, env, service);
  FillObject(*instance.layout, instance.data.data(), instance.indicators.data(), v, env, service);
}

std::int64_t NewObjectId() {
  static std::mutex mutex;
  static std::mt19937_64 random{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<std::int64_t>(random() >> 1) | 1;
}

ObjectInstance& InstanceOf(const void* p) {
  ObjectInstance* instance = Instances().Find(p);
  if (!instance) throw OraError(21710);
  return *instance;
}

ObjectInstance& PersistentInstance(const void* p) {
  ObjectInstance& instance = InstanceOf(p);
  if (!instance.Persistent()) throw OraError(21710);
  return instance;
}

Value RefOfInstance(const ObjectInstance& instance) {
  ObjectImage ref;
  ref.kind = ObjectImage::Kind::Ref;
  ref.typeName = instance.layout->name;
  ref.table = instance.table;
  ref.oid = instance.oid;
  return ref.AsValue();
}

// The latest state of the object a REF names, from the server; ORA-21700 when it is gone.
Value FetchObject(SvcCtxHandle* service, const Value& ref) {
  ExecuteReply r = ServerQuery(service, "SELECT DEREF(:R) FROM DUAL", {{"R", ref}});
  if (r.rows.empty() || r.rows[0].empty() || r.rows[0][0].IsNull()) throw OraError(21700);
  return r.rows[0][0];
}

}  // namespace

Value orastandin::oci::ObjectBindValue(ub2 dty, const void* instance, const void* indicator) {
  if (dty == SQLT_REF) return RefImage(RefOf(instance));
  if (!instance) return Value::Null();
  return InstanceValue(InstanceOf(instance), static_cast<const OCIInd*>(indicator));
}

void orastandin::oci::StoreObjectValue(TypeDescriptor* type, ub2 dty, void** instanceSlot, void** indicatorSlot,
                                       const Value& v, SvcCtxHandle* service) {
  if (!instanceSlot) throw OraError(21560, "4");
  const void* env = service ? service->env : nullptr;
  if (dty == SQLT_REF) {
    RefValue* ref = RefOf(*instanceSlot);
    if (!ref) {
      ref = Handles().Create<RefValue>(StandinRef, env);
      *instanceSlot = ref;
    }
    SetRef(*ref, v, service);
    return;
  }
  ObjectInstance* instance = *instanceSlot ? Instances().Find(*instanceSlot) : nullptr;
  if (!instance) {
    if (!type || !service) throw OraError(21560, "3");
    void* key = Instances().Add(NewInstance(CachedLayout(service, type->name)));
    instance = Instances().Find(key);
    *instanceSlot = key;
  }
  FillInstance(*instance, v, env, service);
  if (indicatorSlot) *indicatorSlot = instance->indicators.data();
}

// A REF (null), a transient instance, or with an object table (OCIObjectPinTable) a new
// persistent object with an object id of its own, stored when it is flushed.
OCI_EXPORT sword OCIObjectNew(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, ub2 typecode, OCIType* tdo, dvoid* table,
                              ub2, boolean, dvoid** instance) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* service = ConnectedService(const_cast<OCISvcCtx*>(svc));
    auto* type = Handles().Find<TypeDescriptor>(tdo, StandinTypeDescriptor);
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !service || !instance) return OCI_INVALID_HANDLE;
    if (typecode == OCI_TYPECODE_REF) {
      auto* ref = Handles().Create<RefValue>(StandinRef, env);
      ref->service = service;
      if (type) ref->typeName = type->name;
      *instance = ref;
      return OCI_SUCCESS;
    }
    const bool collection = typecode == OCI_TYPECODE_NAMEDCOLLECTION || typecode == OCI_TYPECODE_VARRAY ||
                            typecode == OCI_TYPECODE_TABLE;
    if ((typecode != OCI_TYPECODE_OBJECT && !collection) || !type) throw OraError(3001);
    std::shared_ptr<TypeLayout> layout = CachedLayout(service, type->name);
    if (layout->object == collection) throw OraError(21560, "4");  // the code does not fit the type
    std::unique_ptr<ObjectInstance> object = NewInstance(layout);
    if (table) {
      auto* objectTable = Handles().Find<ObjectTableValue>(table, StandinObjectTable);
      if (!objectTable) throw OraError(21560, "6");
      if (collection || objectTable->typeName != layout->name) throw OraError(932);
      object->service = service;
      object->table = objectTable->table;
      object->oid = NewObjectId();
      object->isNew = true;
    }
    *instance = Instances().Add(std::move(object));
    return OCI_SUCCESS;
  });
}

// The object table a new persistent object goes to; ORA-00942 for a table that is no object table.
OCI_EXPORT sword OCIObjectPinTable(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, const OraText*, ub4,
                                   const OraText* name, ub4 nameLength, const OCIRef*, ub2, dvoid** object) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* service = ConnectedService(const_cast<OCISvcCtx*>(svc));
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !service || !name || !object) return OCI_INVALID_HANDLE;
    const std::string table = TextArg(name, static_cast<sb4>(nameLength));
    ExecuteReply r = ServerQuery(service, "SELECT TABLE_TYPE FROM USER_OBJECT_TABLES WHERE TABLE_NAME = :NAME",
                                 {{"NAME", Value::Text(table)}});
    if (r.rows.empty()) throw OraError(942);
    auto* pinned = Handles().Create<ObjectTableValue>(StandinObjectTable, env);
    pinned->service = service;
    pinned->table = table;
    pinned->typeName = r.rows[0][0].bytes;
    *object = pinned;
    return OCI_SUCCESS;
  });
}

// The object a REF names, in its latest state: one instance per object, pinned again by
// every pin; ORA-21700 for an object that is gone or marked deleted.
OCI_EXPORT sword OCIObjectPin(OCIEnv* env, OCIError* err, OCIRef* objectRef, void*, ub4, ub2, ub4, dvoid** object) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    RefValue* ref = RefOf(objectRef);
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !ref || !object) return OCI_INVALID_HANDLE;
    if (ref->oid == 0) throw OraError(21560, "3");
    SvcCtxHandle* service = ConnectedService(reinterpret_cast<OCISvcCtx*>(ref->service));
    if (!service) return OCI_INVALID_HANDLE;
    ObjectInstance* cached = Instances().FindObject(service, ref->oid);
    if (cached && cached->deleted) throw OraError(21700);
    if (cached && cached->isNew) {  // not stored yet: the cache holds its only state
      ++cached->pins;
      *object = cached->Key();
      return OCI_SUCCESS;
    }
    const Value value = FetchObject(service, RefImage(ref));
    if (!cached) {
      std::unique_ptr<ObjectInstance> instance = NewInstance(CachedLayout(service, ref->typeName));
      instance->service = service;
      instance->table = ref->table;
      instance->oid = ref->oid;
      cached = Instances().Find(Instances().Add(std::move(instance)));
    }
    FillInstance(*cached, value, env, service);
    ++cached->pins;
    *object = cached->Key();
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIObjectUnpin(OCIEnv*, OCIError* err, dvoid* object) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& instance = InstanceOf(object);
    if (instance.pins > 0) --instance.pins;
    return OCI_SUCCESS;
  });
}

// Writes a persistent object to its table: a new or changed one is stored, a deleted one
// removed (one never stored has nothing to remove).
OCI_EXPORT sword OCIObjectFlush(OCIEnv*, OCIError* err, dvoid* object) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& instance = PersistentInstance(object);
    SvcCtxHandle* service = ConnectedService(reinterpret_cast<OCISvcCtx*>(instance.service));
    if (!service) return OCI_INVALID_HANDLE;
    if (instance.deleted && instance.isNew) return OCI_SUCCESS;
    WireWriter w = RequestOf(Request::ObjectFlush);
    w.U8(instance.deleted ? 1 : 0);
    w.Val(RefOfInstance(instance));
    w.Val(instance.deleted ? Value::Null() : InstanceValue(instance, nullptr));
    service->server->connection->Call(w);
    instance.isNew = instance.deleted;  // a deleted object is stored no more: flushing it again does nothing
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIObjectMarkDelete(OCIEnv*, OCIError* err, dvoid* object) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    PersistentInstance(object).deleted = true;
    return OCI_SUCCESS;
  });
}

// Copies the source's values (texts, collections and REFs by value) into the target, which
// keeps its own identity.
OCI_EXPORT sword OCIObjectCopy(OCIEnv* env, OCIError* err, const OCISvcCtx*, dvoid* source, dvoid* sourceNull,
                               dvoid* target, dvoid* targetNull, OCIType*, ub2, ub1) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    ObjectInstance& from = InstanceOf(source);
    ObjectInstance& to = InstanceOf(target);
    if (from.layout->name != to.layout->name || !from.collection != !to.collection) throw OraError(932);
    if (&from == &to) return OCI_SUCCESS;
    const Value value = InstanceValue(from, static_cast<const OCIInd*>(sourceNull));
    FillInstance(to, value, env, to.service ? to.service : from.service);
    if (targetNull && targetNull != to.indicators.data() && !to.collection)
      std::memcpy(targetNull, to.indicators.data(), to.layout->indicatorSize);
    return OCI_SUCCESS;
  });
}

// A REF to a persistent object; ORA-21710 for a transient one.
OCI_EXPORT sword OCIObjectGetObjectRef(OCIEnv*, OCIError* err, dvoid* object, OCIRef* objectRef) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    RefValue* ref = RefOf(objectRef);
    if (!ref) return OCI_INVALID_HANDLE;
    ObjectInstance& instance = PersistentInstance(object);
    SetRef(*ref, RefOfInstance(instance), instance.service);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT boolean OCIRefIsNull(OCIEnv*, const OCIRef* ref) {
  const RefValue* value = RefOf(ref);
  return !value || value->oid == 0;
}

OCI_EXPORT void OCIRefClear(OCIEnv*, OCIRef* ref) {
  if (RefValue* value = RefOf(ref)) value->oid = 0;
}

// Copies a REF; an empty target gets a new one.
OCI_EXPORT sword OCIRefAssign(OCIEnv* env, OCIError* err, const OCIRef* source, OCIRef** target) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    const RefValue* from = RefOf(source);
    if (!from || !target) return OCI_INVALID_HANDLE;
    RefValue* to = *target ? RefOf(*target) : nullptr;
    if (*target && !to) return OCI_INVALID_HANDLE;
    if (!to) {
      if (!Handles().Is(env, OCI_HTYPE_ENV)) return OCI_INVALID_HANDLE;
      to = Handles().Create<RefValue>(StandinRef, env);
      *target = reinterpret_cast<OCIRef*>(to);
    }
    *to = *from;
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
    if (RefOf(instance)) return Handles().Free(instance, StandinRef) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
    if (Handles().Is(instance, StandinObjectTable)) return Handles().Free(instance, StandinObjectTable) ? OCI_SUCCESS : OCI_INVALID_HANDLE;
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
namespace {

// Where an attribute path through embedded objects leads in an instance: the attribute, its
// slot and its indicator (an embedded object's: its indicator structure).
struct AttributePlace {
  const TypeLayout::Attribute* attribute = nullptr;
  unsigned char* data = nullptr;
  OCIInd* indicator = nullptr;
  ObjectInstance* object = nullptr;  // the registered instance, if it is one
};

// The instance may also be an object inside another one (a collection's element): the type
// descriptor then gives its layout, and nullStruct its indicator structure. Null when an
// argument is not a valid handle; ORA-00904 for a name that is no attribute.
std::optional<AttributePlace> FindAttribute(void* instance, void* nullStruct, OCIType* tdo, const OraText** names,
                                            const ub4* lengths, ub4 nameCount, ub4 indexCount) {
  AttributePlace place;
  place.object = Instances().Find(instance);
  if (!names || !lengths || nameCount == 0 || !instance) return std::nullopt;
  if (indexCount > 0) throw OraError(3001);  // indexes into collections are not offered
  std::shared_ptr<TypeLayout> embedded;
  if (!place.object) {
    auto* type = Handles().Find<TypeDescriptor>(tdo, StandinTypeDescriptor);
    if (!type || !nullStruct) return std::nullopt;
    embedded = CachedLayout(type->service, type->name);
    if (!embedded->object) return std::nullopt;
  } else if (place.object->collection) {
    return std::nullopt;
  }
  auto* indicators = reinterpret_cast<unsigned char*>(nullStruct ? nullStruct : place.object->indicators.data());
  unsigned char* data = place.object ? place.object->data.data() : static_cast<unsigned char*>(instance);
  const TypeLayout* layout = place.object ? place.object->layout.get() : embedded.get();
  for (ub4 i = 0; i < nameCount; ++i) {
    const std::string name = TextArg(names[i], static_cast<sb4>(lengths[i]));
    place.attribute = nullptr;
    if (layout)
      for (const auto& a : layout->attributes)
        if (a.name == name) place.attribute = &a;
    if (!place.attribute) throw OraError(904, name);
    data += place.attribute->dataOffset;
    indicators += place.attribute->indicatorOffset;
    layout = i + 1 < nameCount ? place.attribute->nested.get() : nullptr;
  }
  place.data = data;
  place.indicator = reinterpret_cast<OCIInd*>(indicators);
  return place;
}

}  // namespace

// The attribute at a name path: its null status, its indicator structure (embedded objects)
// and the address of its value (for texts, REFs and collections: of the slot holding the
// pointer, as OCICollGetElem gives elements).
OCI_EXPORT sword OCIObjectGetAttr(OCIEnv*, OCIError* err, dvoid* instance, dvoid* nullStruct, OCIType* tdo,
                                  const OraText** names, const ub4* lengths, ub4 nameCount, const ub4*, ub4 indexCount,
                                  OCIInd* attrNullStatus, dvoid** attrNullStruct, dvoid** attrValue, OCIType** attrTdo) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    std::optional<AttributePlace> place = FindAttribute(instance, nullStruct, tdo, names, lengths, nameCount, indexCount);
    if (!place || !attrNullStatus || !attrValue) return OCI_INVALID_HANDLE;
    *attrNullStatus = *place->indicator;
    if (attrNullStruct) *attrNullStruct = place->attribute->nested ? place->indicator : nullptr;
    *attrValue = place->data;
    if (attrTdo) *attrTdo = nullptr;  // the program describes attribute types itself
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIObjectSetAttr(OCIEnv* env, OCIError* err, dvoid* instance, dvoid* nullStruct, OCIType* tdo,
                                  const OraText** names, const ub4* lengths, ub4 nameCount, const ub4*, ub4 indexCount,
                                  OCIInd nullStatus, const dvoid* attrNullStruct, const dvoid* attrValue) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    std::optional<AttributePlace> place = FindAttribute(instance, nullStruct, tdo, names, lengths, nameCount, indexCount);
    if (!place) return OCI_INVALID_HANDLE;
    const TypeLayout::Attribute* attribute = place->attribute;
    unsigned char* data = place->data;
    ObjectInstance* object = place->object;
    OCIInd* indicator = place->indicator;
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
      case SQLT_REF: {
        const RefValue* from = RefOf(attrValue);
        if (!from) return OCI_INVALID_HANDLE;
        FillSlot(*attribute, data, indicator, RefImage(from), env, from->service);
        if (from->oid == 0) return OCI_SUCCESS;
        break;
      }
      case SQLT_NTY: {  // a whole embedded object (with its indicator structure) or collection
        Value value;
        if (attribute->nested) {
          std::vector<OCIInd> present(attribute->nested->indicatorSize / sizeof(OCIInd), IndNotNull);
          value = ObjectImageOf(*attribute->nested, static_cast<const unsigned char*>(attrValue),
                                attrNullStruct ? static_cast<const OCIInd*>(attrNullStruct) : present.data());
        } else {
          const ObjectInstance* from = Instances().Find(attrValue);
          if (!from || !from->collection) return OCI_INVALID_HANDLE;
          value = CollectionImageOf(*from);
        }
        FillSlot(*attribute, data, indicator, value, env, object ? object->service : nullptr);
        return OCI_SUCCESS;
      }
      default: throw OraError(3001);  // LOBs are not kept in objects here
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
