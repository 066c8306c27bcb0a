// Declarations of the Oracle call interface as this system uses it: the scalar and
// handle types, the handle/descriptor/attribute/mode/type numbers, the client memory the
// Oracle layer reads directly (ROWID descriptor, OCI7 data areas, OCIDate, OCINumber) and
// the signatures of the entry points the loader binds by name. Written from what the
// Oracle layer calls; the stand-in client DLLs implement the same contract.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define OCI_CALL __cdecl
#else
#define OCI_CALL
#endif

namespace oracle::oci {

using ub1 = std::uint8_t;
using sb1 = std::int8_t;
using ub2 = std::uint16_t;
using sb2 = std::int16_t;
using ub4 = std::uint32_t;
using sb4 = std::int32_t;
using sword = std::int32_t;
using uword = std::uint32_t;
using eword = std::int32_t;
using boolean = std::int32_t;
using OraText = unsigned char;
using dvoid = void;

// Opaque handles and descriptors: only pointers to them travel.
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIDescribe;
struct OCIServer;
struct OCISession;
struct OCIParam;
struct OCILobLocator;
struct OCIType;
struct OCIRef;
struct OCIColl;
struct OCIString;
struct OCISnapshot;
struct OCIRowid;
using OCIArray = OCIColl;
using OCITable = OCIColl;
using OCIIter = void;

// --- client memory read and written directly -------------------------------------------

// A ROWID descriptor (client 8.1 and later): a pointer-sized slot at byte 8 points to 13
// bytes: byte 0 unused, object number BE32 at 1, file BE16 at 5, block BE32 at 7, row BE16
// at 11. A null pointer means "no ROWID".
struct OCIRowidLayout {
  ub4 header[2];
  ub1* rowidBytes;
};
constexpr std::size_t RowidPointerOffset = 8;
constexpr std::size_t RowidByteCount = 13;

// The 7-byte internal DATE (external type 12): century+100, year+100, month, day,
// hour+1, minute+1, second+1.
struct OraDateBytes {
  ub1 century, year, month, day, hour, minute, second;
};

// OCIDate in object instances: 7 bytes, a little-endian 16-bit year then month, day,
// hour, minute, second.
#pragma pack(push, 1)
struct OCIDate {
  sb2 year;
  ub1 month, day, hour, minute, second;
};
#pragma pack(pop)
static_assert(sizeof(OCIDate) == 7);

// OCINumber: 22 bytes whose inner format belongs to the client; all-zero bytes are valid.
struct OCINumber {
  ub1 bytes[22];
};

// Instances are laid out by the Oracle layer's own rules; indicators are 16-bit.
using OCIInd = sb2;
constexpr OCIInd IndNotNull = 0, IndNull = -1;

// OCI7 data areas: log-on data area 64 bytes, host data area 256 bytes, cursor 64 bytes.
constexpr std::size_t LdaSize = 64, HdaSize = 256, CdaSize = 64;
// The cursor data area fields the Oracle layer reads.
#pragma pack(push, 1)
struct Cda_Def {
  sb2 v2ReturnCode;        // 0: V2 return code
  ub2 functionType;        // 2: SQL function code after parse
  ub4 rowsProcessed;       // 4: rows processed (cumulative for fetches)
  ub2 parseErrorOffset;    // 8: parse error offset
  ub1 functionCode;        // 10
  ub1 reserved1;           // 11
  ub2 returnCode;          // 12: ORA code of the last call
  ub1 warningFlags;        // 14
  ub1 reserved2;           // 15
  ub1 reserved3[4];        // 16
  ub1 rowid[15];           // 20..34: ROWID of the last row processed
  ub1 reserved4[CdaSize - 35];
};
#pragma pack(pop)
static_assert(sizeof(Cda_Def) == CdaSize);
using Lda_Def = Cda_Def;

// --- numbers ------------------------------------------------------------------------------

// Statuses.
constexpr sword OCI_SUCCESS = 0, OCI_SUCCESS_WITH_INFO = 1, OCI_NO_DATA = 100, OCI_ERROR = -1,
                OCI_INVALID_HANDLE = -2, OCI_NEED_DATA = 99, OCI_STILL_EXECUTING = -3123, OCI_CONTINUE = -24200;

// Handle types.
constexpr ub4 OCI_HTYPE_ENV = 1, OCI_HTYPE_ERROR = 2, OCI_HTYPE_SVCCTX = 3, OCI_HTYPE_STMT = 4, OCI_HTYPE_BIND = 5,
              OCI_HTYPE_DEFINE = 6, OCI_HTYPE_DESCRIBE = 7, OCI_HTYPE_SERVER = 8, OCI_HTYPE_SESSION = 9;
// Descriptor types.
constexpr ub4 OCI_DTYPE_LOB = 50, OCI_DTYPE_PARAM = 53, OCI_DTYPE_ROWID = 54, OCI_DTYPE_FILE = 56;

// Attributes, with the C type written or read through the attribute pointer.
constexpr ub4 OCI_ATTR_DATA_SIZE = 1,     // ub2, parameter
    OCI_ATTR_DATA_TYPE = 2,               // ub2, parameter (internal type code)
    OCI_ATTR_NAME = 4,                    // OraText* + ub4 length, parameter
    OCI_ATTR_PRECISION = 5,               // sb2, parameter
    OCI_ATTR_SCALE = 6,                   // sb1, parameter
    OCI_ATTR_SERVER = 6,                  // OCIServer*, service context
    OCI_ATTR_IS_NULL = 7,                 // ub1, parameter
    OCI_ATTR_SESSION = 7,                 // OCISession*, service context
    OCI_ATTR_TYPE_NAME = 8,               // OraText* + ub4, parameter
    OCI_ATTR_SCHEMA_NAME = 9,             // OraText* + ub4, parameter
    OCI_ATTR_ROW_COUNT = 9,               // ub4, statement
    OCI_ATTR_SQLFNCODE = 10,              // ub2, statement
    OCI_ATTR_PARAM_COUNT = 18,            // ub4, statement
    OCI_ATTR_ROWID = 19,                  // the caller's ROWID descriptor is filled, statement
    OCI_ATTR_USERNAME = 22,               // OraText + length, session
    OCI_ATTR_PASSWORD = 23,               // OraText + length, session
    OCI_ATTR_STMT_TYPE = 24,              // ub2, statement
    OCI_ATTR_CHARSET_ID = 31,             // ub2, bind/define
    OCI_ATTR_LOBEMPTY = 45,               // ub4, LOB descriptor
    OCI_ATTR_PARAM = 124,                 // OCIParam*, describe handle
    OCI_ATTR_PARSE_ERROR_OFFSET = 129,    // ub2, statement
    OCI_ATTR_ROWS_FETCHED = 197,          // ub4, statement: rows of the last fetch
    OCI_ATTR_TYPECODE = 216, OCI_ATTR_COLLECTION_TYPECODE = 217, OCI_ATTR_COLLECTION_ELEMENT = 227,
    OCI_ATTR_NUM_TYPE_ATTRS = 228, OCI_ATTR_LIST_TYPE_ATTRS = 229, OCI_ATTR_NUM_ELEMS = 234;

// Statement types (attribute 24).
constexpr ub2 OCI_STMT_SELECT = 1, OCI_STMT_UPDATE = 2, OCI_STMT_DELETE = 3, OCI_STMT_INSERT = 4, OCI_STMT_CREATE = 5,
              OCI_STMT_DROP = 6, OCI_STMT_ALTER = 7, OCI_STMT_BEGIN = 8, OCI_STMT_DECLARE = 9;

// Modes and arguments.
constexpr ub4 OCI_DEFAULT = 0, OCI_THREADED = 1, OCI_OBJECT = 2, OCI_EVENTS = 4, OCI_NO_MUTEX = 8, OCI_SHARED = 16;
constexpr ub4 OCI_SYSDBA = 2, OCI_SYSOPER = 4;
constexpr ub4 OCI_CRED_RDBMS = 1, OCI_CRED_EXT = 2;
constexpr ub4 OCI_NTV_SYNTAX = 1;
constexpr ub4 OCI_DESCRIBE_ONLY = 16;
constexpr ub4 OCI_DATA_AT_EXEC = 2, OCI_DYNAMIC_FETCH = 2;
constexpr ub2 OCI_FETCH_NEXT = 2;
constexpr ub1 OCI_FILE_READONLY = 1;
constexpr ub1 OCI_OTYPE_NAME = 1;
constexpr ub1 OCI_PTYPE_TYPE = 6;
constexpr ub2 OCI_DURATION_SESSION = 10;
constexpr ub4 OCI_TYPEGET_HEADER = 0;
constexpr ub2 OCI_TYPECODE_OBJECT = 108, OCI_TYPECODE_NAMEDCOLLECTION = 122, OCI_TYPECODE_VARRAY = 247,
              OCI_TYPECODE_TABLE = 248;
constexpr ub4 OCI_PIN_LATEST = 3, OCI_LOCK_NONE = 1;
constexpr ub4 OCI_OBJECTFREE_FORCE = 1;
constexpr uword OCI_NUMBER_SIGNED = 2;
constexpr ub2 OCI_TYPECODE_REF = 110;

// Pieces of piecewise transfers.
constexpr ub1 OCI_ONE_PIECE = 0, OCI_FIRST_PIECE = 1, OCI_NEXT_PIECE = 2, OCI_LAST_PIECE = 3;
// Directions OCIStmtGetPieceInfo reports.
constexpr ub1 OCI_PARAM_IN = 1, OCI_PARAM_OUT = 2;

// Internal (describe) type codes.
constexpr ub2 SQLT_CHR = 1, SQLT_NUM = 2, SQLT_INT = 3, SQLT_FLT = 4, SQLT_STR = 5, SQLT_LNG = 8, SQLT_RID = 11,
              SQLT_DAT = 12, SQLT_BIN = 23, SQLT_LBI = 24, SQLT_AFC = 96, SQLT_AVC = 97, SQLT_CUR = 102,
              SQLT_RDD = 104, SQLT_LAB = 106, SQLT_NTY = 108, SQLT_REF = 110, SQLT_CLOB = 112, SQLT_BLOB = 113,
              SQLT_BFILEE = 114, SQLT_CFILEE = 115, SQLT_RSET = 116;

// OCI7 return codes.
constexpr sword OCI7_END_OF_FETCH = 4, OCI7_PAST_SELECT_LIST = -303, OCI7_NEED_PIECE_IN = -3129,
                OCI7_NEED_PIECE_OUT = -3130;

// --- entry points ------------------------------------------------------------------------

// Callbacks of piecewise binds and defines; they return OCI_CONTINUE.
using OCICallbackInBind = sb4(OCI_CALL*)(dvoid* ictxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp,
                                         ub4* alenp, ub1* piecep, dvoid** indp);
using OCICallbackOutBind = sb4(OCI_CALL*)(dvoid* octxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp,
                                          ub4** alenp, ub1* piecep, dvoid** indp, ub2** rcodep);
using OCICallbackDefine = sb4(OCI_CALL*)(dvoid* octxp, OCIDefine* defnp, ub4 iter, dvoid** bufpp, ub4** alenp,
                                         ub1* piecep, dvoid** indp, ub2** rcodep);

using OCIEnvCreateProc = sword(OCI_CALL*)(OCIEnv** envp, ub4 mode, dvoid* ctxp, dvoid* malocfp, dvoid* ralocfp,
                                          dvoid* mfreefp, std::size_t xtramemSize, dvoid** usrmempp);
using OCIInitializeProc = sword(OCI_CALL*)(ub4 mode, dvoid* ctxp, dvoid* malocfp, dvoid* ralocfp, dvoid* mfreefp);
using OCIEnvInitProc = sword(OCI_CALL*)(OCIEnv** envp, ub4 mode, std::size_t xtramemSize, dvoid** usrmempp);
using OCIHandleAllocProc = sword(OCI_CALL*)(const dvoid* parenth, dvoid** hndlpp, ub4 type, std::size_t xtramemSize,
                                            dvoid** usrmempp);
using OCIHandleFreeProc = sword(OCI_CALL*)(dvoid* hndlp, ub4 type);
using OCIDescriptorAllocProc = sword(OCI_CALL*)(const dvoid* parenth, dvoid** descpp, ub4 type,
                                                std::size_t xtramemSize, dvoid** usrmempp);
using OCIDescriptorFreeProc = sword(OCI_CALL*)(dvoid* descp, ub4 type);
using OCIErrorGetProc = sword(OCI_CALL*)(dvoid* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                                         ub4 bufsiz, ub4 type);
using OCIAttrGetProc = sword(OCI_CALL*)(const dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4* sizep,
                                        ub4 attrtype, OCIError* errhp);
using OCIAttrSetProc = sword(OCI_CALL*)(dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4 size, ub4 attrtype,
                                        OCIError* errhp);
using OCIServerAttachProc = sword(OCI_CALL*)(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblinkLen,
                                             ub4 mode);
using OCIServerDetachProc = sword(OCI_CALL*)(OCIServer* srvhp, OCIError* errhp, ub4 mode);
using OCIServerVersionProc = sword(OCI_CALL*)(dvoid* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype);
using OCISessionBeginProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                             ub4 mode);
using OCISessionEndProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
using OCITransCommitProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCITransRollbackProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCIBreakProc = sword(OCI_CALL*)(dvoid* hndlp, OCIError* errhp);
using OCISvcCtxToLdaProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, Lda_Def* ldap);
using OCILdaToSvcCtxProc = sword(OCI_CALL*)(OCISvcCtx** svchpp, OCIError* errhp, Lda_Def* ldap);
using OCIPasswordChangeProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, const OraText* userName,
                                               ub4 usernmLen, const OraText* oldPassword, ub4 oldLen,
                                               const OraText* newPassword, ub4 newLen, ub4 mode);
using OCIStmtPrepareProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmtLen,
                                            ub4 language, ub4 mode);
using OCIStmtExecuteProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                            ub4 rowoff, const OCISnapshot* snapIn, OCISnapshot* snapOut, ub4 mode);
using OCIStmtFetchProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
using OCIStmtGetPieceInfoProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIError* errhp, dvoid** hndlpp, ub4* typep,
                                                 ub1* inoutp, ub4* iterp, ub4* idxp, ub1* piecep);
using OCIStmtSetPieceInfoProc = sword(OCI_CALL*)(dvoid* hndlp, ub4 type, OCIError* errhp, const dvoid* bufp,
                                                 ub4* alenp, ub1 piece, const dvoid* indp, ub2* rcodep);
using OCIBindByNameProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                                           sb4 placehLen, dvoid* valuep, sb4 valueSize, ub2 dty, dvoid* indp,
                                           ub2* alenp, ub2* rcodep, ub4 maxarrLen, ub4* curelep, ub4 mode);
using OCIBindByPosProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position,
                                          dvoid* valuep, sb4 valueSize, ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep,
                                          ub4 maxarrLen, ub4* curelep, ub4 mode);
using OCIBindArrayOfStructProc = sword(OCI_CALL*)(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip,
                                                  ub4 alskip, ub4 rcskip);
