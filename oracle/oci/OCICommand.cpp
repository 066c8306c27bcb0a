#include "oracle/oci/OCICommand.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciCodecs.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParamDesc.h"
#include "oracle/oci/OraParser.h"
#include "platform/ScopeExit.h"
#include "platform/SysUtils.h"

namespace oracle {

using namespace oracle::oci;

namespace {
// Data type codes that only parameters use, with no record-store meaning of their own.
constexpr TDataType ParamRowId = 20;
}  // namespace

// Cursor

TOraCursor::TOraCursor() : ociVersion_(OciClient().CallInterface) {}

TOraCursor::~TOraCursor() {
    // After the client was freed its entry points raise "not linked": the handle went with it.
    if (stmt_) platform::CleanUpStep([this] { Oci.OCIHandleFree(stmt_, OCI_HTYPE_STMT); });
}

void TOraCursor::AllocCursor() {
    if (ociVersion_ == 0) ociVersion_ = OciClient().CallInterface;
    if (ociVersion_ == 1) {
        if (!cda_) cda_ = std::make_unique<Cda_Def>();
        std::memset(cda_.get(), 0, sizeof(Cda_Def));
    } else if (ociVersion_ == 2) {
        if (!stmt_) {
            void* handle = nullptr;
            CheckStatus(Oci.OCIHandleAlloc(OciClient().Environment, &handle, OCI_HTYPE_STMT, 0, nullptr));
            stmt_ = static_cast<oci::OCIStmt*>(handle);
        }
    } else {
        RaiseLibraryError("OCI is not inizialized");
    }
}

void TOraCursor::FreeCursor() {
    if (RefCount() != 1) return;
    cda_.reset();
    if (stmt_) {
        oci::OCIStmt* const handle = stmt_;
        stmt_ = nullptr;
        CheckStatus(Oci.OCIHandleFree(handle, OCI_HTYPE_STMT));
    }
}

Cda_Def* TOraCursor::CDA() {
    if (ociVersion_ != 1) RaiseLibraryError("Need Oracle 7.3 Call Interface");
    if (!cda_) AllocCursor();
    return cda_.get();
}

oci::OCIStmt* TOraCursor::OCIStmt() {
    if (ociVersion_ != 2) RaiseLibraryError("Need Oracle 8 Call Interface");
    if (!stmt_) AllocCursor();
    return stmt_;
}

void TOraCursor::SetOCIVersion(uint8_t value) {
    if (value == ociVersion_) return;
    FreeCursor();
    ociVersion_ = value;
}

// Text normalisation

std::string NormalizeSQL(const std::string& text, int& offset) {
    std::string out;
    if (text.empty()) return out;
    bool inString = false, inLineComment = false, inBlockComment = false;
    const size_t last = text.size() - 1;
    size_t i = 0;
    bool lastCopied = false;
    for (; i < last; ++i) {
        if (offset != -1 && static_cast<int>(out.size()) >= offset) break;
        const char c = text[i];
        if (c == '\'' && !inLineComment && !inBlockComment) inString = !inString;
        if (!inString && !inBlockComment && c == '-' && text[i + 1] == '-') inLineComment = true;
        if (c == '\n') inLineComment = false;
        if (!inString && !inLineComment && !inBlockComment && c == '/' && text[i + 1] == '*') inBlockComment = true;
        if (!inString && !inLineComment && inBlockComment && c == '*' && text[i + 1] == '/') {
            // The closing "*/" is copied whole.
            inBlockComment = false;
            out += "*/";
            ++i;
            if (i == last) lastCopied = true;
            continue;
        }
        if (c == '\r' && !inString) {
            if (text[i + 1] != '\n') out += '\n';
            continue;
        }
        out += c;
    }
    if (i == last && !lastCopied && (offset == -1 || static_cast<int>(out.size()) < offset)) {
        out += text[last];
        ++i;
    } else if (lastCopied) {
        i = text.size();
    }
    if (offset != -1) offset = static_cast<int>(i);
    return out;
}

// Command

TOCICommand::TOCICommand(TOCIConnection* connection)
    : ownCursor_(NewShared<TOraCursor>()), cursor_(ownCursor_), ociVersion_(OciClient().CallInterface) {
    autoCommit_ = true;
    connection_ = connection;
    mutex_.Reset(CreateMutexA(nullptr, FALSE, nullptr));
    if (!mutex_.Valid()) AssertionFailed(UnitOraClasses, "Cannot create the command's lock");
}

void TOCICommand::AcquireLock() {
    // A mutex whose owner was stopped by force is taken over as it stands.
    const DWORD result = WaitForSingleObject(mutex_.Get(), INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) AssertionFailed(UnitOraClasses);
}

void TOCICommand::ReleaseLock() { ReleaseMutex(mutex_.Get()); }

void TOCICommand::SetCursorState(TCursorState state) {
    TCommandLock lock(*this);
    cursor_->SetState(state);
}

TOCICommand::~TOCICommand() {
    if (worker_.Valid()) {
        StopThread(*OCIConnection(), worker_.Get());
        worker_.Reset();
    }
    try {
        if (cursor_->State() != csInactive) CloseCursor();
    } catch (...) {
        // The cursor was freed before the failure went on; nothing more to do here.
    }
    FreeRowIdDescriptor();
    if (cursor_ != ownCursor_) cursor_->Release();
    ownCursor_->Release();
}

TOCIConnection* TOCICommand::OCIConnection() const { return static_cast<TOCIConnection*>(connection_); }

void TOCICommand::CheckSession() {
    if (connection_ == nullptr) RaiseLibraryError("Session is not defined");
    if (!connection_->GetConnected()) RaiseLibraryError("Session is not connected");
}

void TOCICommand::CheckActive() {
    if (cursor_->State() == csInactive) RaiseLibraryError("Cursor must be opened");
}

void TOCICommand::CheckInactive() {
    if (cursor_->State() != csInactive) RaiseLibraryError("Cursor has been opened");
}

void TOCICommand::Check(sword status) {
    if (status != OCI_SUCCESS) OCIConnection()->ProcessError(ociVersion_, status);
}

bool TOCICommand::GetPrepared() { return cursor_->State() > csParsed; }

void TOCICommand::SetConnection(TQdConnection* connection) {
    if (connection == connection_) return;
    if (cursor_->State() != csInactive) CloseCursor();
    connection_ = connection;
}

void TOCICommand::SetSQL(const std::string& text) {
    if (text == sql_) return;
    sql_ = text;
    if (scanParams_)
        ScanParams();
    else
        ClearParams();
}

TParamDesc* TOCICommand::AddParam() { return params_.Add(std::make_unique<TOraParamDesc>()); }

void TOCICommand::ScanParams() {
    ClearParams();
    TOraParser parser(sql_);
    parser.OmitComment = true;
    std::string token;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
        if (code == lxOraTrigger) break;  // :new and :old of a trigger body are no parameters
        if (code != lxOraColon) continue;
        code = parser.GetNext(token);
        const bool keyword = code > 7 && code <= static_cast<int>(OraLexemes().Lexemes.size());
        if (!keyword && code != lcIdent && code != lcNumber) {
            if (code == lcEnd) break;
            continue;
        }
        bool quoted = false;
        if (!token.empty() && token.front() == '"') {
            token.erase(0, 1);
            if (!token.empty() && token.back() == '"') token.pop_back();
            quoted = true;
        }
        if (FindParam(token)) continue;
        auto* param = static_cast<TOraParamDesc*>(AddParam());
        param->SetName(token);
        param->SetQuotedName(quoted);
    }
}

