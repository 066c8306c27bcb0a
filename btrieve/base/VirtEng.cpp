#include "btrieve/base/VirtEng.h"

#include <windows.h>

#include <cstring>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/SqlStmt.h"
#include "platform/FormatSettings.h"

namespace btrieve {

TFormatConventions TFormatConventions::Current() {
    const platform::TFormatSettings& settings = platform::FormatSettings();
    TFormatConventions c;
    c.dateSeparator = settings.DateSeparator;
    c.shortDateFormat = settings.ShortDateFormat;
    c.timeSeparator = settings.TimeSeparator;
    c.shortTimeFormat = settings.ShortTimeFormat;
    c.amString = settings.TimeAMString;
    c.pmString = settings.TimePMString;
    c.dateOrder = static_cast<int>(GetProfileIntA("INTL", "iDATE", 0));
    return c;
}

TVirtEng::TVirtEng(TSessionClass sessionClass)
    : TBapiListItem(nullptr, nullptr), sessionClass_(sessionClass), errorStack_(10) {
    InitDateTimeFormats(TFormatConventions::Current());
    startResult_ = StartSession(nullptr, currentSession_, nullptr);
    // No database is current yet (none rather than the facade itself, which is not one).
    currentDatabase_ = nullptr;
}

TVirtEng::~TVirtEng() {
    currentSession_ = nullptr;
    sessions_.FreeAll();
}

void TVirtEng::GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) {
    if (id == kClientValueProp) PutPropValue(value, bufferLength, &clientValue_, sizeof clientValue_, length);
    else TBapiListItem::GetProp(id, value, length, bufferLength);
}

void TVirtEng::SetProp(uint32_t id, intptr_t value) {
    if (id == kClientValueProp) clientValue_ = static_cast<int32_t>(value);
    else TBapiListItem::SetProp(id, value);
}

void TVirtEng::InitDateTimeFormats(const TFormatConventions& c) {
    dateFormat_ = TDateFormat{};
    dateFormat_.separator[0] = c.dateSeparator;
    dateFormat_.dateOrder = static_cast<uint8_t>(c.dateOrder);
    dateFormat_.fourDigitYear = c.shortDateFormat.find("yyyy") != AnsiString::npos;
    dateFormat_.yearBiased = 1;
    dateFormat_.monthLeadingZero = c.shortDateFormat.find("mm") != AnsiString::npos;
    dateFormat_.dayLeadingZero = c.shortDateFormat.find("dd") != AnsiString::npos;
    timeFormat_ = TTimeFormat{};
    timeFormat_.separator = c.timeSeparator;
    timeFormat_.twelveHour = c.shortTimeFormat.find(" AMPM") != AnsiString::npos;
    if (timeFormat_.twelveHour) {
        CopyToField(timeFormat_.amString, sizeof timeFormat_.amString, c.amString.substr(0, 5));
        CopyToField(timeFormat_.pmString, sizeof timeFormat_.pmString, c.pmString.substr(0, 5));
    }
    timeFormat_.seconds = 1;
    timeFormat_.milliseconds = 0;
}

AnsiString TVirtEng::StripBracketed(const char* source) {
    if (!source) return AnsiString();
    AnsiString text(source);
    const size_t open = text.find('[');
    if (open == AnsiString::npos) return text;
    const size_t close = text.find(']', open);
    if (close == AnsiString::npos) return text;
    // The part goes with the one blank that parted it from the name, after it or, at
    // the end of the name, before it; any other character is the name's own.
    size_t from = open;
    size_t to = close + 1;
    if (to < text.size() && text[to] == ' ')
        ++to;
    else if (to == text.size() && from > 0 && text[from - 1] == ' ')
        --from;
    text.erase(from, to - from);
    return text;
}

void TVirtEng::AppendErrorLine(const AnsiString& line, AnsiString& text) {
    if (line.empty()) return;
    if (!text.empty()) text += "\r\n";
    text += line;
}

template <class Work>
DBIResult TVirtEng::Guard(Work&& work) {
    try {
        work();
        return rc::None;
    } catch (const EQuillonEngineError& error) {
        HandleError(error);
        return error.Code();
    }
}

void TVirtEng::HandleError(const EQuillonEngineError& error) {
    errorStack_.Clear();
    errorStack_.PushException(error);
}

