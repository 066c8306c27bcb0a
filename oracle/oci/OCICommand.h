// TOCICommand: the Oracle back-end statement. Prepares an SQL text on either call level,
// finds its placeholders, binds TOraParamDesc parameters, executes once or as array DML
// (LONG values travel piece by piece through the client's callbacks), commits in
// auto-commit mode and reports statement type, rows processed, parse error offset and
// ROWID. TOraCursor holds the client's cursor of one statement; REF CURSOR values share it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "oracle/core/QdAccess.h"
#include "oracle/core/SharedObject.h"
#include "oracle/oci/OciApi.h"
#include "platform/TextFile.h"

namespace oracle {

class TBlob;
class TOCIConnection;
class TOraParamDesc;
class TOraType;

// States of a client cursor.
enum TCursorState : uint8_t {
    csInactive = 0,
    csOpen = 1,
    csParsed = 2,
    csPrepared = 3,
    csBound = 4,
    csExecuting = 5,
    csExecuted = 6,
    csFetching = 7,
    csFetchingAll = 8,
    csFetched = 9
};

// Property identifiers the Oracle command adds.
// The base's id 11: the Oracle command answers (and takes) its parameter-scan switch.
inline constexpr int prScanParams = prCommandHasCursor;
inline constexpr int prSQLType = 12;
inline constexpr int prErrorOffset = 57;
inline constexpr int prNonBlocking = 50;
inline constexpr int prFieldsAsString = 59;
inline constexpr int prCacheLobs = 64;

// Statement types (the version 7 SQL function codes the layer uses).
inline constexpr uint16_t SQL_INSERT = 3;
inline constexpr uint16_t SQL_SELECT = 4;
inline constexpr uint16_t SQL_UPDATE = 5;
inline constexpr uint16_t SQL_DELETE = 9;
inline constexpr uint16_t SQL_UNPARAMETERIZED = 27;
inline constexpr uint16_t SQL_PLSQL = 34;

// LONG values bound for piece-wise transfer are at most this long.
inline constexpr int32_t LongPieceLimit = 2147483647;

class TOraCursor : public TSharedObject {
public:
    TOraCursor();

    void AllocCursor();
    // Frees the client cursor unless another holder still refers to this object.
    void FreeCursor();
    oci::Cda_Def* CDA();
    oci::OCIStmt* OCIStmt();
    // The address the client writes a REF CURSOR's statement handle to.
    oci::OCIStmt** OCIStmtAddress() { return &stmt_; }
    uint8_t OCIVersion() const { return ociVersion_; }
    // A different call level frees the cursor first.
    void SetOCIVersion(uint8_t value);
    // A background run of a command or record set changes the state while its owner reads it.
    TCursorState State() const { return state_; }
    void SetState(TCursorState value) { state_ = value; }

protected:
    ~TOraCursor() override;

private:
    std::unique_ptr<oci::Cda_Def> cda_;
    oci::OCIStmt* stmt_ = nullptr;
    std::atomic<TCursorState> state_{csInactive};
    uint8_t ociVersion_ = 0;
};

// The text as the client gets it: line ends become line feeds outside string literals.
// With an offset other than -1, copying stops when the output reaches it and the offset
// becomes the number of source characters consumed (an offset back in the caller's text).
std::string NormalizeSQL(const std::string& text, int& offset);

class TOCICommand : public TQdCommand {
public:
    explicit TOCICommand(TOCIConnection* connection = nullptr);
    ~TOCICommand() override;

    void Prepare() override;
    void Unprepare() override { CloseCursor(); }
    bool GetPrepared() override;
    void Execute(int iterations) override;
    void SetConnection(TQdConnection* connection) override;
    void SetSQL(const std::string& text) override;
    int GetCursorState() override { return cursor_->State(); }
    TParamDesc* AddParam() override;
    bool SetProp(int id, const platform::Variant& value) override;
    bool GetProp(int id, platform::Variant& value) override;

    // The current cursor's state, under the command's lock.
    void SetCursorState(TCursorState state);

    void CheckSession();
    void CheckActive();
    void CheckInactive();
    void Check(oci::sword status);
    void BreakExec();
    // A REF CURSOR to fetch from; nil or the own cursor makes the own cursor current.
    void SetCursor(TOraCursor* cursor);
    TOraCursor* Cursor() const { return cursor_; }
    bool RowsReturned();
    void CheckRowsReturned();
    std::string GetRowId();
    void CloseCursor();

    // Column operations of a record set. DescribeColumn answers false past the last column.
    bool DescribeColumn(int position, TFieldDesc& field, bool longStrings);
    // The column's value of one row into value (an object column: the slot of its instance).
    // Version 8: answers the define handle, also kept in the field's Handle.
    oci::OCIDefine* DefineColumn(TFieldDesc& field, void* value, void* indicator);
    // The column's values of consecutive rows, value and indicator moving by their skips.
    void DefineArrayColumn(TFieldDesc& field, void* value, oci::ub4 indicatorSkip, oci::ub4 valueSkip,
                           void* indicator);
    // A LONG or LONG RAW column whose value the client hands out a piece at a time through
    // the piece information calls (the field names itself to them by its Handle).
    void DefinePiecewise(TFieldDesc& field, void* indicator);
    // A LONG or LONG RAW column the client hands over piece by piece through callback
    // (version 8 interface only).
    void DefineDynamic(TFieldDesc& field, void* context, oci::OCICallbackDefine callback);
    // Rows delivered by this call; the end of data finishes the fetch.
    int Fetch(int rows);
    // Fetches one row: success, a piece request for a piecewise column, or the end of data
    // (after the fetch was finished).
    oci::sword FetchPiece();
    bool IsEndOfFetch(oci::sword status) const;
    void FinishFetch();