ub2 TOCICommand::ExternalType(TDataType dataType) const {
    const bool oci7 = ociVersion_ == 1;
    switch (dataType) {
        case dtString:
            return SQLT_STR;
        case dtInteger:
            return SQLT_INT;
        case dtFloat:
            return SQLT_FLT;
        case dtDateTime:
            return SQLT_DAT;
        case dtBlob:
            return SQLT_LBI;
        case dtMemo:
            return SQLT_LNG;
        case ParamRowId:
            return oci7 ? SQLT_RID : SQLT_RDD;
        case dtCursor:
            return oci7 ? SQLT_CUR : SQLT_RSET;
        case dtFixedChar:
            return SQLT_AVC;
        default:
            break;
    }
    if (oci7) RaiseLibraryError("Unknown data type");
    switch (dataType) {
        case dtBoolean:
            return SQLT_INT;
        case dtObject:
        case dtArray:
        case dtTable:
            return SQLT_NTY;
        case dtReference:
            return SQLT_REF;
        case dtOraBlob:
            return SQLT_BLOB;
        case dtOraClob:
            return SQLT_CLOB;
        case dtBFile:
            return SQLT_BFILEE;
        case dtCFile:
            return SQLT_CFILEE;
        case dtLabel:
            return SQLT_LAB;
        case dtInternalBytes:
            return SQLT_CHR;
        default:
            AssertionFailed(UnitOraClasses, "Unknown data type");
    }
}