using OCIBindDynamicProc = sword(OCI_CALL*)(OCIBind* bindp, OCIError* errhp, dvoid* ictxp, OCICallbackInBind icbfp,
                                            dvoid* octxp, OCICallbackOutBind ocbfp);
using OCIBindObjectProc = sword(OCI_CALL*)(OCIBind* bindp, OCIError* errhp, const OCIType* type, dvoid** pgvpp,
                                           ub4* pvszsp, dvoid** indpp, ub4* indszp);
using OCIDefineByPosProc = sword(OCI_CALL*)(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                            dvoid* valuep, sb4 valueSize, ub2 dty, dvoid* indp, ub2* rlenp,
                                            ub2* rcodep, ub4 mode);
using OCIDefineArrayOfStructProc = sword(OCI_CALL*)(OCIDefine* defnp, OCIError* errhp, ub4 pvskip, ub4 indskip,
                                                    ub4 rlskip, ub4 rcskip);
using OCIDefineDynamicProc = sword(OCI_CALL*)(OCIDefine* defnp, OCIError* errhp, dvoid* octxp,
                                              OCICallbackDefine ocbfp);
using OCIDefineObjectProc = sword(OCI_CALL*)(OCIDefine* defnp, OCIError* errhp, const OCIType* type, dvoid** pgvpp,
                                             ub4* pvszsp, dvoid** indpp, ub4* indszp);
