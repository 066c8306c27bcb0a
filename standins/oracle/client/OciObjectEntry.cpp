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
  };
  bool object = false;
  std::vector<Attribute> attributes;
  std::size_t dataSize = 0, indicatorSize = sizeof(OCIInd);
};

std::size_t RoundUp(std::size_t value, std::size_t multiple) { return (value + multiple - 1) / multiple * multiple; }

// Frees the describe's parameters however the layout ends.
struct DescribeOwner {
  ParamDescriptor* root = nullptr;
  ~DescribeOwner() {
    if (root) Handles().Free(root, OCI_DTYPE_PARAM);
  }
};

std::shared_ptr<TypeLayout> LayoutOf(SvcCtxHandle* svc, const std::string& name, int depth = 0) {
  if (depth > 32) throw OraError(3001);
  DescribeOwner describe;
  int owner = 0;
  describe.root = DescribeTypeNamed(svc, &owner, name);
  auto layout = std::make_shared<TypeLayout>();
  layout->object = describe.root->typeCode == OCI_TYPECODE_OBJECT;
  if (!layout->object) return layout;
  for (ParamDescriptor* p : describe.root->attributeList->list) {
    TypeLayout::Attribute a;
    a.name = p->column.name;
    a.dataType = static_cast<ub2>(p->column.oraType);
    std::size_t size = sizeof(void*), alignment = sizeof(void*), indicatorBytes = sizeof(OCIInd);
    switch (a.dataType) {
      case SQLT_CHR:
      case SQLT_AFC:
      case SQLT_REF:
      case SQLT_CLOB:
      case SQLT_BLOB: break;
      case SQLT_NUM:
        size = sizeof(OCINumber);
        alignment = 1;
        break;
      case SQLT_DAT:
        size = sizeof(OCIDate);
        alignment = 4;
        break;
      case SQLT_NTY: {
        auto nested = LayoutOf(svc, p->typeName, depth + 1);
        if (nested->object) {
          size = nested->dataSize;
          indicatorBytes = nested->indicatorSize;
          a.nested = nested;
        }
        break;
      }
      default: throw OraError(3001);
    }
    a.dataOffset = RoundUp(layout->dataSize, alignment);
    layout->dataSize = a.dataOffset + size;
    a.indicatorOffset = layout->indicatorSize;
    layout->indicatorSize += indicatorBytes;
    layout->attributes.push_back(std::move(a));
  }
  return layout;
}

struct ObjectInstance {
  std::shared_ptr<TypeLayout> layout;
  std::vector<unsigned char> data;
  std::vector<OCIInd> indicators;
};

// Instances by the address handed out.
class ObjectInstances {
 public:
  void* Add(std::unique_ptr<ObjectInstance> instance) {
    std::lock_guard<std::mutex> lock(mutex_);
    void* key = instance->data.data();
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

void FreeStrings(const TypeLayout& layout, unsigned char* data) {
  for (const auto& a : layout.attributes) {
    if (a.nested) FreeStrings(*a.nested, data + a.dataOffset);
    if (a.dataType != SQLT_CHR && a.dataType != SQLT_AFC) continue;
    void* string = nullptr;
    std::memcpy(&string, data + a.dataOffset, sizeof string);
    if (string) Handles().Free(string, StandinString);
  }
}

}  // namespace

OCI_EXPORT sword OCIObjectNew(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, ub2 typecode, OCIType* tdo, dvoid*,
                              ub2, boolean, dvoid** instance) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* service = ConnectedService(const_cast<OCISvcCtx*>(svc));
    auto* type = Handles().Find<TypeDescriptor>(tdo, StandinTypeDescriptor);
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !service || !instance) return OCI_INVALID_HANDLE;
    if (typecode != OCI_TYPECODE_OBJECT || !type) throw OraError(3001);  // collections and REFs: not yet
    auto object = std::make_unique<ObjectInstance>();
    object->layout = LayoutOf(service, type->name);
    if (!object->layout->object) throw OraError(3001);
    object->data.assign(object->layout->dataSize, 0);
    object->indicators.assign(object->layout->indicatorSize / sizeof(OCIInd), IndNotNull);
    MarkAttributesNull(*object->layout, object->indicators.data());
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