void TOCICommand::Prepare() {
    TCommandLock commandLock(*this);
    CheckSession();
    CheckInactive();
    TOCIConnection* const connection = OCIConnection();
    ociVersion_ = connection->StatementOCIVersion();
    errorHandle_ = connection->ErrorHandle();
    cursor_->SetOCIVersion(ociVersion_);
    rowsProcessed_ = 0;
    errorOffset_ = 0;
    try {
        cursor_->AllocCursor();
        int noOffset = -1;
        const std::string text = NormalizeSQL(platform::Trim(sql_), noOffset);
        TConnectionLock lock(*connection);
        if (ociVersion_ == 1) {
            Cda_Def* const cda = cursor_->CDA();
            Check(Oci.oopen(cda, connection->GetLDA(), nullptr, -1, -1, nullptr, -1));
            cursor_->SetState(csOpen);
            try {
                const sword status = Oci.oparse(cda, reinterpret_cast<const OraText*>(text.c_str()),
                                                static_cast<sb4>(text.size() + 1), 0, 2);
                sqlType_ = cda->functionType;
                errorOffset_ = cda->parseErrorOffset;
                Check(status);
                cursor_->SetState(csParsed);
            } catch (...) {
                Oci.oclose(cda);
                cursor_->SetState(csInactive);
                throw;
            }
        } else {
            oci::OCIStmt* const statement = cursor_->OCIStmt();
            Check(Oci.OCIStmtPrepare(statement, errorHandle_, reinterpret_cast<const OraText*>(text.c_str()),
                                     static_cast<ub4>(text.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT));
            ub2 type = 0;
            Check(Oci.OCIAttrGet(statement, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, errorHandle_));
            switch (type) {
                case OCI_STMT_SELECT: sqlType_ = SQL_SELECT; break;
                case OCI_STMT_UPDATE: sqlType_ = SQL_UPDATE; break;
                case OCI_STMT_DELETE: sqlType_ = SQL_DELETE; break;
                case OCI_STMT_INSERT: sqlType_ = SQL_INSERT; break;
                case OCI_STMT_BEGIN:
                case OCI_STMT_DECLARE: sqlType_ = SQL_PLSQL; break;
                case 14:
                case 15: sqlType_ = SQL_UNPARAMETERIZED; break;
                default: sqlType_ = 0; break;
            }
        }
    } catch (...) {
        cursor_->SetState(csInactive);
        try {
            cursor_->FreeCursor();
        } catch (...) {
            // The preparation's failure is the one to report.
        }
        throw;
    }
    cursor_->SetState(csPrepared);
}

void TOCICommand::BindParams() {
    TCommandLock commandLock(*this);
    TConnectionLock lock(*OCIConnection());
    for (int i = 0; i < params_.Count(); ++i) BindParam(*static_cast<TOraParamDesc*>(params_.Items(i)));
    cursor_->SetState(csBound);
}

void TOCICommand::BindParam(TOraParamDesc& param) {
    TOCIConnection* const connection = OCIConnection();
    const TDataType dataType = param.GetDataType();
    ub2 type;
    void* buffer = param.ValueBuffer();
    sb4 length = static_cast<sb4>(param.ItemSize());
    if (dataType == dtUnknown) {
        if (!param.GetNull()) RaiseLibraryError(platform::Format("Unknown type of parameter %s", param.GetName()));
        type = SQLT_CHR;
        buffer = &dummyBuffer_;
        length = 1;
    } else {
        type = ExternalType(dataType);
    }
    param.SyncNullFromObject();
    std::string name = param.GetName();
    if (param.QuotedName()) {
        std::string quoted = "\"";
        for (const char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        name = quoted + "\"";
    }
    const bool longValue = dataType == dtBlob || dataType == dtMemo;
    TOraObject* object = nullptr;
    if (!param.IsTable()) {
        if ((dataType == dtString || dataType == dtFixedChar) && connection->CharLength() > 1) {
            const sb4 limit = connection->MaxStringSize() / connection->CharLength();
            if (length > limit) {
                length = limit;
                static_cast<char*>(buffer)[limit - 1] = 0;
            }
        } else if (longValue) {
            TBlob* const blob = param.Blob();
            if (param.GetParamType() == pdInput) {
                length = std::max<sb4>(1, blob ? static_cast<sb4>(blob->GetSize()) : 0);
            } else {
                length = LongPieceLimit;
                if (param.GetParamType() == pdOutput && blob) blob->Clear();
            }
        }
    }
    const OraText* bindName = reinterpret_cast<const OraText*>(name.c_str());
    if (ociVersion_ == 1) {
        BindParam7(param, bindName, buffer, length, type);
        return;
    }
    oci::OCIStmt* const statement = cursor_->OCIStmt();
    if (dataType == dtCursor) {
        auto* refCursor = dynamic_cast<TOraCursor*>(param.Object());
        if (refCursor == nullptr) RaiseLibraryError("Unknown data type");
        refCursor->SetOCIVersion(2);
        refCursor->AllocCursor();
        buffer = refCursor->OCIStmtAddress();
        length = 0;
    } else if (dataType == dtOraBlob || dataType == dtOraClob || dataType == dtBFile || dataType == dtCFile) {
        auto* lob = dynamic_cast<TOraLob*>(param.Object());
        if (lob == nullptr) AssertionFailed(UnitOraClasses, "LOB parameter without its value");
        lob->SetSvcCtx(connection->GetSvcCtx());
        lob->AllocLob();
        buffer = lob->LocatorPtr();
        length = sizeof(OCILobLocator*);
    } else if (IsObjectDataType(dataType)) {
        object = dynamic_cast<TOraObject*>(param.Object());
        if (object == nullptr) RaiseLibraryError(platform::Format("Unknown type of parameter %s", param.GetName()));
        if (object->Type() == nullptr) RaiseLibraryError("Type of object must be defined");
        object->SetSvcCtx(connection->GetSvcCtx());
        // The client fills the instance or the REF in place.
        if (dataType == dtReference)
            static_cast<TOraRef*>(object)->AllocRef();
        else
            object->CheckAllocated(true);
        buffer = nullptr;
        length = 0;
    }
    OCIBind* bind = nullptr;
    if (param.IsTable()) {
        *param.CurrentElementCount() = static_cast<ub4>(param.TableLength());
        Check(Oci.OCIBindByName(statement, &bind, errorHandle_, bindName, static_cast<sb4>(name.size()), buffer,
                                length, type, param.IndicatorBuffer(), nullptr, nullptr,
                                static_cast<ub4>(param.TableLength()), param.CurrentElementCount(), OCI_DEFAULT));
        Check(Oci.OCIBindArrayOfStruct(bind, errorHandle_, param.ItemSize(), sizeof(sb2), 0, 0));
    } else if (iterations_ == 1 && longValue) {
        Check(Oci.OCIBindByName(statement, &bind, errorHandle_, bindName, static_cast<sb4>(name.size()), nullptr,
                                length, type, param.IndicatorBuffer(), nullptr, nullptr, 0, nullptr,
                                OCI_DATA_AT_EXEC));
        Check(Oci.OCIBindDynamic(bind, errorHandle_, this, &TOCICommand::InBindPiece, this, &TOCICommand::OutBindPiece));
        param.SetBindHandle(bind);
    } else if (iterations_ == 1) {
        Check(Oci.OCIBindByName(statement, &bind, errorHandle_, bindName, static_cast<sb4>(name.size()), buffer,
                                length, type, param.IndicatorBuffer(), nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
        if (object && dataType == dtReference) {
            auto* ref = static_cast<TOraRef*>(object);
            Check(Oci.OCIBindObject(bind, errorHandle_, object->Type()->TypeDescriptor(),
                                    reinterpret_cast<void**>(ref->RefAddress()), nullptr, nullptr, nullptr));
        } else if (object) {
            Check(Oci.OCIBindObject(bind, errorHandle_, object->Type()->TypeDescriptor(), object->InstanceAddress(),
                                    nullptr, object->IndicatorAddress(), nullptr));
        }
        *param.CurrentElementCount() = 1;
    } else {
        if (param.TableLength() < iterations_)
            RaiseLibraryError(
                platform::Format("%s parameter must be array with length %d", param.GetName(), iterations_));
        Check(Oci.OCIBindByName(statement, &bind, errorHandle_, bindName, static_cast<sb4>(name.size()), buffer,
                                length, type, param.IndicatorBuffer(), nullptr, nullptr, 0, nullptr, OCI_DEFAULT));
        Check(Oci.OCIBindArrayOfStruct(bind, errorHandle_, param.ItemSize(), sizeof(sb2), 0, 0));
    }
    if (dataType == dtString && connection->CharsetId() != 0) {
        ub2 charset = connection->CharsetId();
        Check(Oci.OCIAttrSet(bind, OCI_HTYPE_BIND, &charset, 0, OCI_ATTR_CHARSET_ID, errorHandle_));
    }
}

void TOCICommand::BindParam7(TOraParamDesc& param, const OraText* bindName, void* buffer, sb4 length, ub2 type) {
    Cda_Def* const cda = cursor_->CDA();
    const TDataType dataType = param.GetDataType();
    if (dataType == dtCursor) {
        // The block opens the cursor in the parameter's own cursor data area.
        auto* refCursor = dynamic_cast<TOraCursor*>(param.Object());
        if (refCursor == nullptr) RaiseLibraryError("Unknown data type");
        refCursor->SetOCIVersion(1);
        refCursor->AllocCursor();
        Check(Oci.obndrv(cda, bindName, -1, reinterpret_cast<ub1*>(refCursor->CDA()), -1, type, -1,
                         param.IndicatorBuffer(), nullptr, -1, -1));
        *param.CurrentElementCount() = 1;
    } else if (param.IsTable()) {
        // A PL/SQL table: the client sends the elements in use and sets how many came back.
        const sb4 itemSize = static_cast<sb4>(param.ItemSize());
        *param.CurrentElementCount() = static_cast<ub4>(param.TableLength());
        Check(Oci.obindps(cda, 1, bindName, -1, static_cast<ub1*>(buffer), itemSize, type, 0, param.IndicatorBuffer(),
                          nullptr, nullptr, itemSize, sizeof(sb2), 0, 0, static_cast<ub4>(param.TableLength()),
                          param.CurrentElementCount(), nullptr, 0, 0));
    } else if (dataType == dtBlob || dataType == dtMemo) {
        // LONG values travel piece by piece; the client names the parameter it wants a piece
        // of (or has one for) by the context bound here.
        Check(Oci.obindps(cda, 0, bindName, -1, reinterpret_cast<ub1*>(&param), LongPieceLimit, type, 0,
                          param.IndicatorBuffer(), nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, 0, 0));
        *param.CurrentElementCount() = 1;
    } else {
        // Array DML reads the parameter's items one after the other.
        if (iterations_ > 1 && param.TableLength() < iterations_)
            RaiseLibraryError(
                platform::Format("%s parameter must be array with length %d", param.GetName(), iterations_));
        Check(Oci.obndrv(cda, bindName, -1, static_cast<ub1*>(buffer), length, type, -1, param.IndicatorBuffer(),
                         nullptr, -1, -1));
        *param.CurrentElementCount() = 1;
    }
}

TOraParamDesc* TOCICommand::FindByBindHandle(OCIBind* handle) const {
    for (int i = 0; i < params_.Count(); ++i) {
        auto* param = static_cast<TOraParamDesc*>(params_.Items(i));
        if (param->BindHandle() == handle) return param;
    }
    AssertionFailed(UnitOraClasses);
}

namespace {

// The piece of a LONG parameter's value to hand to the client next: piece after piece, from
// the start again when the client asks for a first piece; with the code that says where it
// stands (first, next or last). None once the value is out.
PPieceHeader NextOutgoingPiece(TOraParamDesc& param, TBlob* blob, ub1 asked, ub1& code) {
    int32_t& counter = param.PieceCounter();
    if (asked == OCI_FIRST_PIECE || asked == OCI_ONE_PIECE) counter = 0;
    PPieceHeader current = blob ? blob->FirstPiece() : nullptr;
    for (int32_t skipped = 0; current && skipped < counter; ++skipped) current = current->Next;
    code = OCI_LAST_PIECE;
    if (current) {
        if (current->Next) code = counter == 0 ? OCI_FIRST_PIECE : OCI_NEXT_PIECE;
        ++counter;
    }
    return current;
}

}  // namespace

sb4 OCI_CALL TOCICommand::InBindPiece(void* context, OCIBind* bind, ub4, ub4, void** buffer, ub4* length, ub1* piece,
                                      void** indicator) {
    TOraParamDesc* const param = static_cast<TOCICommand*>(context)->FindByBindHandle(bind);
    if (PPieceHeader current = NextOutgoingPiece(*param, param->Blob(), *piece, *piece)) {
        *buffer = TBlob::PieceData(current);
        *length = current->Used;
        *indicator = param->IndicatorBuffer();
    } else {
        *buffer = nullptr;
        *length = 0;
        *indicator = nullptr;
        *piece = OCI_LAST_PIECE;
    }
    return OCI_CONTINUE;
}

sb4 OCI_CALL TOCICommand::OutBindPiece(void* context, OCIBind* bind, ub4, ub4, void** buffer, ub4** length, ub1* piece,
                                       void** indicator, ub2** returnCode) {
    TOraParamDesc* const param = static_cast<TOCICommand*>(context)->FindByBindHandle(bind);
    TBlob* const blob = param->Blob();
    if (blob == nullptr) AssertionFailed(UnitOraClasses);
    if (*piece == OCI_ONE_PIECE) blob->Clear();
    const PPieceHeader next = blob->AllocPiece(blob->PieceSize);
    blob->AppendPiece(next);
    next->Used = next->Capacity;
    *buffer = TBlob::PieceData(next);
    *length = TBlob::PieceUsedPtr(next);
    *indicator = param->IndicatorBuffer();
    *piece = OCI_NEXT_PIECE;
    *returnCode = nullptr;
    return OCI_CONTINUE;
}

sword TOCICommand::InternalExecute(ub4 mode) {
    TCommandLock commandLock(*this);
    CheckActive();
    TOCIConnection* const connection = OCIConnection();
    const TCursorState before = cursor_->State();
    cursor_->SetState(csExecuting);
    sword status = OCI_SUCCESS;
    try {
        TConnectionLock lock(*connection);
        try {
            if (ociVersion_ == 1) {
                Cda_Def* const cda = cursor_->CDA();
                if (mode == OCI_DEFAULT) {
                    status = Oci.oexn(cda, iterations_, 0);
                    if (status != OCI_SUCCESS && status != OCI7_NEED_PIECE_IN && status != OCI7_NEED_PIECE_OUT) {
                        errorOffset_ = cda->parseErrorOffset;
                        Check(status);
                    }
                    if (status == OCI_SUCCESS) rowsProcessed_ = cda->rowsProcessed;
                }
            } else {
                oci::OCIStmt* const statement = cursor_->OCIStmt();
                status = Oci.OCIStmtExecute(connection->GetSvcCtx(), statement, errorHandle_,
                                            sqlType_ == SQL_SELECT ? 0 : static_cast<ub4>(iterations_), 0, nullptr,
                                            nullptr, mode);
                if (status != OCI_SUCCESS && status != OCI_NEED_DATA) Check(status);
                if (sqlType_ == 0) {
                    Check(Oci.OCIAttrGet(statement, OCI_HTYPE_STMT, &sqlType_, nullptr, OCI_ATTR_SQLFNCODE,
                                         errorHandle_));
                }
                if (status == OCI_SUCCESS && mode != OCI_DESCRIBE_ONLY) {
                    ub4 rows = 0;
                    Check(Oci.OCIAttrGet(statement, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, errorHandle_));
                    rowsProcessed_ = rows;
                }
            }
        } catch (...) {
            if (ociVersion_ == 2 && OciClient().ClientVersionLevel >= 3 && connection->GetConnected()) {
                ub2 offset = 0;
                if (Oci.OCIAttrGet(cursor_->OCIStmt(), OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET,
                                   errorHandle_) == OCI_SUCCESS)
                    errorOffset_ = offset;
            }
            throw;
        }
        if (ociVersion_ == 2 && OciClient().ClientVersionLevel >= 3 && connection->GetConnected()) {
            ub2 offset = 0;
            Check(Oci.OCIAttrGet(cursor_->OCIStmt(), OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET,
                                 errorHandle_));
            errorOffset_ = offset;
        }
    } catch (...) {
        if (cursor_->State() != csInactive) cursor_->SetState(before);
        throw;
    }
    if (mode == OCI_DESCRIBE_ONLY) {
        cursor_->SetState(before);
    } else {
        cursor_->SetState(csExecuted);
        for (int i = 0; i < params_.Count(); ++i) {
            auto* param = static_cast<TOraParamDesc*>(params_.Items(i));
            if (param->GetDataType() == dtCursor)
                if (auto* refCursor = dynamic_cast<TOraCursor*>(param->Object())) refCursor->SetState(csExecuted);
        }
    }
    rowsFetched_ = 0;
    return status;
}

bool TOCICommand::IsPieceRequest(sword status) const {
    return ociVersion_ == 1 ? status == OCI7_NEED_PIECE_IN || status == OCI7_NEED_PIECE_OUT : status == OCI_NEED_DATA;
}

TOCICommand::TPieceInfo TOCICommand::GetPieceInfo(sword status) {
    TPieceInfo info;
    TConnectionLock lock(*OCIConnection());
    ub4 iteration = 0, index = 0;
    if (ociVersion_ == 1) {
        Check(Oci.ogetpi(cursor_->CDA(), &info.piece, &info.handle, &iteration, &index));
        info.input = status == OCI7_NEED_PIECE_IN;
    } else {
        ub4 handleType = 0;
        ub1 direction = 0;
        Check(Oci.OCIStmtGetPieceInfo(cursor_->OCIStmt(), errorHandle_, &info.handle, &handleType, &direction,
                                      &iteration, &index, &info.piece));
        info.input = direction == OCI_PARAM_IN;
    }
    return info;
}

void TOCICommand::SetPieceInfo(void* handle, ub4 handleType, void* indicator, ub4* length, void* data, ub1 piece) {
    TConnectionLock lock(*OCIConnection());
    if (ociVersion_ == 1)
        Check(Oci.osetpi(cursor_->CDA(), piece, data, length));
    else
        Check(Oci.OCIStmtSetPieceInfo(handle, handleType, errorHandle_, data, length, piece, indicator, nullptr));
}

// The version 7 interface names a LONG parameter by the context it was bound with.
TOraParamDesc* TOCICommand::ParamOfPiece(const TPieceInfo& info) const {
    if (ociVersion_ == 2) return FindByBindHandle(static_cast<OCIBind*>(info.handle));
    for (int i = 0; i < params_.Count(); ++i)
        if (auto* param = static_cast<TOraParamDesc*>(params_.Items(i)); param == info.handle) return param;
    AssertionFailed(UnitOraClasses);
}

// One piece of a LONG parameter's value for the client: the value of an input parameter
// piece after piece (again from its start when the client asks for a first piece, as for
// the next iteration); other parameters send a null value.
sword TOCICommand::SendPiece(TOraParamDesc& param, const TPieceInfo& info) {
    const bool sent = param.GetParamType() != pdOutput && !param.GetNull();
    ub1 piece = OCI_LAST_PIECE;
    const PPieceHeader current = NextOutgoingPiece(param, sent ? param.Blob() : nullptr, info.piece, piece);
    sb2 nullIndicator = -1;
    ub4 length = current ? current->Used : 0;
    SetPieceInfo(info.handle, OCI_HTYPE_BIND, current ? param.IndicatorBuffer() : &nullIndicator, &length,
                 current ? TBlob::PieceData(current) : nullptr, piece);
    return InternalExecute(OCI_DEFAULT);
}

// One piece of a value the client hands out to a LONG parameter: an output or input/output
// parameter's blob takes it (emptied at the first piece); pieces for an input parameter
// are dropped.
sword TOCICommand::ReceivePiece(TOraParamDesc& param, const TPieceInfo& info) {
    TBlob* const blob = param.GetParamType() != pdInput ? param.Blob() : nullptr;
    if (blob == nullptr) {
        std::vector<uint8_t> scratch(DefaultPieceSize);
        ub4 length = static_cast<ub4>(scratch.size());
        sb2 indicator = 0;
        SetPieceInfo(info.handle, OCI_HTYPE_BIND, &indicator, &length, scratch.data(), info.piece);
        return InternalExecute(OCI_DEFAULT);
    }
    if (info.piece == OCI_FIRST_PIECE || info.piece == OCI_ONE_PIECE) blob->Clear();
    return ReceivePieceInto(*blob, [&](ub4* length, void* data) {
        SetPieceInfo(info.handle, OCI_HTYPE_BIND, param.IndicatorBuffer(), length, data, info.piece);
        return InternalExecute(OCI_DEFAULT);
    });
}

sword TOCICommand::ReceivePieceInto(TBlob& blob, const std::function<sword(ub4* length, void* data)>& transfer) {
    PPieceHeader piece = blob.AllocPiece(blob.PieceSize);
    ub4 length = piece->Capacity;
    sword status;
    try {
        status = transfer(&length, TBlob::PieceData(piece));
    } catch (...) {
        blob.FreePiece(piece);
        throw;
    }
    if (length == 0) {
        blob.FreePiece(piece);
    } else {
        piece->Used = std::min<uint32_t>(length, piece->Capacity);
        blob.CompressPiece(piece);
        blob.AppendPiece(piece);
    }
    return status;
}

void TOCICommand::Exec() {
    sword status = InternalExecute(OCI_DEFAULT);
    // LONG parameters bound without callbacks: the client asks for (or hands out) their
    // values a piece at a time, naming the parameter.
    while (IsPieceRequest(status)) {
        const TPieceInfo info = GetPieceInfo(status);
        TOraParamDesc& param = *ParamOfPiece(info);
        status = info.input ? SendPiece(param, info) : ReceivePiece(param, info);
    }
    if (status != OCI_SUCCESS) Check(status);
    if (ociVersion_ == 2 && rowsProcessed_ > 0) MoveLobParams();
    if (sqlType_ != SQL_SELECT && autoCommit_ && OCIConnection()->AutoCommit()) OCIConnection()->Commit();
}

// LOB parameters carry their value on the client: it goes to (or comes from) the server
// LOB the statement bound.
void TOCICommand::MoveLobParams() {
    for (int i = 0; i < params_.Count(); ++i) {
        auto* param = static_cast<TOraParamDesc*>(params_.Items(i));
        if (param->GetDataType() != dtOraBlob && param->GetDataType() != dtOraClob) continue;
        auto* lob = dynamic_cast<TOraLob*>(param->Object());
        if (lob == nullptr) continue;
        lob->SetCached(cacheLobs_);
        if (!lob->Caching() || param->GetNull()) continue;
        if (param->GetParamType() == pdInput)
            lob->WriteLob();
        else if (param->GetParamType() == pdOutput)
            lob->ReadLob();
        else
            RaiseLibraryError("Lob parameter should be Input or Output");
    }
}

void TOCICommand::DoExecute() {
    const bool wasPrepared = GetPrepared();
    try {
        if (!wasPrepared) Prepare();
        if (sqlType_ != SQL_UNPARAMETERIZED) BindParams();
        Exec();
    } catch (...) {
        iterations_ = 1;
        if (!wasPrepared) {
            try {
                CloseCursor();
            } catch (...) {
                // The execution's failure is the one to report.
            }
        }
        throw;
    }
    iterations_ = 1;
    if (!wasPrepared) CloseCursor();
}

void TOCICommand::EndExecute(bool success) {
    worker_.Reset();
    executing_ = false;
    if (afterExecute_) afterExecute_(platform::Variant(success));
}

void TOCICommand::Execute(int iterations) {
    if (cursor_->State() == csExecuting) return;
    iterations_ = iterations;
    executing_ = true;
    if (nonBlocking_) {
        if (!OCIConnection()->ThreadSafety()) {
            EndExecute(false);
            RaiseLibraryError("Session must be Thread Safety");
        }
        if (worker_.Valid()) AssertionFailed(UnitOraClasses);
        const std::weak_ptr<bool> alive = alive_;
        worker_.Reset(RunThread(
            *OCIConnection(), this, [this] { DoExecute(); },
            [this, alive](bool success) {
                if (!alive.expired()) EndExecute(success);
            }));
        return;
    }
    try {
        DoExecute();
    } catch (...) {
        EndExecute(false);
        throw;
    }
    EndExecute(true);
}

void TOCICommand::CloseCursor() {
    TCommandLock commandLock(*this);
    CheckActive();
    FreeRowIdDescriptor();
    try {
        TConnectionLock lock(*OCIConnection());
        if (ociVersion_ == 1) {
            Cda_Def* const cda = cursor_->CDA();
            cursor_->SetState(csInactive);
            Check(Oci.oclose(cda));
        }
        cursor_->SetState(csInactive);
        cursor_->FreeCursor();
    } catch (...) {
        cursor_->SetState(csInactive);
        throw;
    }
}

void TOCICommand::BreakExec() {
    if (cursor_->State() != csInactive && connection_) OCIConnection()->BreakExec();
}

void TOCICommand::SetCursor(TOraCursor* cursor) {
    if (cursor == cursor_) return;
    if (cursor_ != ownCursor_) cursor_->Release();
    if (cursor != nullptr && cursor != ownCursor_) {
        cursor_ = cursor;
        cursor->AddRef();
        ociVersion_ = cursor->OCIVersion();
        errorHandle_ = connection_ ? OCIConnection()->ErrorHandle() : OciClient().ErrorHandle;
        rowsFetched_ = 0;
    } else {
        cursor_ = ownCursor_;
    }
}

bool TOCICommand::RowsReturned() {
    CheckActive();
    if (sqlType_ == SQL_SELECT) return true;
    return cursor_ != ownCursor_ && cursor_->State() >= csExecuted;
}

void TOCICommand::CheckRowsReturned() {
    if (!RowsReturned()) RaiseLibraryError("SQL statement doesn't return rows");
}

std::string TOCICommand::GetRowId() {
    CheckActive();
    if (ociVersion_ == 1) {
        Cda_Def* const cda = cursor_->CDA();
        return RowId7ToText(cda->rowid);
    }
    if (rowIdDescriptor_ && rowIdEnvironment_ != OciClient().Environment) {
        rowIdDescriptor_ = nullptr;  // its environment is gone, and the descriptor with it
    }
    if (!rowIdDescriptor_) {
        Check(Oci.OCIDescriptorAlloc(OciClient().Environment, &rowIdDescriptor_, OCI_DTYPE_ROWID, 0, nullptr));
        rowIdEnvironment_ = OciClient().Environment;
    }
    std::string text;
    const sword status =
        Oci.OCIAttrGet(cursor_->OCIStmt(), OCI_HTYPE_STMT, rowIdDescriptor_, nullptr, OCI_ATTR_ROWID, errorHandle_);
    if (status != OCI_NO_DATA) {
        Check(status);
        const auto* bytes = static_cast<const uint8_t*>(rowIdDescriptor_);
        if (OciClient().ClientVersionLevel == 2) {
            text = RowId80ToText(bytes + RowidPointerOffset);
        } else {
            const uint8_t* rowid = nullptr;
            std::memcpy(&rowid, bytes + RowidPointerOffset, sizeof rowid);
            text = RowId81ToText(rowid);
        }
    }
    return text;
}

void TOCICommand::FreeRowIdDescriptor() noexcept {
    if (rowIdDescriptor_ && rowIdEnvironment_ == OciClient().Environment)
        Oci.OCIDescriptorFree(rowIdDescriptor_, OCI_DTYPE_ROWID);
    rowIdDescriptor_ = nullptr;
    rowIdEnvironment_ = nullptr;
}

bool TOCICommand::SetProp(int id, const platform::Variant& value) {
    switch (id) {
        case prScanParams:
            scanParams_ = value.AsBoolean();
            return true;
        case prFieldsAsString:
            fieldsAsString_ = value.AsBoolean();
            return true;
        case prCacheLobs:
            cacheLobs_ = value.AsBoolean();
            return true;
        case prNonBlocking:
            nonBlocking_ = value.AsBoolean();
            return true;
        default:
            return TQdCommand::SetProp(id, value);
    }
}

bool TOCICommand::GetProp(int id, platform::Variant& value) {
    switch (id) {
        case prScanParams:
            value = platform::Variant(scanParams_);
            return true;
        case prSQLType:
            value = platform::Variant(sqlType_);
            return true;
        case prRowsProcessed:
            value = platform::Variant(static_cast<int32_t>(rowsFetched_ > 0 ? rowsFetched_ : rowsProcessed_));
            return true;
        case prErrorOffset: {
            // The client counts in the normalized text, which starts after the leading blanks.
            int offset = errorOffset_;
            NormalizeSQL(platform::Trim(sql_), offset);
            const size_t leading = sql_.size() - platform::TrimLeft(sql_).size();
            value = platform::Variant(static_cast<uint16_t>(offset + static_cast<int>(leading)));
            return true;
        }
        default:
            return TQdCommand::GetProp(id, value);
    }
}

}  // namespace oracle

namespace oracle {

namespace {

// A column type the version 8 interface describes without a name of its own; its bytes are
// passed through.
constexpr ub2 ClientInternalType25 = 25;

// Length of a date shown in the connection's format: month and day names are wider
// than their format letters.
uint16_t DateTextLength(const std::string& format) {
    const std::string upper = platform::AnsiUpperCase(format);
    size_t length = upper.size();
    if (upper.find("MONTH") != std::string::npos) length += 7;
    if (upper.find("DAY") != std::string::npos) length += 9;
    return static_cast<uint16_t>(length);
}

}  // namespace

// The type of an object or REF column: one already known to the process, else described
// now. The caller takes over one reference.
TOraType* TOCICommand::ObjectTypeNamed(OCISvcCtx* svcCtx, const std::string& name) {
    if (TObjectTypes* types = TObjectTypes::Instance())
        if (auto* known = dynamic_cast<TOraType*>(types->FindType(name))) {
            known->AddRef();
            return known;
        }
    return NewShared<TOraType>(svcCtx, name);
}

bool TOCICommand::DescribeColumn(int position, TFieldDesc& field, bool longStrings) {
    TOCIConnection* const connection = OCIConnection();
    connection->CheckOCI();
    std::string name;
    ub2 type = 0;
    ub2 size = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    bool required = false;
    std::string objectTypeName;
    if (ociVersion_ == 1) {
        sb4 columnSize = 0;
        sb2 columnType = 0;
        sb1 nameBuffer[50] = {};
        sb4 nameLength = sizeof nameBuffer;
        sb4 displaySize = 0;
        sb2 columnScale = 0;
        sb2 nullOk = 1;
        const sword status = Oci.odescr(cursor_->CDA(), position, &columnSize, &columnType, nameBuffer, &nameLength,
                                        &displaySize, &precision, &columnScale, &nullOk);
        if (status == OCI7_PAST_SELECT_LIST) return false;
        Check(status);
        name.assign(reinterpret_cast<const char*>(nameBuffer), static_cast<size_t>(std::max<sb4>(nameLength, 0)));
        type = static_cast<ub2>(columnType);
        size = static_cast<ub2>(columnSize);
        scale = static_cast<sb1>(columnScale);
        required = nullOk == 0;
    } else {
        OCIStmt* const statement = cursor_->OCIStmt();
        ub4 count = 0;
        Check(Oci.OCIAttrGet(statement, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, errorHandle_));
        if (position < 1 || static_cast<ub4>(position) > count) return false;
        void* parameter = nullptr;
        Check(Oci.OCIParamGet(statement, OCI_HTYPE_STMT, errorHandle_, &parameter, static_cast<ub4>(position)));
        OraText* text = nullptr;
        ub4 textLength = 0;
        Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &text, &textLength, OCI_ATTR_NAME, errorHandle_));
        if (text) name.assign(reinterpret_cast<const char*>(text), textLength);
        Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, errorHandle_));
        Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, errorHandle_));
        if (type == SQLT_NUM) {
            Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, errorHandle_));
            Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, errorHandle_));
        }
        ub1 nullable = 1;
        Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &nullable, nullptr, OCI_ATTR_IS_NULL, errorHandle_));
        required = nullable == 0;
        if (type == SQLT_NTY || type == SQLT_REF) {
            std::string names[2];
            const ub4 attributes[2] = {OCI_ATTR_SCHEMA_NAME, OCI_ATTR_TYPE_NAME};
            for (int i = 0; i < 2; ++i) {
                text = nullptr;
                textLength = 0;
                Check(Oci.OCIAttrGet(parameter, OCI_DTYPE_PARAM, &text, &textLength, attributes[i], errorHandle_));
                if (text) names[i].assign(reinterpret_cast<const char*>(text), textLength);
            }
            objectTypeName = names[0].empty() ? names[1] : names[0] + "." + names[1];
        }
    }

    field.Name = name;
    field.FieldNo = static_cast<uint16_t>(position);
    field.ActualFieldNo = static_cast<uint16_t>(position);
    field.Length = 0;
    field.Scale = 0;
    field.SubDataType = 0;
    field.Required = required;
    switch (type) {
        case SQLT_CHR:
        case SQLT_AFC:
            if (longStrings || size < 256) {
                field.DataType = dtString;
                field.Size = static_cast<uint16_t>(size + 1);
            } else {
                field.DataType = dtMemo;
                field.SubDataType = 1;
                field.Size = ReferenceSlotSize;
            }
            field.Length = size;
            field.Fixed = type == SQLT_AFC;
            break;
        case SQLT_NUM:
            if (fieldsAsString_) {
                field.DataType = dtString;
                field.Length = precision < 1 ? 38 : static_cast<uint16_t>(precision);
                field.Size = static_cast<uint16_t>(field.Length + 1);
            } else {
                const bool integer = scale == 0 && precision != 0 && precision <= 9;
                field.DataType = integer ? dtInteger : dtFloat;
                field.Size = integer ? 4 : 8;
                field.Length = static_cast<uint16_t>(precision);
                field.Scale = static_cast<uint16_t>(scale < 0 ? -scale : scale);
            }
            break;
        case SQLT_LNG:
            field.DataType = dtMemo;
            field.Size = ReferenceSlotSize;
            break;
        case SQLT_RID:
        case SQLT_RDD:
            field.DataType = dtString;
            field.Size = 19;
            field.Length = 18;
            break;
        case SQLT_DAT:
            if (fieldsAsString_) {
                field.DataType = dtString;
                field.Length = DateTextLength(connection->DateFormat());
                field.Size = static_cast<uint16_t>(field.Length + 1);
            } else {
                field.DataType = dtDateTime;
                field.Size = 7;
            }
            break;
        case SQLT_BIN:
            field.DataType = dtString;
            field.Length = static_cast<uint16_t>(2 * size);
            field.Size = static_cast<uint16_t>(field.Length + 1);
            break;
        case SQLT_LBI:
            field.DataType = dtBlob;
            field.Size = ReferenceSlotSize;
            break;
        case SQLT_LAB:
            field.DataType = dtLabel;
            field.Size = size;
            break;
        case ClientInternalType25:
            if (ociVersion_ == 1) RaiseLibraryError("Unknown data type");
            field.DataType = dtInternalBytes;
            field.Size = size;
            break;
        case SQLT_CLOB:
        case SQLT_BLOB:
        case SQLT_BFILEE:
        case SQLT_CFILEE: {
            static constexpr TDataType lobTypes[] = {dtOraClob, dtOraBlob, dtBFile, dtCFile};
            field.DataType = lobTypes[type - SQLT_CLOB];
            field.Size = ReferenceSlotSize;
            break;
        }
        case SQLT_NTY:
        case SQLT_REF: {
            TOraType* objectType = ObjectTypeNamed(connection->GetSvcCtx(), objectTypeName);
            field.DataType = type == SQLT_REF ? dtReference : objectType->DataType;
            field.Size = ReferenceSlotSize;
            field.SetObjectType(objectType);
            objectType->Release();
            break;
        }
        case SQLT_RSET:
            field.DataType = dtCursor;
            field.Size = ReferenceSlotSize;
            break;
        default:
            RaiseLibraryError("Unknown data type");
    }
    return true;
}