using OCIParamGetProc = sword(OCI_CALL*)(const dvoid* hndlp, ub4 htype, OCIError* errhp, dvoid** parmdpp, ub4 pos);
using OCIDescribeAnyProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, dvoid* objptr, ub4 objnmLen,
                                            ub1 objptrTyp, ub1 infoLevel, ub1 objtyp, OCIDescribe* dschp);

// LOB and file locators.
using OCILobLocatorIsInitProc = sword(OCI_CALL*)(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                                 boolean* isInitialized);
using OCILobGetLengthProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp);
using OCILobReadProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp,
                                        ub4 offset, dvoid* bufp, ub4 bufl, dvoid* ctxp, dvoid* cbfp, ub2 csid,
                                        ub1 csfrm);
using OCILobWriteProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp,
                                         ub4 offset, dvoid* bufp, ub4 buflen, ub1 piece, dvoid* ctxp, dvoid* cbfp,
                                         ub2 csid, ub1 csfrm);
using OCILobTrimProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen);
using OCILobFileOpenProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, ub1 mode);
using OCILobFileCloseProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep);
using OCILobFileExistsProc = sword(OCI_CALL*)(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep,
                                              boolean* flag);
using OCILobFileGetNameProc = sword(OCI_CALL*)(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* filep,
                                               OraText* dirAlias, ub2* dLength, OraText* filename, ub2* fLength);