template <class T>
T* TVirtEng::Live(T* handle) {
    // The last handle this thread had accepted as a T, with the count of freed handles
    // then: while no handle has been freed since, it is still that live T. A cursor read
    // record by record is looked up once, not on every call.
    struct TAccepted {
        const void* handle = nullptr;
        uint64_t freedCount = 0;
    };
    static thread_local TAccepted accepted;
    // Taken before the check: a handle freed meanwhile makes the next call check again.
    const uint64_t freedCount = FreedCount();
    if (handle && handle == accepted.handle && freedCount == accepted.freedCount) return handle;
    if (!handle || !IsLive(handle)) RaiseEngineError(rc::InvalidHandle);
    auto* typed = dynamic_cast<T*>(static_cast<TBapiListItem*>(handle));
    if (!typed) RaiseEngineError(rc::InvalidHandle);
    accepted = {handle, freedCount};
    return typed;
}

TBaseSession* TVirtEng::Session() { return Live(currentSession_); }

TBaseTable* TVirtEng::UseCursor(TBaseTable* cursor) {
    currentCursor_ = Live(cursor);
    return currentCursor_;
}

TBaseDatabase* TVirtEng::UseDatabase(TBaseDatabase* database) {
    currentDatabase_ = Live(database);
    return currentDatabase_;
}

void TVirtEng::ForgetFreedHandles() {
    if (currentSession_ && !IsLive(currentSession_)) currentSession_ = nullptr;
    if (currentDatabase_ && !IsLive(currentDatabase_)) currentDatabase_ = nullptr;
    if (currentCursor_ && !IsLive(currentCursor_)) currentCursor_ = nullptr;
    if (currentStmt_ && !IsLive(currentStmt_)) currentStmt_ = nullptr;
}

// ---- Sessions ----

DBIResult TVirtEng::StartSession(const char* value1, TBaseSession*& session, const char* value2) {
    const DBIResult result = Guard([&] {
        CheckParam(sessionClass_);
        currentSession_ = CheckHandle(sessionClass_(this, value1, value2, &sessions_));
        session = currentSession_;
    });
    if (result != rc::None) session = nullptr;
    return result;
}

DBIResult TVirtEng::CloseSession(TBaseSession* session) {
    return Guard([&] {
        currentSession_ = Live(session);
        FreeHandle(session);
        currentSession_ = static_cast<TBaseSession*>(sessions_.Get(0));
        ForgetFreedHandles();
        CheckHandle(currentSession_);
    });
}

DBIResult TVirtEng::SetCurrSession(TBaseSession* session) {
    return Guard([&] { currentSession_ = Live(session); });
}

DBIResult TVirtEng::GetCurrSession(TBaseSession*& session) {
    session = currentSession_;
    return rc::None;
}

DBIResult TVirtEng::GetSesInfo(TSessionInfo& info) {
    return Guard([&] { Session()->GetSesInfo(info); });
}

DBIResult TVirtEng::AddPassword(const char* password) {
    return Guard([&] { Session()->AddPassword(password); });
}

DBIResult TVirtEng::DropPassword(const char* password) {
    return Guard([&] { Session()->DropPassword(password); });
}

DBIResult TVirtEng::AddAlias(void*, const char* aliasName, const char* driverName, const char* params, bool persist) {
    return Guard([&] { Session()->AddAlias(0, aliasName, driverName, params, persist); });
}

DBIResult TVirtEng::DeleteAlias(void*, const char* aliasName) {
    return Guard([&] { Session()->DeleteAlias(0, aliasName); });
}

DBIResult TVirtEng::OpenCfgInfoList(void*, int, int, const char* cfgPath, TBaseTable*& cursor) {
    return Guard([&] {
        const AnsiString path = StripBracketed(cfgPath);
        Session()->OpenCfgInfoList(cursor, path.c_str());
    });
}

DBIResult TVirtEng::SetPrivateDir(const char* directory) {
    if (!currentSession_) return rc::None;
    return Guard([&] { Session()->SetPrivateDir(directory); });
}

DBIResult TVirtEng::NativeToAnsi(void*, const char* source, char* destination, size_t length, bool& dataLoss) {
    return Guard([&] { Session()->NativeToAnsi(dataLoss, destination, length, source); });
}

