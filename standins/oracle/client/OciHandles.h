// The stand-in client's handles and descriptors, and the registry that owns them: every
// pointer a program passes in is looked up, so a stale or foreign pointer is refused
// (OCI_INVALID_HANDLE) instead of followed.
#pragma once
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "oracle/oci/OciApi.h"
#include "standins/oracle/client/PieceExchange.h"
#include "standins/oracle/client/ServerConnection.h"
#include "standins/oracle/protocol/OraError.h"
#include "standins/oracle/protocol/Wire.h"

namespace orastandin::oci {

using namespace oracle::oci;

struct EnvHandle {};

struct ErrorHandle {
  bool hasRecord = false;
  int code = 0;
  std::string text;
  void Set(const OraError& e) {
    hasRecord = true;
    code = e.Code();
    text = e.Text();
  }
};

struct ServerHandle {
  std::unique_ptr<ServerConnection> connection;
  std::string banner;
  std::int64_t sessionId = 0;  // for breaks
  std::string breakKey;
};

struct SessionHandle {
  std::string user, password;
  bool begun = false;
};

struct TypeDescriptor;
struct SvcCtxHandle {
  const void* env = nullptr;  // the environment it was made in
  ServerHandle* server = nullptr;
  SessionHandle* session = nullptr;
  std::map<std::string, TypeDescriptor*> types;  // by OCITypeByName, one descriptor per name
  std::map<std::string, std::shared_ptr<void>> layouts;  // of object instances, by type name
};

// The object or REF a bind or define takes (OCIBindObject, OCIDefineObject): the type, the
// program's instance (or REF) pointer slots and indicator structure pointer slots.
struct ObjectSlots {
  TypeDescriptor* type = nullptr;
  void** instances = nullptr;
  void** indicators = nullptr;
};

struct StmtHandle;
struct BindHandle {
  StmtHandle* statement = nullptr;
  std::string name;
  void* value = nullptr;
  sb4 valueSize = 0;
  ub2 dty = 0;
  void* indicator = nullptr;
  ub2* alen = nullptr;
  ub2* rcode = nullptr;
  ub4 valueSkip = 0, indicatorSkip = sizeof(sb2), alenSkip = sizeof(ub2), rcodeSkip = sizeof(ub2);
  // A PL/SQL table: room for maxElements, *currentElements of them in use (set on return).
  ub4 maxElements = 0;
  ub4* currentElements = nullptr;
  bool dataAtExec = false;
  void* inContext = nullptr;
  OCICallbackInBind inCallback = nullptr;
  void* outContext = nullptr;
  OCICallbackOutBind outCallback = nullptr;
  ObjectSlots object;
};

struct DefineHandle {
  StmtHandle* statement = nullptr;
  ub4 position = 0;
  void* value = nullptr;
  sb4 valueSize = 0;
  ub2 dty = 0;
  void* indicator = nullptr;
  ub2* rlen = nullptr;
  ub2* rcode = nullptr;
  ub4 valueSkip = 0, indicatorSkip = sizeof(sb2), rlenSkip = sizeof(ub2), rcodeSkip = sizeof(ub2);
  bool dynamic = false;
  void* context = nullptr;
  OCICallbackDefine callback = nullptr;
  ObjectSlots object;
};

struct ParamDescriptor {
  ColumnInfo column;
  // The parameters of a type's describe: the type (its code, and its attribute list or its
  // collection element), the attribute list, or one attribute or element.
  ub2 typeCode = 0;
  ub2 collectionTypeCode = 0;
  std::string typeName, schemaName;  // the type an attribute names; a described type's own name
  ub4 numElems = 0;                  // the bound of a VARRAY's element
  ParamDescriptor* attributeList = nullptr;
  ParamDescriptor* element = nullptr;
  std::vector<ParamDescriptor*> list;  // of the attribute list
};

struct StmtHandle {
  SvcCtxHandle* service = nullptr;  // of the last execution
  std::string sql;
  ub2 statementType = 0;
  ub2 functionCode = 0;
  std::vector<BindHandle*> binds;
  std::map<ub4, DefineHandle*> defines;
  bool executed = false;
  bool describedOnly = false;
  ExecuteReply result;
  std::size_t nextRow = 0;
  ub4 rowCount = 0;
  ub4 rowsFetched = 0;  // by the last fetch (or execute that fetched)
  ub2 parseErrorOffset = 0;
  std::vector<ParamDescriptor*> params;
  // Piecewise values without callbacks (status OCI_NEED_DATA): binds' values being
  // collected, and a fetch stopped at a dynamic define's value.
  PieceCollector inPieces;
  PieceOutlet outPiece;  // a define's value (fetch) or an out bind's (the position in outBinds)
  // Values a statement returned to data-at-execution binds without callbacks, handed out in turn.
  std::vector<std::pair<BindHandle*, Value>> outBinds;
  struct PendingFetch {
    bool active = false;
    ub4 rows = 0, delivered = 0;
    bool truncated = false;
    std::vector<ub4> positionsDone;  // of the row being delivered
  } fetch;
};

// Laid out as the Oracle layer reads it: the pointer to the 13 ROWID bytes at byte 8.
struct RowidDescriptor {
  ub4 header[2] = {0x4F434944, OCI_DTYPE_ROWID};
  ub1* data = nullptr;
  ub1 bytes[RowidByteCount] = {};
};
static_assert(offsetof(RowidDescriptor, data) == RowidPointerOffset);

// A LOB locator: the value as fetched or returned, and where it lives when it may be written.
// A file locator names a directory alias and a file; its data is read when it is opened.
struct LobDescriptor {
  bool initialized = false;
  bool binary = false;
  std::string data;
  std::string place;
  std::string directory, fileName;
  bool opened = false;
};
struct DescribeHandle {
  ParamDescriptor* root = nullptr;  // owned by the describe handle
};

// An OCIString: a registered text, owned by the environment of its first use.
constexpr ub4 StandinString = 0x5354;
struct StringValue {
  std::string text;
};

// The type descriptor OCITypeByName hands out (owned by the service context).
constexpr ub4 StandinTypeDescriptor = 0x5459;
struct TypeDescriptor {
  SvcCtxHandle* service = nullptr;
  std::string schema, name;
  ub2 typeCode = 0;
};

// A REF: the object table and object id of the object it names (0: a null REF), and the
// service context through which it is pinned.
constexpr ub4 StandinRef = 0x5246;
struct RefValue {
  SvcCtxHandle* service = nullptr;
  std::string typeName, table;
  std::int64_t oid = 0;
};

// An object table pinned by OCIObjectPinTable, in which new persistent objects are made.
constexpr ub4 StandinObjectTable = 0x5442;
struct ObjectTableValue {
  SvcCtxHandle* service = nullptr;
  std::string table, typeName;
};

class HandleRegistry {
 public:
  // The new handle belongs to owner (freed with it).
  template <class T>
  T* Create(ub4 type, const void* owner) {
    auto holder = std::make_unique<Holder<T>>();
    holder->owner = owner;
    holder->type = type;
    T* object = &holder->object;
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[object] = std::move(holder);
    return object;
  }

  // nullptr unless h is a live handle of that type.
  template <class T>
  T* Find(const void* h, ub4 type) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(h);
    if (it == entries_.end() || it->second->type != type) return nullptr;
    return static_cast<T*>(it->second->Object());
  }

  bool Is(const void* h, ub4 type) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(h);
    return it != entries_.end() && it->second->type == type;
  }

  bool Contains(const void* h) {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count(h) != 0;
  }

  // Frees the handle and everything it owns; false if it is not a live handle of that type.
  bool Free(const void* h, ub4 type);

 private:
  struct Entry {
    virtual ~Entry() = default;
    virtual void* Object() = 0;
    const void* owner = nullptr;
    ub4 type = 0;
  };
  template <class T>
  struct Holder : Entry {
    T object;
    void* Object() override { return &object; }
  };
  void FreeLocked(const void* h);

  std::mutex mutex_;
  std::map<const void*, std::unique_ptr<Entry>> entries_;
};

HandleRegistry& Handles();

}  // namespace orastandin::oci
