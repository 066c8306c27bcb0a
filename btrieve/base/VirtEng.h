// TVirtEng: the call-level facade, the single doorway between the dataset components
// and the engine-neutral handles. Each operation runs one handle operation of the
// current session, a database or a cursor inside a guard and gives a 16-bit result
// code: 0 when it returned, the engine exception's code when it raised one (the
// failure is then the only entry of the error stack). Handles passed in are checked:
// a missing or freed handle gives 0x2706 instead of being touched.
#pragma once

#include <cstdint>

#include "btrieve/base/BaseSession.h"
#include "btrieve/base/FilterListItem.h"

namespace btrieve {

using DBIResult = uint16_t;

class TSqlStmt;

// The process's date and time conventions the facade records come from.
struct TFormatConventions {
    char dateSeparator = '/';
    AnsiString shortDateFormat;
    char timeSeparator = ':';
    AnsiString shortTimeFormat;
    AnsiString amString;
    AnsiString pmString;
    int dateOrder = 0;  // "iDATE" of section "INTL" of WIN.INI

    // The conventions of this process now.
    static TFormatConventions Current();
};

class TVirtEng : public TBapiListItem {
public:
    static constexpr uint32_t kClientValueProp = 0xFF070002;

    explicit TVirtEng(TSessionClass sessionClass);
    ~TVirtEng() override;

    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override;
    void SetProp(uint32_t id, intptr_t value) override;

    DBIResult StartResult() const { return startResult_; }
    const TErrorStack& ErrorStack() const { return errorStack_; }
    const TDateFormat& DateFormat() const { return dateFormat_; }
    const TTimeFormat& TimeFormat() const { return timeFormat_; }
    TBaseSession* CurrentSession() const { return currentSession_; }
    TBaseDatabase* CurrentDatabase() const { return currentDatabase_; }
    TBaseTable* CurrentCursor() const { return currentCursor_; }
    const TQuillonCollection& Sessions() const { return sessions_; }

    void InitDateTimeFormats(const TFormatConventions& conventions);
    static AnsiString StripBracketed(const char* source);
    // Text lines joined by CR LF; empty lines are left out.
    static void AppendErrorLine(const AnsiString& line, AnsiString& text);

    // Sessions.
    DBIResult StartSession(const char* value1, TBaseSession*& session, const char* value2);
    DBIResult CloseSession(TBaseSession* session);
    DBIResult SetCurrSession(TBaseSession* session);
    DBIResult GetCurrSession(TBaseSession*& session);
    DBIResult GetSesInfo(TSessionInfo& info);
    DBIResult AddPassword(const char* password);
    DBIResult DropPassword(const char* password);
    DBIResult AddAlias(void* cfg, const char* aliasName, const char* driverName, const char* params, bool persist);
    DBIResult DeleteAlias(void* cfg, const char* aliasName);
    DBIResult OpenCfgInfoList(void* cfg, int openMode, int cfgMode, const char* cfgPath, TBaseTable*& cursor);
    DBIResult SetPrivateDir(const char* directory);
    DBIResult NativeToAnsi(void* languageDriver, const char* source, char* destination, size_t length,
                           bool& dataLoss);
    DBIResult AnsiToNative(void* languageDriver, const char* source, char* destination, size_t length,
                           bool& dataLoss);
    DBIResult RegisterCallBack(TBaseTable* cursor, uint32_t kind, intptr_t clientData, uint16_t bufferLength,
                               void* callback, void* buffer);
    DBIResult RegisterCursorCallBack(void* dataset, void* callback) { return rc::NotAvailable; }
    DBIResult UnregisterCallBack() { return rc::NotAvailable; }

    // Databases.
    DBIResult OpenDatabase(const char* name, const char* dbType, int32_t openMode, int32_t shareMode,
                           const char* password, uint16_t paramCount, TEngineFieldDesc* paramDescs,
                           char* paramValues, TBaseDatabase*& database);
    DBIResult CloseDatabase(TBaseDatabase*& database);
    DBIResult SetDirectory(TBaseDatabase* database, const char* directory);
    DBIResult OpenTable(TBaseDatabase* database, const char* tableName, const char* driverType,
                        const char* indexName, const char* indexTag, uint16_t indexId, int32_t openMode,
                        int32_t shareMode, int32_t translateMode, bool unidirectional, const void* optParams,
                        TBaseTable*& cursor);
    DBIResult OpenFieldList(TBaseDatabase* database, const char* tableName, const char* driverType,
                            bool physicalTypes, TBaseTable*& cursor);
    DBIResult OpenIndexList(TBaseDatabase* database, const char* tableName, const char* driverType,
                            TBaseTable*& cursor);
    DBIResult OpenVchkList(TBaseDatabase* database, const char* tableName, const char* driverType,
                           TBaseTable*& cursor);
    DBIResult FreeStmt(TSqlStmt*& statement);