DBIResult TVirtEng::AnsiToNative(void*, const char* source, char* destination, size_t length, bool& dataLoss) {
    return Guard([&] { Session()->AnsiToNative(dataLoss, destination, length, source); });
}

DBIResult TVirtEng::RegisterCallBack(TBaseTable* cursor, uint32_t kind, intptr_t clientData, uint16_t bufferLength,
                                     void* callback, void* buffer) {
    return Guard([&] {
        TBaseTable* target = cursor ? UseCursor(cursor) : nullptr;
        Session()->RegisterCallBack(target, TCallBackArgs{kind, clientData, bufferLength, callback, buffer});
    });
}

// ---- Databases ----

AnsiString TVirtEng::ResolveDatabaseName(const char* name, const char* dbType, uint16_t paramCount,
                                         TEngineFieldDesc* paramDescs, char* paramValues) {
    if ((name && *name) || (dbType && *dbType)) return StripBracketed(name);
    for (uint16_t i = 0; paramDescs && paramValues && i < paramCount; ++i) {
        if (!platform::AnsiSameText(FieldText(paramDescs[i].name, sizeof paramDescs[i].name), "PATH")) continue;
        char* value = paramValues + paramDescs[i].offset;
        const AnsiString stripped = StripBracketed(value);
        // The stripped text is never longer than the value it replaces.
        std::memcpy(value, stripped.c_str(), stripped.size() + 1);
        return stripped;
    }
    return AnsiString();
}

DBIResult TVirtEng::OpenDatabase(const char* name, const char* dbType, int32_t openMode, int32_t shareMode,
                                 const char* password, uint16_t paramCount, TEngineFieldDesc* paramDescs,
                                 char* paramValues, TBaseDatabase*& database) {
    return Guard([&] {
        const AnsiString resolved = ResolveDatabaseName(name, dbType, paramCount, paramDescs, paramValues);
        Session()->OpenDatabase(resolved.c_str(), openMode, shareMode, password, paramCount, paramDescs, paramValues,
                                database);
        currentDatabase_ = database;
    });
}

DBIResult TVirtEng::CloseDatabase(TBaseDatabase*& database) {
    return Guard([&] {
        FreeHandle(UseDatabase(database));
        database = nullptr;
        ForgetFreedHandles();
    });
}

DBIResult TVirtEng::SetDirectory(TBaseDatabase* database, const char* directory) {
    return Guard([&] { UseDatabase(database)->SetDirectory(directory); });
}

DBIResult TVirtEng::OpenTable(TBaseDatabase* database, const char* tableName, const char* driverType,
                              const char* indexName, const char* indexTag, uint16_t indexId, int32_t openMode,
                              int32_t shareMode, int32_t translateMode, bool unidirectional, const void* optParams,
                              TBaseTable*& cursor) {
    return Guard([&] {
        UseDatabase(database)->OpenTable(tableName, driverType, indexName, indexTag, indexId, openMode, shareMode,
                                         translateMode, unidirectional, optParams, cursor);
    });
}

DBIResult TVirtEng::OpenFieldList(TBaseDatabase* database, const char* tableName, const char* driverType,
                                  bool physicalTypes, TBaseTable*& cursor) {
    return Guard([&] { UseDatabase(database)->OpenFieldList(tableName, driverType, physicalTypes, cursor); });
}

DBIResult TVirtEng::OpenIndexList(TBaseDatabase* database, const char* tableName, const char*, TBaseTable*& cursor) {
    return Guard([&] { UseDatabase(database)->OpenIndexList(tableName, 0, cursor); });
}

DBIResult TVirtEng::OpenVchkList(TBaseDatabase* database, const char* tableName, const char*, TBaseTable*& cursor) {
    return Guard([&] { UseDatabase(database)->OpenVchkList(tableName, cursor); });
}

DBIResult TVirtEng::FreeStmt(TSqlStmt*& statement) {
    return Guard([&] {
        currentStmt_ = Live(statement);
        FreeHandle(statement);
        statement = nullptr;
        ForgetFreedHandles();
    });
}

// ---- Cursors ----

DBIResult TVirtEng::CloseCursor(TBaseTable* cursor) {
    return Guard([&] {
        TBaseTable* live = Live(cursor);
        live->CloseCursor();
        FreeHandle(live);
        ForgetFreedHandles();
    });
}