// Objects, REFs, collections, numbers and strings.
using OCITypeByNameProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, const OraText* schemaName,
                                           ub4 sLength, const OraText* typeName, ub4 tLength,
                                           const OraText* versionName, ub4 vLength, ub2 pinDuration, ub4 getOption,
                                           OCIType** tdo);
using OCIObjectNewProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, ub2 typecode,
                                          OCIType* tdo, dvoid* table, ub2 duration, boolean value,
                                          dvoid** instance);
using OCIObjectFreeProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance, ub2 flags);
using OCIObjectGetIndProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance, dvoid** nullStruct);
using OCIObjectFlushProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* object);
using OCIObjectMarkDeleteProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance);
using OCIObjectMarkUpdateProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance);
using OCIObjectCopyProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, dvoid* source,
                                           dvoid* nullSource, dvoid* target, dvoid* nullTarget, OCIType* tdo,
                                           ub2 duration, ub1 option);
using OCIObjectGetObjectRefProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* object, OCIRef* objectRef);
using OCIObjectPinProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, OCIRef* objectRef, void* corhdl,
                                          ub4 pinOption, ub2 pinDuration, ub4 lockOption, dvoid** object);
using OCIObjectPinTableProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCISvcCtx* svc,
                                               const OraText* schemaName, ub4 sLength, const OraText* objectName,
                                               ub4 oLength, const OCIRef* scopeObjRef, ub2 pinDuration,
                                               dvoid** object);
using OCIObjectUnpinProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* object);
using OCIObjectSetAttrProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance, dvoid* nullStruct,
                                              OCIType* tdo, const OraText** names, const ub4* lengths,
                                              ub4 nameCount, const ub4* indexes, ub4 indexCount, OCIInd nullStatus,
                                              const dvoid* attrNullStruct, const dvoid* attrValue);
using OCIObjectGetAttrProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, dvoid* instance, dvoid* nullStruct,
                                              OCIType* tdo, const OraText** names, const ub4* lengths,
                                              ub4 nameCount, const ub4* indexes, ub4 indexCount, OCIInd* attrNullStatus,
                                              dvoid** attrNullStruct, dvoid** attrValue, OCIType** attrTdo);
using OCIRefIsNullProc = boolean(OCI_CALL*)(OCIEnv* env, const OCIRef* ref);
using OCIRefClearProc = void(OCI_CALL*)(OCIEnv* env, OCIRef* ref);
using OCIRefAssignProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCIRef* source, OCIRef** target);
using OCICollSizeProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4* size);
using OCICollGetElemProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4 index,
                                            boolean* exists, dvoid** elem, dvoid** elemind);
using OCICollAppendProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const dvoid* elem, const dvoid* elemind,
                                           OCIColl* coll);
using OCICollAssignElemProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, sb4 index, const dvoid* elem,
                                               const dvoid* elemind, OCIColl* coll);
using OCICollAssignProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCIColl* rhs, OCIColl* lhs);
using OCITableSizeProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OCITable* tbl, sb4* size);
using OCITableNextProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, sb4 index, const OCITable* tbl, sb4* nextIndex,
                                          boolean* exists);
using OCITableDeleteProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, sb4 index, OCITable* tbl);
using OCINumberToIntProc = sword(OCI_CALL*)(OCIError* err, const OCINumber* number, uword rsltLength,
                                            uword rsltFlag, dvoid* rslt);
using OCINumberFromIntProc = sword(OCI_CALL*)(OCIError* err, const dvoid* inum, uword inumLength, uword inumSFlag,
                                              OCINumber* number);
using OCINumberToRealProc = sword(OCI_CALL*)(OCIError* err, const OCINumber* number, uword rsltLength, dvoid* rslt);
using OCINumberFromRealProc = sword(OCI_CALL*)(OCIError* err, const dvoid* rnum, uword rnumLength, OCINumber* number);
using OCIStringResizeProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, ub4 newSize, OCIString** str);
using OCIStringAssignTextProc = sword(OCI_CALL*)(OCIEnv* env, OCIError* err, const OraText* rhs, ub4 rhsLen,
                                                 OCIString** lhs);