// Columns are defined by their select-list position: attribute descriptors of object
// columns come between the columns, so a field's number can be larger.
ub2 TOCICommand::DefineType(const TFieldDesc& field) const {
    // A long string column is read as text into a buffer of its own.
    return field.SubDataType == 1 ? SQLT_STR : ExternalType(field.DataType);
}

sb4 TOCICommand::DefineLength(const TFieldDesc& field) {
    return field.SubDataType == 1 ? field.Length + 1 : field.Size;
}

OCIDefine* TOCICommand::DefineColumn(TFieldDesc& field, void* value, void* indicator) {
    TOCIConnection* const connection = OCIConnection();
    const bool longString = field.SubDataType == 1;
    const ub2 type = DefineType(field);
    const sb4 length = DefineLength(field);
    if (ociVersion_ == 1) {
        Check(Oci.odefin(cursor_->CDA(), field.ActualFieldNo, static_cast<ub1*>(value), length, type, -1,
                         static_cast<sb2*>(indicator), nullptr, -1, -1, nullptr, nullptr));
        return nullptr;
    }
    // Objects, collections and REFs: value is the first of the instance (or REF) slots the
    // client fills in place; their null state lives in the instance.
    const bool objectValue = IsObjectDataType(field.DataType);
    OCIDefine* define = nullptr;
    Check(Oci.OCIDefineByPos(cursor_->OCIStmt(), &define, errorHandle_, field.ActualFieldNo, objectValue ? nullptr : value,
                             objectValue ? 0 : length, type, objectValue ? nullptr : indicator, nullptr, nullptr,
                             OCI_DEFAULT));
    if ((field.DataType == dtString || longString) && connection->CharsetId() != 0) {
        ub2 charset = connection->CharsetId();
        Check(Oci.OCIAttrSet(define, OCI_HTYPE_DEFINE, &charset, 0, OCI_ATTR_CHARSET_ID, errorHandle_));
    }
    if (objectValue) {
        auto* objectType = dynamic_cast<TOraType*>(field.ObjectType());
        if (objectType == nullptr) RaiseLibraryError("Type of object must be defined");
        Check(Oci.OCIDefineObject(define, errorHandle_, objectType->TypeDescriptor(), static_cast<void**>(value),
                                  nullptr, nullptr, nullptr));
    }
    field.Handle = define;
    return define;
}