DBIResult TVirtEng::CloneCursor(TBaseTable* cursor, bool readOnly, bool unidirectional, TBaseTable*& clone) {
    return Guard([&] { UseCursor(cursor)->CloneCursor(readOnly, unidirectional, clone); });
}

DBIResult TVirtEng::SetToBegin(TBaseTable* cursor) {
    return Guard([&] { Live(cursor)->SetToBegin(); });
}

DBIResult TVirtEng::SetToEnd(TBaseTable* cursor) {
    return Guard([&] { Live(cursor)->SetToEnd(); });
}

DBIResult TVirtEng::SetToCursor(TBaseTable* destination, TBaseTable* source) {
    // A missing destination is left to the source cursor, which answers 0x2702 for it.
    return Guard([&] { UseCursor(source)->SetToCursor(destination ? Live(destination) : nullptr); });
}

DBIResult TVirtEng::GetBookMark(TBaseTable* cursor, void* bookmark) {
    return Guard([&] { UseCursor(cursor)->GetBookMark(bookmark); });
}

DBIResult TVirtEng::HoldsPlaceOnFailedMove(TBaseTable* cursor, bool& holds) {
    holds = false;
    return Guard([&] { holds = Live(cursor)->HoldsPlaceOnFailedMove(); });
}

DBIResult TVirtEng::SetToBookMark(TBaseTable* cursor, const void* bookmark) {
    return Guard([&] { UseCursor(cursor)->SetToBookMark(bookmark); });
}

DBIResult TVirtEng::CompareBookMarks(TBaseTable* cursor, const void* bookmark1, const void* bookmark2,
                                     int32_t& result) {
    return Guard([&] { Live(cursor)->CompareBookMarks(bookmark1, bookmark2, result); });
}

DBIResult TVirtEng::GetRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props) {
    return Guard([&] { Live(cursor)->GetRecord(lock, record, props); });
}

DBIResult TVirtEng::GetNextRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props) {
    return Guard([&] { Live(cursor)->GetNextRecord(lock, record, props); });
}

DBIResult TVirtEng::GetPriorRecord(TBaseTable* cursor, int lock, uint8_t* record, TRecordProps* props) {
    const DBIResult result = Guard([&] { Live(cursor)->GetPriorRecord(lock, record, props); });
    return result == rc::Eof ? rc::Bof : result;
}

DBIResult TVirtEng::GetRecordForKey(TBaseTable* cursor, bool directKey, uint16_t fieldCount,
                                    uint16_t partialLength, const void* key, uint8_t* record) {
    return Guard([&] { Live(cursor)->GetRecordForKey(directKey, fieldCount, partialLength, key, record); });
}

DBIResult TVirtEng::GetVChkDesc(TBaseTable* cursor, uint16_t checkNumber, TValCheckDesc& desc) {
    return Guard([&] { Live(cursor)->GetVChkDesc(checkNumber, desc); });
}

DBIResult TVirtEng::RelRecordLock(TBaseTable* cursor, bool all) {
    return Guard([&] { Live(cursor)->RelRecordLock(all); });
}

DBIResult TVirtEng::InitRecord(TBaseTable* cursor, uint8_t* record) {
    return Guard([&] { Live(cursor)->InitRecord(record); });
}

DBIResult TVirtEng::InsertRecord(TBaseTable* cursor, int lock, uint8_t* record) {
    return Guard([&] { Live(cursor)->InsertRecord(lock, record); });
}

DBIResult TVirtEng::AppendRecord(TBaseTable* cursor, uint8_t* record) {
    return Guard([&] { Live(cursor)->AppendRecord(record); });
}

DBIResult TVirtEng::ModifyRecord(TBaseTable* cursor, uint8_t* record, bool freeLock) {
    return Guard([&] { Live(cursor)->ModifyRecord(record, freeLock); });
}

DBIResult TVirtEng::DeleteRecord(TBaseTable* cursor, uint8_t* record) {
    return Guard([&] { Live(cursor)->DeleteRecord(record); });
}

DBIResult TVirtEng::ReadBlock(TBaseTable* cursor, uint32_t& count, uint8_t* buffer, size_t bufferSize) {
    return Guard([&] { Live(cursor)->ReadBlock(count, buffer, bufferSize); });
}

DBIResult TVirtEng::SetToSeqNo(TBaseTable* cursor, uint32_t number) {
    return Guard([&] { Live(cursor)->SetToSeqNo(number); });
}

