// oci.dll: types by name and their describe. Both read the server's type catalogue
// (ALL_TYPES, ALL_TYPE_ATTRS, ALL_COLL_TYPES) as the client's own queries.
#include <windows.h>

#include <cstdlib>

#include "standins/oracle/client/OciCalls.h"
#include "standins/oracle/client/OciTypes.h"

using namespace orastandin;
using namespace orastandin::oci;

namespace {

// A type name as SQL reads it: "[SCHEMA.]NAME", upper-cased unless quoted.
struct QualifiedName {
  std::string schema, name;
};

std::string NamePart(std::string part) {
  if (part.size() >= 2 && part.front() == '"' && part.back() == '"') return part.substr(1, part.size() - 2);
  for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return part;
}

QualifiedName ParseName(const std::string& text) {
  std::size_t dot = text.find('.');
  if (dot == std::string::npos) return {"", NamePart(text)};
  return {NamePart(text.substr(0, dot)), NamePart(text.substr(dot + 1))};
}

ExecuteReply CatalogQuery(SvcCtxHandle* svc, const std::string& sql, const std::string& typeName) {
  return ServerQuery(svc, sql, {{"NAME", Value::Text(typeName)}});
}

std::string CellText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: return {};
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Real: return std::to_string(static_cast<long long>(v.real));
    default: return v.bytes;
  }
}

int CellInt(const Value& v, int nullValue) {
  if (v.IsNull()) return nullValue;
  if (v.kind == Value::Kind::Integer) return static_cast<int>(v.integer);
  if (v.kind == Value::Kind::Real) return static_cast<int>(v.real);
  return std::atoi(v.bytes.c_str());
}

// The type code of a catalogued type; ORA-04043 when there is none. All users share the
// server's one name space, so the schema does not narrow the search.
std::string TypeCodeOf(SvcCtxHandle* svc, const QualifiedName& type) {
  ExecuteReply r = CatalogQuery(svc, "SELECT TYPECODE FROM ALL_TYPES WHERE TYPE_NAME = :NAME", type.name);
  if (r.rows.empty()) throw OraError(4043, type.schema.empty() ? type.name : type.schema + "." + type.name);
  return CellText(r.rows[0][0]);
}

// Fills an attribute or element from its catalogue cells: modifier, type owner, type name,
// length, precision, scale.
void DescribeAttributeType(ParamDescriptor& p, const std::vector<Value>& row, std::size_t first) {
  const std::string modifier = CellText(row[first]), owner = CellText(row[first + 1]), type = CellText(row[first + 2]);
  ColumnInfo& c = p.column;
  c.size = CellInt(row[first + 3], 0);
  c.precision = CellInt(row[first + 4], 0);
  c.scale = CellInt(row[first + 5], 0);
  if (modifier == "REF" || !owner.empty()) {
    c.oraType = modifier == "REF" ? SQLT_REF : SQLT_NTY;
    p.typeName = type;
    p.schemaName = owner;
    return;
  }
  static const struct {
    const char* name;
    int oraType;
    int size;  // 0: the declared length
  } builtIns[] = {
      {"VARCHAR2", oratype::Varchar2, 0}, {"NVARCHAR2", oratype::Varchar2, 0}, {"CHAR", oratype::Char, 0},
      {"RAW", oratype::Raw, 0},           {"NUMBER", oratype::Number, 22},     {"FLOAT", oratype::Number, 22},
      {"DATE", oratype::Date, 7},         {"CLOB", oratype::Clob, 4000},      {"BLOB", oratype::Blob, 4000},
      {"BFILE", oratype::Bfile, 530},
  };
  for (const auto& b : builtIns)
    if (type == b.name) {
      c.oraType = b.oraType;
      if (b.size) c.size = b.size;
      p.typeName = type;
      if (b.oraType == oratype::Number && row[first + 4].IsNull()) c.scale = -127;  // NUMBER without precision
      return;
    }
  throw OraError(3001);
}

ParamDescriptor* NewParam(const void* owner) { return Handles().Create<ParamDescriptor>(OCI_DTYPE_PARAM, owner); }