void TOCICommand::DefineArrayColumn(TFieldDesc& field, void* value, ub4 indicatorSkip, ub4 valueSkip,
                                    void* indicator) {
    if (ociVersion_ == 1) {
        Check(Oci.odefinps(cursor_->CDA(), 1, field.ActualFieldNo, static_cast<ub1*>(value), DefineLength(field),
                           DefineType(field), 0, static_cast<sb2*>(indicator), nullptr, 0, 0, nullptr, nullptr,
                           static_cast<sb4>(valueSkip), static_cast<sb4>(indicatorSkip), 0, 0));
        return;
    }
    OCIDefine* const define = DefineColumn(field, value, indicator);
    Check(Oci.OCIDefineArrayOfStruct(define, errorHandle_, valueSkip, indicatorSkip, 0, 0));
}

void TOCICommand::DefinePiecewise(TFieldDesc& field, void* indicator) {
    if (ociVersion_ == 1) {
        // The client names the column it has a piece of by this context.
        Check(Oci.odefinps(cursor_->CDA(), 0, field.ActualFieldNo, reinterpret_cast<ub1*>(&field), LongPieceLimit,
                           ExternalType(field.DataType), 0, static_cast<sb2*>(indicator), nullptr, 0, 0, nullptr,
                           nullptr, 0, 0, 0, 0));
        field.Handle = &field;
        return;
    }
    OCIDefine* define = nullptr;
    Check(Oci.OCIDefineByPos(cursor_->OCIStmt(), &define, errorHandle_, field.ActualFieldNo, nullptr, LongPieceLimit,
                             ExternalType(field.DataType), indicator, nullptr, nullptr, OCI_DYNAMIC_FETCH));
    field.Handle = define;
}