DBIResult TVirtEng::GetField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, void* value, bool& blank) {
    return Guard([&] { Live(cursor)->GetField(fieldNumber, record, blank, value); });
}

DBIResult TVirtEng::PutField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, const void* value) {
    return Guard([&] { Live(cursor)->PutField(fieldNumber, record, value); });
}

DBIResult TVirtEng::VerifyField(TBaseTable* cursor, uint16_t fieldNumber, uint8_t* record, bool& blank) {
    return Guard([&] { Live(cursor)->VerifyField(fieldNumber, record, blank); });
}

DBIResult TVirtEng::OpenBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, int openMode) {
    return Guard([&] { Live(cursor)->OpenBlob(record, field, openMode); });
}

DBIResult TVirtEng::GetBlobSize(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t& size) {
    return Guard([&] { Live(cursor)->GetBlobSize(record, field, size); });
}

DBIResult TVirtEng::GetBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                            void* destination, uint32_t& bytesRead) {
    return Guard([&] { Live(cursor)->GetBlob(record, field, offset, length, destination, bytesRead); });
}

DBIResult TVirtEng::PutBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t offset, uint32_t length,
                            const void* source) {
    return Guard([&] { Live(cursor)->PutBlob(record, field, offset, length, source); });
}

DBIResult TVirtEng::TruncateBlob(TBaseTable* cursor, uint8_t* record, uint16_t field, uint32_t length) {
    return Guard([&] { Live(cursor)->TruncateBlob(record, field, length); });
}

DBIResult TVirtEng::FreeBlob(TBaseTable* cursor, uint8_t* record, uint16_t field) {
    return Guard([&] { Live(cursor)->FreeBlob(record, field); });
}

DBIResult TVirtEng::GetCursorProps(TBaseTable* cursor, TCursorProps& props) {
    return Guard([&] { Live(cursor)->GetCursorProps(props); });
}

DBIResult TVirtEng::GetFieldDescs(TBaseTable* cursor, TEngineFieldDesc* descs) {
    return Guard([&] { Live(cursor)->GetFieldDescs(descs); });
}

DBIResult TVirtEng::GetRecordCount(TBaseTable* cursor, uint32_t& count) {
    return Guard([&] { Live(cursor)->GetRecordCount(count); });
}

DBIResult TVirtEng::GetExactRecordCount(TBaseTable* cursor, uint32_t& count) {
    return Guard([&] { Live(cursor)->GetExactRecordCount(count); });
}

DBIResult TVirtEng::ForceReread(TBaseTable* cursor) {
    return Guard([&] { Live(cursor)->ForceReread(); });
}

DBIResult TVirtEng::ForceRecordReread(TBaseTable* cursor, uint8_t* record) {
    return Guard([&] { Live(cursor)->ForceRecordReread(record); });
}

DBIResult TVirtEng::SetRange(TBaseTable* cursor, bool keyItself, uint16_t startFieldCount,
                             uint16_t startPartialLength, const void* startKey, bool startInclusive,
                             uint16_t endFieldCount, uint16_t endPartialLength, const void* endKey,
                             bool endInclusive) {
    return Guard([&] {
        Live(cursor)->SetRange(keyItself, startFieldCount, startPartialLength, startKey, startInclusive,
                               endFieldCount, endPartialLength, endKey, endInclusive);
    });
}

DBIResult TVirtEng::ResetRange(TBaseTable* cursor) {
    return Guard([&] { Live(cursor)->ResetRange(); });
}

DBIResult TVirtEng::SwitchToIndex(TBaseTable* cursor, const char* indexName, const char* tagName, uint16_t indexId,
                                  bool keepCurrent) {
    return Guard([&] { Live(cursor)->SwitchToIndex(indexName, tagName, indexId, keepCurrent); });
}

DBIResult TVirtEng::ExtractKey(TBaseTable* cursor, const uint8_t* record, void* key) {
    return Guard([&] { Live(cursor)->ExtractKey(record, key); });
}

DBIResult TVirtEng::GetIndexDesc(TBaseTable* cursor, uint16_t indexNumber, TEngineIndexDesc& desc) {
    return Guard([&] { Live(cursor)->GetIndexDesc(indexNumber, desc); });
}

