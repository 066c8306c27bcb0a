// The Oracle client loader: finds the client library through the registry's Oracle homes,
// PATH and OCIDLL, reads its version, binds the client entry points by name (a missing
// name raises "OCI function is not linked" when called) and creates the one environment
// and error handle the process shares. It also turns OCI statuses into Oracle error codes
// and texts. Every Oracle class calls the client through the table `Oci` below.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "oracle/oci/OciApi.h"
#include "oracle/oci/OraError.h"
#include "platform/ModuleUnits.h"

namespace oracle {

using namespace oracle::oci;

// Entry points the library binds but never calls through a typed signature.
using OCIUntypedProc = sword(OCI_CALL*)();

// The bound client functions, by group, in binding order.
#define ORACLE_OCI7_ENTRIES(X) \
  X(obindps, obindpsProc) X(obndra, OCIUntypedProc) X(obndrn, OCIUntypedProc) X(obndrv, obndrvProc) \
  X(obreak, obreakProc) X(ocan, ocanProc) X(oclose, ocloseProc) X(ocof, OCIUntypedProc) X(ocom, ocomProc) \
  X(ocon, OCIUntypedProc) X(odefin, odefinProc) X(odefinps, odefinpsProc) X(odescr, odescrProc) \
  X(odessp, OCIUntypedProc) X(oerhms, oerhmsProc) X(oermsg, OCIUntypedProc) X(oexec, OCIUntypedProc) \
  X(oexfet, OCIUntypedProc) X(oexn, oexnProc) X(ofen, ofenProc) X(ofetch, OCIUntypedProc) \
  X(oflng, OCIUntypedProc) X(ognfd, OCIUntypedProc) X(olog, ologProc) X(ologof, ologofProc) \
  X(onbclr, OCIUntypedProc) X(onbset, OCIUntypedProc) X(onbtst, OCIUntypedProc) X(oopen, oopenProc) \
  X(oopt, OCIUntypedProc) X(oparse, oparseProc) X(opinit, opinitProc) X(orol, orolProc) \
  X(ogetpi, ogetpiProc) X(osetpi, osetpiProc) X(sqllda, OCIUntypedProc) X(sqlld2, OCIUntypedProc)

#define ORACLE_OCI8_ENTRIES(X) \
  X(OCIAttrGet, OCIAttrGetProc) X(OCIAttrSet, OCIAttrSetProc) \
  X(OCIBindArrayOfStruct, OCIBindArrayOfStructProc) X(OCIBindByName, OCIBindByNameProc) \
  X(OCIBindByPos, OCIBindByPosProc) X(OCIBindDynamic, OCIBindDynamicProc) X(OCIBindObject, OCIBindObjectProc) \
  X(OCIBreak, OCIBreakProc) X(OCIDefineArrayOfStruct, OCIDefineArrayOfStructProc) \
  X(OCIDefineByPos, OCIDefineByPosProc) X(OCIDefineDynamic, OCIDefineDynamicProc) \
  X(OCIDefineObject, OCIDefineObjectProc) X(OCIDescribeAny, OCIDescribeAnyProc) \
  X(OCIDescriptorAlloc, OCIDescriptorAllocProc) X(OCIDescriptorFree, OCIDescriptorFreeProc) \
  X(OCIEnvInit, OCIEnvInitProc) X(OCIErrorGet, OCIErrorGetProc) X(OCIHandleAlloc, OCIHandleAllocProc) \
  X(OCIHandleFree, OCIHandleFreeProc) X(OCIInitialize, OCIInitializeProc) \
  X(OCILdaToSvcCtx, OCILdaToSvcCtxProc) X(OCIParamGet, OCIParamGetProc) \
  X(OCIPasswordChange, OCIPasswordChangeProc) X(OCIServerAttach, OCIServerAttachProc) \
  X(OCIServerDetach, OCIServerDetachProc) X(OCIServerVersion, OCIServerVersionProc) \
  X(OCISessionBegin, OCISessionBeginProc) X(OCISessionEnd, OCISessionEndProc) \
  X(OCIStmtExecute, OCIStmtExecuteProc) X(OCIStmtFetch, OCIStmtFetchProc) \
  X(OCIStmtGetPieceInfo, OCIStmtGetPieceInfoProc) X(OCIStmtPrepare, OCIStmtPrepareProc) \
  X(OCIStmtSetPieceInfo, OCIStmtSetPieceInfoProc) X(OCISvcCtxToLda, OCISvcCtxToLdaProc) \
  X(OCITransCommit, OCITransCommitProc) X(OCITransRollback, OCITransRollbackProc) \
  X(OCILobAppend, OCIUntypedProc) X(OCILobAssign, OCIUntypedProc) X(OCILobCharSetForm, OCIUntypedProc) \
  X(OCILobCharSetId, OCIUntypedProc) X(OCILobCopy, OCIUntypedProc) X(OCILobDisableBuffering, OCIUntypedProc) \
  X(OCILobEnableBuffering, OCIUntypedProc) X(OCILobErase, OCIUntypedProc) \
  X(OCILobFileClose, OCILobFileCloseProc) X(OCILobFileExists, OCILobFileExistsProc) \
  X(OCILobFileGetName, OCILobFileGetNameProc) X(OCILobFileIsOpen, OCIUntypedProc) \
  X(OCILobFileOpen, OCILobFileOpenProc) X(OCILobFileSetName, OCIUntypedProc) \
  X(OCILobFlushBuffer, OCIUntypedProc) X(OCILobGetLength, OCILobGetLengthProc) \
  X(OCILobIsEqual, OCIUntypedProc) X(OCILobLoadFromFile, OCIUntypedProc) \
  X(OCILobLocatorIsInit, OCILobLocatorIsInitProc) X(OCILobRead, OCILobReadProc) X(OCILobTrim, OCILobTrimProc) \
  X(OCILobWrite, OCILobWriteProc)

#define ORACLE_OCI_OBJECT_ENTRIES(X) \
  X(OCICacheFlush, OCIUntypedProc) X(OCICacheFree, OCIUntypedProc) X(OCICacheRefresh, OCIUntypedProc) \
  X(OCICacheUnmark, OCIUntypedProc) X(OCICacheUnpin, OCIUntypedProc) X(OCIObjectCopy, OCIObjectCopyProc) \
  X(OCIObjectExists, OCIUntypedProc) X(OCIObjectFlush, OCIObjectFlushProc) \
  X(OCIObjectFree, OCIObjectFreeProc) X(OCIObjectGetAttr, OCIObjectGetAttrProc) \
  X(OCIObjectGetInd, OCIObjectGetIndProc) X(OCIObjectGetObjectRef, OCIObjectGetObjectRefProc) \
  X(OCIObjectGetProperty, OCIUntypedProc) X(OCIObjectGetTypeRef, OCIUntypedProc) \
  X(OCIObjectIsDirty, OCIUntypedProc) X(OCIObjectIsLocked, OCIUntypedProc) X(OCIObjectLock, OCIUntypedProc) \
  X(OCIObjectMarkDelete, OCIObjectMarkDeleteProc) X(OCIObjectMarkDeleteByRef, OCIUntypedProc) \
  X(OCIObjectMarkUpdate, OCIObjectMarkUpdateProc) X(OCIObjectNew, OCIObjectNewProc) X(OCIObjectPin, OCIObjectPinProc) \
  X(OCIObjectPinCountReset, OCIUntypedProc) X(OCIObjectPinTable, OCIUntypedProc) \
  X(OCIObjectRefresh, OCIUntypedProc) X(OCIObjectSetAttr, OCIObjectSetAttrProc) \
  X(OCIObjectUnmark, OCIUntypedProc) X(OCIObjectUnmarkByRef, OCIUntypedProc) \
  X(OCIObjectUnpin, OCIUntypedProc) X(OCITypeByName, OCITypeByNameProc) X(OCITypeByRef, OCIUntypedProc) \
  X(OCICollAppend, OCICollAppendProc) X(OCICollAssign, OCICollAssignProc) \
  X(OCICollAssignElem, OCICollAssignElemProc) X(OCICollGetElem, OCICollGetElemProc) \
  X(OCICollMax, OCIUntypedProc) X(OCICollSize, OCICollSizeProc) X(OCICollTrim, OCIUntypedProc) \
  X(OCIDateAssign, OCIUntypedProc) X(OCIDateFromText, OCIUntypedProc) X(OCIDateGetDate, OCIUntypedProc) \
  X(OCIDateGetTime, OCIUntypedProc) X(OCIDateSetDate, OCIUntypedProc) X(OCIDateSetTime, OCIUntypedProc) \
  X(OCIDateToText, OCIUntypedProc) X(OCINumberAssign, OCIUntypedProc) \
  X(OCINumberFromInt, OCINumberFromIntProc) X(OCINumberFromReal, OCINumberFromRealProc) \
  X(OCINumberFromText, OCIUntypedProc) X(OCINumberToInt, OCINumberToIntProc) \
  X(OCINumberToReal, OCINumberToRealProc) X(OCINumberToText, OCIUntypedProc) \
  X(OCIRefAssign, OCIRefAssignProc) X(OCIRefClear, OCIRefClearProc) X(OCIRefIsEqual, OCIUntypedProc) \
  X(OCIRefIsNull, OCIRefIsNullProc) X(OCIStringAllocSize, OCIUntypedProc) X(OCIStringAssign, OCIUntypedProc) \
  X(OCIStringAssignText, OCIStringAssignTextProc) X(OCIStringPtr, OCIStringPtrProc) \
  X(OCIStringResize, OCIStringResizeProc) X(OCIStringSize, OCIUntypedProc) \
  X(OCITableDelete, OCITableDeleteProc) X(OCITableExists, OCIUntypedProc) X(OCITableFirst, OCIUntypedProc) \
  X(OCITableLast, OCIUntypedProc) X(OCITableNext, OCITableNextProc) X(OCITablePrev, OCIUntypedProc) \
  X(OCITableSize, OCITableSizeProc)

#define ORACLE_OCI81_ENTRIES(X) \
  X(OCIEnvCreate, OCIEnvCreateProc) X(OCIDirPathAbort, OCIUntypedProc) \
  X(OCIDirPathColArrayEntryGet, OCIUntypedProc) X(OCIDirPathColArrayEntrySet, OCIUntypedProc) \
  X(OCIDirPathColArrayRowGet, OCIUntypedProc) X(OCIDirPathColArrayReset, OCIUntypedProc) \
  X(OCIDirPathColArrayToStream, OCIUntypedProc) X(OCIDirPathFinish, OCIUntypedProc) \
  X(OCIDirPathLoadStream, OCIUntypedProc) X(OCIDirPathPrepare, OCIUntypedProc) \
  X(OCIDirPathStreamReset, OCIUntypedProc)

struct TOciEntryPoints {
#define ORACLE_OCI_SLOT(name, type) type name;
    ORACLE_OCI7_ENTRIES(ORACLE_OCI_SLOT)
    ORACLE_OCI8_ENTRIES(ORACLE_OCI_SLOT)
    ORACLE_OCI_OBJECT_ENTRIES(ORACLE_OCI_SLOT)
    ORACLE_OCI81_ENTRIES(ORACLE_OCI_SLOT)
#undef ORACLE_OCI_SLOT
};

// The process's entry-point table; every slot holds the client's function or the stub.
extern TOciEntryPoints Oci;

namespace detail {
[[noreturn]] void RaiseNotLinked();
template <class Proc>
struct UnboundEntry;
template <class R, class... Args>
struct UnboundEntry<R(OCI_CALL*)(Args...)> {
    static R OCI_CALL Call(Args...) { RaiseNotLinked(); }
};
}  // namespace detail

// The stub of a slot whose client function is missing: raises "OCI function is not linked".
template <class Proc>
Proc UnboundEntryPoint() {
    return &detail::UnboundEntry<Proc>::Call;
}

// Answers whether a slot holds a function of the client rather than the stub.
template <class Proc>
bool IsBound(Proc slot) {
    return slot != UnboundEntryPoint<Proc>();
}

// Groups of entry points (bits of EntryGroups).
inline constexpr uint8_t egOCI7 = 2;
inline constexpr uint8_t egOCI8 = 4;
inline constexpr uint8_t egOCI81 = 8;
inline constexpr uint8_t egOCI9 = 16;

// The Oracle home a session asks for: the default one or entry 0..5 of the home list.
enum TOracleHome : uint8_t { ohDefault, ohHome0, ohHome1, ohHome2, ohHome3, ohHome4, ohHome5 };

struct TOracleHomeEntry {
    std::string Path;     // ORACLE_HOME
    std::string KeyName;  // e.g. HOME0
    std::string Name;     // ORACLE_HOME_NAME
};
inline constexpr size_t MaxOracleHomes = 6;

// Module-wide state of the loader: one client library per process.
struct TOciClientState {
    std::string ClientLibraryPath;
    std::string ClientVersionText;
    uint8_t ClientVersionLevel = 0;  // 1 7.3, 2 8.0, 3 8.1, 4 9 and 10
    uint8_t CallInterface = 0;       // 1 OCI7 calls, 2 OCI8 calls
    uint8_t EntryGroups = 0;
    bool LiteClient = false;
    std::string HomePath;
    std::vector<TOracleHomeEntry> HomeList;
    int DefaultHome = -1;
    TOracleHome SelectedHome = ohDefault;
    HMODULE Library = nullptr;
    OCIEnv* Environment = nullptr;
    OCIError* ErrorHandle = nullptr;
    bool EnvironmentReady = false;
    bool ThreadedMode = true;
    bool EnvironmentMutex = false;
    bool SharedMode = false;
    bool EventsMode = false;
    bool Oci7ThreadFlag = false;
};

TOciClientState& OciClient();

// Module start and end (run by the DLL's load and unload code, the first of the Oracle
// layer's units): every entry point on its stub, nothing loaded; at the end the client
// library is freed.
void StartOciLoader();
void EndOciLoader();
void AddOciLoaderUnit(platform::TModuleUnits& units);

// Fills the home list, chooses the client file and reads its version; raises on failure.
void DetectOCI();
// DetectOCI, PATH adjusted for a multi-home machine, the library loaded and bound.
void LoadOCI();
// Releases the shared environment (not in a DLL, see there), frees the library and
// resets the entry points. The home list, selected home and Lite flag survive.
void FreeOCI();
bool IsClientLoaded();
// Loads the client when needed and creates the shared environment; idempotent.
void InitOCI();
void InitOCI7Thread(bool flag);
bool OCI7ThreadInitDone();
void RequireOCI8();

// The version level, groups and call interface a client version text stands for; raises
// "OCI version ... is not supported" for others. ociw32.dll is OCI7 whatever its version.
struct TClientGeneration {
    uint8_t Level = 0;
    uint8_t Groups = 0;
    uint8_t CallInterface = 0;
};
TClientGeneration ClassifyClientVersion(const std::string& fileName, const std::string& versionText);
// The environment mode InitOCI asks for with the given version text and switches.
uint32_t EnvironmentMode(const std::string& versionText, bool withOci81Group, const TOciClientState& switches);
// Numeric comparison of dotted version texts ("10.2" is above "8.1.4").
int CompareVersionText(const std::string& a, const std::string& b);
// The FileVersion text of a file's version block; empty when it has none.
std::string ReadFileVersion(const std::string& path);

// Positive Oracle error code of an OCI status, with its text; no error handle means the
// shared one. Status 0 leaves the text untouched and answers 0.
int32_t GetOraError(sword status, std::string& text, OCIError* errorHandle = nullptr);
int32_t GetOraErrorCode(sword status, OCIError* errorHandle = nullptr);
// Raises EOraError for any status other than success and success with information.
void OraCheck(sword status, OCIError* errorHandle = nullptr);
void CheckStatus(sword status, OCIError* errorHandle = nullptr);

}  // namespace oracle