void TOCICommand::DefineDynamic(TFieldDesc& field, void* context, OCICallbackDefine callback) {
    OCIConnection()->CheckOCI80();
    OCIDefine* define = nullptr;
    Check(Oci.OCIDefineByPos(cursor_->OCIStmt(), &define, errorHandle_, field.ActualFieldNo, nullptr, LongPieceLimit,
                             ExternalType(field.DataType), nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH));
    Check(Oci.OCIDefineDynamic(define, errorHandle_, context, callback));
    field.Handle = define;
}

bool TOCICommand::IsEndOfFetch(sword status) const {
    return status == (ociVersion_ == 1 ? OCI7_END_OF_FETCH : OCI_NO_DATA);
}

sword TOCICommand::FetchRows(int rows, bool pieces) {
    CheckActive();
    sword status;
    {
        TConnectionLock lock(*OCIConnection());
        status = ociVersion_ == 1 ? Oci.ofen(cursor_->CDA(), rows)
                                  : Oci.OCIStmtFetch(cursor_->OCIStmt(), errorHandle_, static_cast<ub4>(rows),
                                                     OCI_FETCH_NEXT, OCI_DEFAULT);
        if (status != OCI_SUCCESS && !IsEndOfFetch(status) && !(pieces && IsPieceRequest(status))) Check(status);
        if (!IsPieceRequest(status)) {
            ub4 total = 0;
            if (ociVersion_ == 1)
                total = cursor_->CDA()->rowsProcessed;
            else
                Check(Oci.OCIAttrGet(cursor_->OCIStmt(), OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT,
                                     errorHandle_));
            lastDelivered_ = static_cast<int>(total - rowsFetched_);
            rowsFetched_ = total;
        }
    }
    if (IsEndOfFetch(status)) FinishFetch();
    if (cursor_->State() < csFetching) cursor_->SetState(csFetching);
    return status;
}

int TOCICommand::Fetch(int rows) {
    FetchRows(rows, false);
    return lastDelivered_;
}

sword TOCICommand::FetchPiece() { return FetchRows(1, true); }

void TOCICommand::FinishFetch() {
    CheckActive();
    struct TFetched {
        TOraCursor* cursor;
        ~TFetched() { cursor->SetState(csFetched); }
    } fetched{cursor_};
    if (ociVersion_ == 1) {
        TConnectionLock lock(*OCIConnection());
        Check(Oci.ocan(cursor_->CDA()));
    }
}

}  // namespace oracle