using OCIStringPtrProc = OraText*(OCI_CALL*)(OCIEnv* env, const OCIString* vs);

// OCI7 functions (ociw32.dll, and oci.dll for clients that carry both).
using ologProc = sword(OCI_CALL*)(Lda_Def* lda, ub1* hda, const OraText* uid, sword uidl, const OraText* pswd,
                                 sword pswdl, const OraText* conn, sword connl, ub4 mode);
using ologofProc = sword(OCI_CALL*)(Lda_Def* lda);
using ocomProc = sword(OCI_CALL*)(Lda_Def* lda);
using orolProc = sword(OCI_CALL*)(Lda_Def* lda);
using obreakProc = sword(OCI_CALL*)(Lda_Def* lda);
using oerhmsProc = sword(OCI_CALL*)(Lda_Def* lda, sb2 rcode, OraText* buf, sword bufsiz);
using opinitProc = sword(OCI_CALL*)(ub4 mode);
using oopenProc = sword(OCI_CALL*)(Cda_Def* cursor, Lda_Def* lda, OraText* dbn, sword dbnl, sword arsize,
                                   OraText* uid, sword uidl);
using oparseProc = sword(OCI_CALL*)(Cda_Def* cursor, const OraText* sqlstm, sb4 sqllen, sword defflg, ub4 lngflg);
using ocloseProc = sword(OCI_CALL*)(Cda_Def* cursor);
using oexnProc = sword(OCI_CALL*)(Cda_Def* cursor, sword iters, sword rowoff);
using ofenProc = sword(OCI_CALL*)(Cda_Def* cursor, sword nrows);
using ocanProc = sword(OCI_CALL*)(Cda_Def* cursor);
using obndrvProc = sword(OCI_CALL*)(Cda_Def* cursor, const OraText* sqlvar, sword sqlvl, ub1* progv, sword progvl,
                                    sword ftype, sword scale, sb2* indp, OraText* fmt, sword fmtl, sword fmtt);
using odefinProc = sword(OCI_CALL*)(Cda_Def* cursor, sword pos, ub1* buf, sword bufl, sword ftype, sword scale,
                                    sb2* indp, OraText* fmt, sword fmtl, sword fmtt, ub2* rlen, ub2* rcode);
using odescrProc = sword(OCI_CALL*)(Cda_Def* cursor, sword pos, sb4* dbsize, sb2* dbtype, sb1* cbuf, sb4* cbufl,
                                    sb4* dsize, sb2* prec, sb2* scale, sb2* nullok);
using obindpsProc = sword(OCI_CALL*)(Cda_Def* cursor, ub1 opcode, const OraText* sqlvar, sword sqlvl, ub1* pvctx,
                                     sb4 progvl, sword ftype, sword scale, sb2* indp, ub2* alenp, ub2* rcodep,
                                     sb4 pvSkip, sb4 indSkip, sb4 alenSkip, sb4 rcSkip, ub4 maxsiz, ub4* cursiz,
                                     OraText* fmt, sb4 fmtl, sword fmtt);
using odefinpsProc = sword(OCI_CALL*)(Cda_Def* cursor, ub1 opcode, sword pos, ub1* bufctx, sb4 bufl, sword ftype,
                                      sword scale, sb2* indp, OraText* fmt, sb4 fmtl, sword fmtt, ub2* rlenp,
                                      ub2* rcodep, sb4 pvSkip, sb4 indSkip, sb4 alenSkip, sb4 rcSkip);
using oexecProc = sword(OCI_CALL*)(Cda_Def* cursor);
using ofetchProc = sword(OCI_CALL*)(Cda_Def* cursor);
using obndrnProc = sword(OCI_CALL*)(Cda_Def* cursor, sword sqlvn, ub1* progv, sword progvl, sword ftype, sword scale,
                                    sb2* indp, OraText* fmt, sword fmtl, sword fmtt);
// Piecewise transfer of the version 7 interface.
using ogetpiProc = sword(OCI_CALL*)(Cda_Def* cursor, ub1* piecep, dvoid** ctxpp, ub4* iterp, ub4* indexp);
using osetpiProc = sword(OCI_CALL*)(Cda_Def* cursor, ub1 piece, dvoid* bufp, ub4* lenp);

}  // namespace oracle::oci
