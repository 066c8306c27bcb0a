// Vocabulary of the dataset framework: field types, dataset states, data events,
// fetch modes and results, bookmark flags, options, and the database error family.
// Shared by TDataSet, the TField family, definitions, parameters and data links, and
// by both data-access libraries that derive from them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/SysUtils.h"

namespace platform {

// Field types; the numbers are fixed (callers keep them in tables).
enum TFieldType : int {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
    ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
    ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar,
    ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob,
    ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

bool IsBlobType(TFieldType type);
// The types by their identifiers ("ftString"), as form descriptions write them.
const std::vector<std::pair<AnsiString, TFieldType>>& FieldTypeNames();

enum TDataSetState : int {
    dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
    dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

enum TDataEvent : int {
    deFieldChange, deRecordChange, deDataSetChange, deDataSetScroll, deLayoutChange,
    deUpdateRecord, deUpdateState, deCheckBrowseMode, dePropertyChange, deFieldListChange,
    deFocusControl, deParentScroll, deConnectChange, deDisabledStateChange
};

// What FetchRecord is asked for and what it answers.
enum TGetMode : int { gmCurrent, gmNext, gmPrior };
enum TGetResult : int { grOK, grBOF, grEOF, grError };

// Where a record buffer stands: on a record, before the first, after the last, or a
// record being inserted.
enum TBookmarkFlag : int { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TFieldKind : int { fkData, fkCalculated, fkLookup, fkInternalCalc };

enum TResyncModeFlag : int { rmExact = 1, rmCenter = 2 };
using TResyncMode = int;  // set of TResyncModeFlag

enum TLocateOption : int { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;

enum TFilterOption : int { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = int;

enum TBlobStreamMode : int { bmRead, bmWrite, bmReadWrite };

enum TUpdateStatus : int { usUnmodified, usModified, usInserted, usDeleted };
enum TUpdateKind : int { ukModify, ukInsert, ukDelete };
enum TUpdateAction : int { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TUpdateMode : int { upWhereAll, upWhereChanged, upWhereKeyOnly };
enum TTransIsolation : int { tiDirtyRead, tiReadCommitted, tiRepeatableRead };
enum TBatchMode : int { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

enum TFieldAttribute : int {
    faHiddenCol = 1, faReadonly = 2, faRequired = 4, faLink = 8, faUnNamed = 16, faFixed = 32
};
using TFieldAttributes = int;

enum TIndexOption : int {
    ixPrimary = 1, ixUnique = 2, ixDescending = 4, ixCaseInsensitive = 8, ixExpression = 16,
    ixNonMaintained = 32
};
using TIndexOptions = int;

enum TAutoRefreshFlag : int { arNone, arAutoInc, arDefault };

// A bookmark is the dataset's own bytes for one record (BookmarkSize long); empty = none.
using TBookmark = std::string;

// Failures of the dataset framework and of the libraries built on it.
class EDatabaseError : public Exception { using Exception::Exception; };
// A dataset could not produce a cursor.
class ENoResultSet : public EDatabaseError { using EDatabaseError::EDatabaseError; };
// The silent abort: stops an operation without a message shown to anyone.
class EAbort : public Exception {
public:
    explicit EAbort(AnsiString message = "Operation aborted") : Exception(std::move(message)) {}
};

// Names of a ";"-separated list (fields, parameters), blanks around each removed and
// empty names left out.
std::vector<AnsiString> SplitFieldNames(const AnsiString& names);

[[noreturn]] void DatabaseError(const AnsiString& message);
// Raises the runtime's Format of the message and arguments.
template <class... Args>
[[noreturn]] void DatabaseErrorFmt(const AnsiString& format, const Args&... args) {
    DatabaseError(Format(format, args...));
}
[[noreturn]] void Abort();

}  // namespace platform