    // A value the client asks for or hands out a piece at a time (status 99 of the version 8
    // interface, -3129 and -3130 of the version 7 one): the bind or define handle (version 8)
    // or the context the value was bound or defined with (version 7), the direction and the
    // piece (first, next...).
    struct TPieceInfo {
        void* handle = nullptr;
        bool input = false;
        oci::ub1 piece = 0;
    };
    bool IsPieceRequest(oci::sword status) const;
    TPieceInfo GetPieceInfo(oci::sword status);
    // Hands the client a piece (input) or the buffer for the next one (output; *length is its
    // room and becomes the bytes written when the call runs on).
    void SetPieceInfo(void* handle, oci::ub4 handleType, void* indicator, oci::ub4* length, void* data,
                      oci::ub1 piece);
    // Runs transfer with a new piece of the blob's piece size; what the client wrote is
    // appended (a short piece shrunk, an empty one dropped). Answers transfer's status.
    static oci::sword ReceivePieceInto(TBlob& blob,
                                       const std::function<oci::sword(oci::ub4* length, void* data)>& transfer);

    uint16_t SQLType() const { return sqlType_; }
    uint32_t RowsProcessed() const { return rowsProcessed_; }
    uint8_t OCIVersion() const { return ociVersion_; }
    TOCIConnection* OCIConnection() const;
    bool FieldsAsString() const { return fieldsAsString_; }
    bool CacheLobs() const { return cacheLobs_; }
    bool NonBlocking() const { return nonBlocking_; }

private:
    // The record set binds and executes through the command's own steps.
    friend class TOCIRecordSet;
    friend class TCommandLock;

    void AcquireLock();
    void ReleaseLock();

    static TOraType* ObjectTypeNamed(oci::OCISvcCtx* svcCtx, const std::string& name);
    oci::ub2 DefineType(const TFieldDesc& field) const;
    static oci::sb4 DefineLength(const TFieldDesc& field);
    // One fetch call; the end of data finishes the fetch, other failures raise, and with
    // pieces a piece request is answered too.
    oci::sword FetchRows(int rows, bool pieces);
    void ScanParams();
    void BindParams();
    void BindParam(TOraParamDesc& param);
    void BindParam7(TOraParamDesc& param, const oci::OraText* bindName, void* buffer, oci::sb4 length, oci::ub2 type);
    oci::ub2 ExternalType(TDataType dataType) const;
    oci::sword InternalExecute(oci::ub4 mode);
    // Runs the statement, serving the pieces of LONG parameters the client asks for or hands
    // out, then moves LOB parameters and commits in auto-commit mode.
    void Exec();

    TOraParamDesc* ParamOfPiece(const TPieceInfo& info) const;
    oci::sword SendPiece(TOraParamDesc& param, const TPieceInfo& info);
    oci::sword ReceivePiece(TOraParamDesc& param, const TPieceInfo& info);
    void MoveLobParams();
    void DoExecute();
    void EndExecute(bool success);
    TOraParamDesc* FindByBindHandle(oci::OCIBind* handle) const;
    static oci::sb4 OCI_CALL InBindPiece(void* context, oci::OCIBind* bind, oci::ub4 iteration, oci::ub4 index,
                                         void** buffer, oci::ub4* length, oci::ub1* piece, void** indicator);
    static oci::sb4 OCI_CALL OutBindPiece(void* context, oci::OCIBind* bind, oci::ub4 iteration, oci::ub4 index,
                                          void** buffer, oci::ub4** length, oci::ub1* piece, void** indicator,
                                          oci::ub2** returnCode);

    TOraCursor* ownCursor_;
    TOraCursor* cursor_;
    uint8_t ociVersion_ = 0;
    bool scanParams_ = true;
    uint16_t sqlType_ = 0;
    uint32_t rowsProcessed_ = 0;
    uint32_t rowsFetched_ = 0;
    // Rows the last fetch call delivered.
    int lastDelivered_ = 0;
    uint16_t errorOffset_ = 0;
    int32_t iterations_ = 1;
    bool fieldsAsString_ = false;
    bool cacheLobs_ = true;
    oci::OCIError* errorHandle_ = nullptr;
    uint8_t dummyBuffer_ = 0;
    // The ROWID descriptor GetRowId reads into, kept from one execution to the next (a post
    // asks for the ROWID after every row) and freed with the cursor; the environment it
    // came from frees it itself when it goes first.
    void* rowIdDescriptor_ = nullptr;
    oci::OCIEnv* rowIdEnvironment_ = nullptr;
    void FreeRowIdDescriptor() noexcept;
    std::atomic<bool> nonBlocking_{false};
    platform::THandleOwner mutex_;
    platform::THandleOwner worker_;
    // A background execution's end report finds out through this whether the command lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Holds a command's own lock for a scope. In non-blocking mode the lock serialises the
// cursor's state changes and client calls of a worker and the command's owner (the
// connection's lock is taken inside it); otherwise it is nothing. Recursive; a worker
// stopped by force leaves it free.
class TCommandLock {
public:
    explicit TCommandLock(TOCICommand& command) : command_(command), locked_(command.NonBlocking()) {
        if (locked_) command_.AcquireLock();
    }
    ~TCommandLock() {
        if (locked_) command_.ReleaseLock();
    }
    TCommandLock(const TCommandLock&) = delete;
    TCommandLock& operator=(const TCommandLock&) = delete;

private:
    TOCICommand& command_;
    bool locked_;
};

}  // namespace oracle