// The describe of a type: its code and either its attributes or its collection's element.
ParamDescriptor* DescribeType(SvcCtxHandle* svc, const void* owner, const QualifiedName& type) {
  const std::string typeCode = TypeCodeOf(svc, type);
  ParamDescriptor* root = NewParam(owner);
  root->column.name = type.name;
  root->schemaName = svc->session ? svc->session->user : std::string();
  if (typeCode == "OBJECT") {
    root->typeCode = OCI_TYPECODE_OBJECT;
    root->attributeList = NewParam(root);
    ExecuteReply r = CatalogQuery(svc,
        "SELECT ATTR_NAME, ATTR_TYPE_MOD, ATTR_TYPE_OWNER, ATTR_TYPE_NAME, LENGTH, PRECISION, SCALE FROM ALL_TYPE_ATTRS "
        "WHERE TYPE_NAME = :NAME ORDER BY ATTR_NO", type.name);
    for (const auto& row : r.rows) {
      ParamDescriptor* attribute = NewParam(root->attributeList);
      attribute->column.name = CellText(row[0]);
      DescribeAttributeType(*attribute, row, 1);
      root->attributeList->list.push_back(attribute);
    }
    return root;
  }
  root->typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
  ExecuteReply r = CatalogQuery(svc,
      "SELECT COLL_TYPE, UPPER_BOUND, ELEM_TYPE_MOD, ELEM_TYPE_OWNER, ELEM_TYPE_NAME, LENGTH, PRECISION, SCALE "
      "FROM ALL_COLL_TYPES WHERE TYPE_NAME = :NAME", type.name);
  if (r.rows.empty()) throw OraError(4043, type.name);
  const auto& row = r.rows[0];
  root->collectionTypeCode = CellText(row[0]) == "TABLE" ? OCI_TYPECODE_TABLE : OCI_TYPECODE_VARRAY;
  root->element = NewParam(root);
  root->element->numElems = static_cast<ub4>(CellInt(row[1], 0));
  DescribeAttributeType(*root->element, row, 2);
  return root;
}

}  // namespace

ExecuteReply orastandin::oci::ServerQuery(SvcCtxHandle* svc, const std::string& sql, const std::vector<BindValue>& binds) {
  ExecuteRequest request;
  request.sql = sql;
  request.iterations.emplace_back();
  for (const BindValue& b : binds) {
    request.bindNames.push_back(b.name);
    request.iterations[0].push_back(b.value);
  }
  WireWriter w = RequestOf(Request::Execute);
  w.Execute(request);
  return WireReader(svc->server->connection->Call(w)).Reply();
}

ParamDescriptor* orastandin::oci::DescribeTypeNamed(SvcCtxHandle* svc, const void* owner, const std::string& name) {
  return DescribeType(svc, owner, {"", name});
}

// Describes types by name only: other objects and other ways to name them are not offered.
OCI_EXPORT sword OCIDescribeAny(OCISvcCtx* svchp, OCIError* errhp, dvoid* objptr, ub4 objnmLen, ub1 objptrTyp, ub1,
                                ub1 objtyp, OCIDescribe* dschp) {
  return Guard(errhp, [&](ErrorHandle*) -> sword {
    auto* describe = Handles().Find<DescribeHandle>(dschp, OCI_HTYPE_DESCRIBE);
    SvcCtxHandle* svc = ConnectedService(svchp);
    if (!describe || !svc || !objptr) return OCI_INVALID_HANDLE;
    if (objptrTyp != OCI_OTYPE_NAME || objtyp != OCI_PTYPE_TYPE) throw OraError(3001);
    if (describe->root) Handles().Free(describe->root, OCI_DTYPE_PARAM);
    describe->root = nullptr;
    const std::string text = TextArg(static_cast<const OraText*>(objptr), static_cast<sb4>(objnmLen));
    describe->root = DescribeType(svc, describe, ParseName(text));
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCITypeByName(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, const OraText* schemaName, ub4 sLength,
                               const OraText* typeName, ub4 tLength, const OraText*, ub4, ub2, ub4, OCIType** tdo) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    SvcCtxHandle* service = ConnectedService(const_cast<OCISvcCtx*>(svc));
    if (!env || !service || !tdo || !typeName) return OCI_INVALID_HANDLE;
    // The names are taken as they are given (OCI does not upper-case them here).
    QualifiedName name{TextArg(schemaName, static_cast<sb4>(sLength)), TextArg(typeName, static_cast<sb4>(tLength))};
    const std::string key = name.schema + "." + name.name;
    auto cached = service->types.find(key);
    if (cached != service->types.end() && Handles().Is(cached->second, StandinTypeDescriptor)) {
      *tdo = reinterpret_cast<OCIType*>(cached->second);
      return OCI_SUCCESS;
    }
    const std::string typeCode = TypeCodeOf(service, name);
    auto* descriptor = Handles().Create<TypeDescriptor>(StandinTypeDescriptor, service);
    descriptor->service = service;
    descriptor->schema = name.schema;
    descriptor->name = name.name;
    descriptor->typeCode = typeCode == "OBJECT" ? OCI_TYPECODE_OBJECT : OCI_TYPECODE_NAMEDCOLLECTION;
    service->types[key] = descriptor;
    *tdo = reinterpret_cast<OCIType*>(descriptor);
    return OCI_SUCCESS;
  });
}