DBIResult TVirtEng::GetIndexDescs(TBaseTable* cursor, TEngineIndexDesc* descs) {
    return Guard([&] { Live(cursor)->GetIndexDescs(descs); });
}

DBIResult TVirtEng::AddFilter(TBaseTable* cursor, intptr_t clientData, uint16_t priority, bool canAbort,
                              const uint8_t* expression, TFilterCallback callback, TFilterListItem*& filter) {
    return Guard([&] { Live(cursor)->AddFilter(clientData, priority, canAbort, expression, callback, filter); });
}

DBIResult TVirtEng::DropFilter(TBaseTable* cursor, TFilterListItem* filter) {
    return Guard([&] { Live(cursor)->DropFilter(filter); });
}

DBIResult TVirtEng::ActivateFilter(TBaseTable* cursor, TFilterListItem* filter) {
    return Guard([&] { Live(cursor)->ActivateFilter(filter); });
}

DBIResult TVirtEng::DeactivateFilter(TBaseTable* cursor, TFilterListItem* filter) {
    return Guard([&] { Live(cursor)->DeactivateFilter(filter); });
}

DBIResult TVirtEng::BeginDelayedUpdates(TBaseTable*& cursor) {
    return Guard([&] {
        TBaseTable* wrapper = nullptr;
        Live(cursor)->BeginDelayedUpdates(wrapper);
        cursor = wrapper;
    });
}

DBIResult TVirtEng::EndDelayedUpdates(TBaseTable*& cursor) {
    return Guard([&] {
        TBaseTable* wrapper = Live(cursor);
        try {
            wrapper->EndDelayedUpdates(cursor);
        } catch (...) {
            ForgetFreedHandles();
            throw;
        }
        ForgetFreedHandles();
    });
}

DBIResult TVirtEng::ApplyDelayedUpdates(TBaseTable* cursor, int command) {
    return Guard([&] { Live(cursor)->ApplyDelayedUpdates(command); });
}

// ---- Any handle ----

DBIResult TVirtEng::GetProp(TBapiListItem* handle, uint32_t id, void* value, uint16_t bufferLength,
                            uint16_t& length) {
    length = 0;
    if (!handle || !IsLive(handle)) return rc::InvalidParam;
    return Guard([&] { handle->GetProp(id, value, length, bufferLength); });
}

DBIResult TVirtEng::SetProp(TBapiListItem* handle, uint32_t id, intptr_t value) {
    if (!handle || !IsLive(handle)) return rc::InvalidParam;
    return Guard([&] {
        handle->CheckPropWritable(id, true);
        handle->SetProp(id, value);
    });
}

DBIResult TVirtEng::GetObjFromObj(TBapiListItem* handle, int objectType, TBapiListItem*& result) {
    return Guard([&] {
        result = nullptr;
        TBapiListItem* live = Live(handle);
        if (objectType != 2) RaiseEngineError(rc::InvalidParam);
        result = live->Owner();
    });
}

// ---- The error stack ----

DBIResult TVirtEng::GetErrorEntry(int n, int32_t& nativeCode, char* text) {
    TErrorEntry entry;
    if (!errorStack_.EntryAt(n, entry)) return rc::None;
    nativeCode = entry.nativeCode;
    AnsiString lines;
    if (entry.nativeCode != 0) AppendErrorLine(FieldText(entry.nativeText, sizeof entry.nativeText), lines);
    if (entry.resultCode != 0) {
        const AnsiString errorText = FieldText(entry.errorText, sizeof entry.errorText);
        const int64_t absolute = entry.nativeCode < 0 ? -static_cast<int64_t>(entry.nativeCode) : entry.nativeCode;
        AppendErrorLine(absolute == entry.resultCode ? "DBI Error Code = " + errorText : errorText, lines);
    }
    // Each context text is read within its own slot.
    for (const auto& context : entry.context) AppendErrorLine(FieldText(context, sizeof context), lines);
    if (text) CopyToField(text, 261, lines);
    return entry.resultCode;
}

DBIResult TVirtEng::FindErrorEntry(DBIResult code, char* text) {
    for (int n = 1; n <= TErrorStack::kMaxCapacity; ++n) {
        int32_t native = 0;
        if (GetErrorEntry(n, native, text) == code) return rc::None;
        if (text) text[0] = '\0';
    }
    return code;
}

}  // namespace btrieve