    // Cursors.
    DBIResult CloseCursor(TBaseTable* cursor);
    DBIResult CloneCursor(TBaseTable* cursor, bool readOnly, bool unidirectional, TBaseTable*& clone);
    DBIResult SetToBegin(TBaseTable* cursor);
    DBIResult SetToEnd(TBaseTable* cursor);
    DBIResult SetToCursor(TBaseTable* destination, TBaseTable* source);
    DBIResult GetBookMark(TBaseTable* cursor, void* bookmark);
    DBIResult HoldsPlaceOnFailedMove(TBaseTable* cursor, bool& holds);
    DBIResult SetToBookMark(TBaseTable* cursor, const void* bookmark);
    DBIResult CompareBookMarks(TBaseTable* cursor, const void* bookmark1, const void* bookmark2, int32_t& result);
    DBIResult GetRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props);
    DBIResult GetNextRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props);
    DBIResult GetPriorRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props);
    DBIResult GetRecordForKey(TBaseTable* cursor, bool directKey, uint16_t fieldCount, uint16_t partialLength,
                              const void* key, uint8_t* record);
    DBIResult GetVChkDesc(TBaseTable* cursor, uint16_t checkNumber, TValCheckDesc& desc);
    DBIResult RelRecordLock(TBaseTable* cursor, bool all);
    DBIResult InitRecord(TBaseTable* cursor, uint8_t* record);
    DBIResult InsertRecord(TBaseTable* cursor, int lock, uint8_t* record);
    DBIResult AppendRecord(TBaseTable* cursor, uint8_t* record);
    DBIResult ModifyRecord(TBaseTable* cursor, uint8_t* record, bool freeLock);
    DBIResult DeleteRecord(TBaseTable* cursor, uint8_t* record);
    // count: in the records asked for, out the records read; the buffer holds bufferSize bytes.
    DBIResult ReadBlock(TBaseTable* cursor, uint32_t& count, uint8_t* buffer, size_t bufferSize);
    DBIResult SetToSeqNo(TBaseTable* cursor, uint32_t number);
    DBIResult GetField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, void* value, bool& blank);
    DBIResult PutField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, const void* value);
    DBIResult VerifyField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, bool& blank);
    DBIResult OpenBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, int openMode);
    DBIResult GetBlobSize(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t& size);
    DBIResult GetBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                      void* destination, uint32_t& bytesRead);
    DBIResult PutBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                      const void* source);
    DBIResult TruncateBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t length);
    DBIResult FreeBlob(TBaseTable* cursor, uint8_t* record, uint16_t field);
    DBIResult GetCursorProps(TBaseTable* cursor, TCursorProps& props);
    DBIResult GetFieldDescs(TBaseTable* cursor, TEngineFieldDesc* descs);
    DBIResult GetRecordCount(TBaseTable* cursor, uint32_t& count);
    DBIResult GetExactRecordCount(TBaseTable* cursor, uint32_t& count);
    DBIResult ForceReread(TBaseTable* cursor);
    DBIResult ForceRecordReread(TBaseTable* cursor, uint8_t* record);
    DBIResult SetRange(TBaseTable* cursor, bool keyItself, uint16_t startFieldCount, uint16_t startPartialLength,
                       const void* startKey, bool startInclusive, uint16_t endFieldCount, uint16_t endPartialLength,
                       const void* endKey, bool endInclusive);
    DBIResult ResetRange(TBaseTable* cursor);
    DBIResult SwitchToIndex(TBaseTable* cursor, const char* indexName, const char* tagName, uint16_t indexId,
                            bool keepCurrent);
    DBIResult ExtractKey(TBaseTable* cursor, const uint8_t* record, void* key);
    DBIResult GetIndexDesc(TBaseTable* cursor, uint16_t indexNumber, TEngineIndexDesc& desc);
    DBIResult GetIndexDescs(TBaseTable* cursor, TEngineIndexDesc* descs);
    DBIResult AddFilter(TBaseTable* cursor, intptr_t clientData, uint16_t priority, bool canAbort,
                        const uint8_t* expression, TFilterCallback callback, TFilterListItem*& filter);
    DBIResult DropFilter(TBaseTable* cursor, TFilterListItem* filter);
    DBIResult ActivateFilter(TBaseTable* cursor, TFilterListItem* filter);
    DBIResult DeactivateFilter(TBaseTable* cursor, TFilterListItem* filter);
    DBIResult BeginDelayedUpdates(TBaseTable*& cursor);
    // Hands the wrapped cursor back; 0x3201 when unapplied changes had to be dropped.
    DBIResult EndDelayedUpdates(TBaseTable*& cursor);
    // Commands of the delayed-update cursor: 0 commit, 1 cancel, 2 cancel current, 3 write.
    DBIResult ApplyDelayedUpdates(TBaseTable* cursor, int command);

    // Any handle.
    DBIResult GetProp(TBapiListItem* handle, uint32_t id, void* value, uint16_t bufferLength, uint16_t& length);
    DBIResult SetProp(TBapiListItem* handle, uint32_t id, intptr_t value);
    DBIResult GetObjFromObj(TBapiListItem* handle, int objectType, TBapiListItem*& result);

    // The error stack (no guard). text holds at least 261 bytes.
    DBIResult GetErrorEntry(int n, int32_t& nativeCode, char* text);
    DBIResult FindErrorEntry(DBIResult code, char* text);

private:
    template <class Work>
    DBIResult Guard(Work&& work);
    void HandleError(const EQuillonEngineError& error);
    // The handle when it is alive and of that class; else 0x2706.
    template <class T>
    T* Live(T* handle);
    TBaseSession* Session();
    TBaseTable* UseCursor(TBaseTable* cursor);
    TBaseDatabase* UseDatabase(TBaseDatabase* database);
    void ForgetFreedHandles();
    AnsiString ResolveDatabaseName(const char* name, const char* dbType, uint16_t paramCount,
                                   TEngineFieldDesc* paramDescs, char* paramValues);

    TSessionClass sessionClass_;
    TErrorStack errorStack_;
    TQuillonCollection sessions_;
    TDateFormat dateFormat_{};
    TTimeFormat timeFormat_{};
    TBaseSession* currentSession_ = nullptr;
    TBaseTable* currentCursor_ = nullptr;
    TBaseDatabase* currentDatabase_ = nullptr;
    DBIResult startResult_ = 0;
    int32_t clientValue_ = 0;
    TSqlStmt* currentStmt_ = nullptr;
};

}  // namespace btrieve
