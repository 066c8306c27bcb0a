#include "oracle/oci/OCIRecordSet.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"
#include "oracle/oci/OCIConnection.h"
#include "oracle/oci/OciCodecs.h"
#include "oracle/oci/OciLoader.h"
#include "oracle/oci/OraDataTypes.h"
#include "oracle/oci/OraLob.h"
#include "oracle/oci/OraObject.h"
#include "oracle/oci/OraParamDesc.h"
#include "platform/ScopeExit.h"
#include "platform/SysUtils.h"

namespace oracle {

namespace {

// A select list may name a column twice; the later ones get "_1", "_2"... so that every
// field can be found by its name.
// Attribute descriptors of object columns share names with columns; only columns count.
std::string UniqueFieldName(const TFieldDescs& fields, const std::string& name) {
    const auto taken = [&fields](const std::string& candidate) {
        for (int i = 0; i < fields.Count(); ++i) {
            const TFieldDesc& field = *fields.Items(i);
            if (!field.ParentField && platform::AnsiSameText(field.Name, candidate)) return true;
        }
        return false;
    };
    if (!taken(name)) return name;
    for (int n = 1;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (!taken(candidate)) return candidate;
    }
}

// Reference slots of records and the fetch buffer may be unaligned.
template <class T>
void PutReference(uint8_t* slot, T* value) {
    std::memcpy(slot, &value, sizeof(value));
}

template <class T>
T* GetReference(const uint8_t* slot) {
    T* value = nullptr;
    std::memcpy(&value, slot, sizeof(value));
    return value;
}

// Marks the store's own moves for a scope (they may nest).
class TNavigation {
public:
    explicit TNavigation(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~TNavigation() { flag_ = saved_; }
    TNavigation(const TNavigation&) = delete;
    TNavigation& operator=(const TNavigation&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

TOCIRecordSet::TOCIRecordSet() { fetchRows_ = 25; }

TOCIRecordSet::~TOCIRecordSet() {
    // The store's own close must run while this object's parts still exist. Closing the
    // client's cursor may fail (a lost server): the store goes all the same.
    platform::CleanUpStep([this] { StopBackgroundWork(); });
    platform::CleanUpStep([this] { Close(); });
    platform::CleanUpStep([this] { Unprepare(); });
}

void TOCIRecordSet::CreateCommand() { SetCommand(std::make_unique<TOCICommand>()); }

void TOCIRecordSet::SetCommand(std::unique_ptr<TQdCommand> command) {
    if (command) connection_ = static_cast<TOCICommand&>(*command).OCIConnection();
    TQdRecordSet::SetCommand(std::move(command));
}

void TOCIRecordSet::SetConnection(TQdConnection* connection) {
    TQdRecordSet::SetConnection(connection);
    connection_ = static_cast<TOCIConnection*>(connection);
}

TOCICommand* TOCIRecordSet::OCICommand() { return static_cast<TOCICommand*>(Command()); }

bool TOCIRecordSet::SetProp(int id, const platform::Variant& value) {
    switch (id) {
        case prFetchRows:
            fetchRows_ = value.AsInteger();
            return true;
        case prKeepPrepared:
            KeepPrepared = value.AsBoolean();
            return true;
        case prAutoClose:
            autoClose_ = value.AsBoolean();
            return true;
        case prDeferredLobRead:
            deferredLobRead_ = value.AsBoolean();
            return true;
        default:
            return TQdRecordSet::SetProp(id, value);
    }
}

bool TOCIRecordSet::GetProp(int id, platform::Variant& value) {
    switch (id) {
        case prKeepPrepared:
            value = platform::Variant(KeepPrepared);
            return true;
        case prAutoClose:
            value = platform::Variant(autoClose_);
            return true;
        case prDeferredLobRead:
            value = platform::Variant(deferredLobRead_);
            return true;
        default:
            return TQdRecordSet::GetProp(id, value);
    }
}

TOraCursor* TOCIRecordSet::FetchCursorOf() {
    TOCICommand* command = OCICommand();
    if (command->SQLType() == SQL_PLSQL && command->Cursor() == command->ownCursor_) {
        for (int i = 0; i < command->ParamCount(); ++i) {
            auto* param = static_cast<TOraParamDesc*>(command->ParamAt(i));
            if (param->GetDataType() == dtCursor) return dynamic_cast<TOraCursor*>(param->Object());
        }
        return nullptr;
    }
    return command->Cursor();
}

bool TOCIRecordSet::CursorReadyNow() {
    TOCICommand* command = OCICommand();
    return command->RowsReturned() || (command->SQLType() == SQL_PLSQL && fetchCursor_ != nullptr);
}

void TOCIRecordSet::InternalPrepare() {
    TOCICommand* command = OCICommand();
    TMemData::InternalPrepare();
    if (command->Cursor() == command->ownCursor_) command->Prepare();
    fetchCursor_ = FetchCursorOf();
    // A REF CURSOR is described only after the block that opens it ran.
    deferredFields_ = command->Cursor() != fetchCursor_;
}

void TOCIRecordSet::InternalInitFields() {
    TOCICommand* command = OCICommand();
    const bool own = command->Cursor() == command->ownCursor_;
    const bool wasInactive = command->Cursor()->State() == csInactive;
    platform::TScopeExit closeAgain([&] {
        if (own && wasInactive && command->Cursor() == command->ownCursor_) command->CloseCursor();
    });
    if (own) {
        if (command->Cursor()->State() == csInactive) command->Prepare();
        fetchCursor_ = FetchCursorOf();
        const TCursorState state = command->Cursor()->State();
        if (command->SQLType() == SQL_PLSQL && fetchCursor_) {
            if (state < csBound) command->BindParams();
            if (state < csExecuted) command->Exec();
            command->SetCursor(fetchCursor_);
        } else if (command->SQLType() == SQL_SELECT) {
            if (command->OCIVersion() == 2 && state < csExecuted) {
                if (state < csBound) command->BindParams();
                command->InternalExecute(oci::OCI_DESCRIBE_ONLY);
            }
        } else {
            return;
        }
    } else {
        fetchCursor_ = FetchCursorOf();
        command->CheckActive();
    }
    TConnectionLock lock(*connection_);
    for (int position = 1;; ++position) {
        auto field = std::make_unique<TFieldDesc>();
        if (!command->DescribeColumn(position, *field, LongStrings())) break;
        field->ActualName = field->Name;
        field->FieldNo = static_cast<uint16_t>(FieldCount() + 1);
        field->Name = UniqueFieldName(Fields(), field->Name);
        TFieldDesc* added = Fields().Add(std::move(field));
        if (added->DataType == dtObject || added->DataType == dtArray) InitObjectFields(added->ObjectType(), added);
    }
}

// The version 7 interface hands out LONG and LONG RAW values only a row at a time.
bool TOCIRecordSet::NeedsRowFetch() {
    if (OCICommand()->OCIVersion() != 1) return false;
    for (int i = 0; i < FieldCount(); ++i) {
        const TFieldDesc& field = *Fields().Items(i);
        if (!field.ParentField && (field.DataType == dtBlob || field.DataType == dtMemo) && field.Length == 0)
            return true;
    }
    return false;
}

void TOCIRecordSet::InternalOpen() {
    rowFetch_ = NeedsRowFetch();
    TQdRecordSet::InternalOpen();
}

void TOCIRecordSet::ExecCommand() {
    TOCICommand* command = OCICommand();
    command->executing_ = true;
    openFailed_ = false;
    if (command->NonBlocking()) {
        if (!connection_->ThreadSafety()) {
            command->executing_ = false;
            RaiseLibraryError("Session must be Thread Safety");
        }
        try {
            // The caller goes on as soon as the worker has started; the rows follow, and the
            // end report comes through this thread's message loop.
            RunInBackground(worker_, openRunning_, ++run_, [this] { OpenBody(); },
                            [this](bool success) { EndOpen(success); });
        } catch (...) {
            command->executing_ = false;
            throw;
        }
        return;
    }
    bool success = false;
    try {
        OpenBody();
        success = true;
    } catch (...) {
        EndOpen(false);
        throw;
    }
    EndOpen(success);
}

void TOCIRecordSet::OpenBody() {
    TOCICommand* command = OCICommand();
    const bool background = openRunning_;
    if (background) fetchSignal_.Pulse();
    bool opened = false;
    // The signal comes last: a caller waiting for it may free this record set next.
    platform::TScopeExit done([this, command, background, &opened] {
        command->executing_ = false;
        if (!background) return;
        openFailed_ = !opened;
        openRunning_ = false;
        fetchSignal_.Set();
    });
    if (command->Cursor() == command->ownCursor_) {
        if (command->SQLType() != SQL_UNPARAMETERIZED) command->BindParams();
        command->Exec();
    }
    if (!CursorReadyNow()) command->CheckRowsReturned();
    if (deferredFields_) InitFields();
    command->SetCursor(fetchCursor_);
    if (deferredFields_) rowFetch_ = NeedsRowFetch();
    if (background) FetchNext();
    opened = true;
}

void TOCIRecordSet::EndOpen(bool success) {
    if (worker_.Valid()) {
        worker_.Reset();
        const std::lock_guard<std::recursive_mutex> links(rowsLock_);
        if (firstItem_) {
            currentItem_ = firstItem_;
            bof_ = false;
        }
    }
    if (success && fetchAll_) FetchAllRows();
    if (afterExecute_) afterExecute_(platform::Variant(success));
}

void TOCIRecordSet::WaitForBackground() const {
    while (true) {
        const uint64_t ticket = fetchSignal_.Ticket();
        if (!BackgroundRunning()) return;
        fetchSignal_.Wait(ticket);
    }
}

void TOCIRecordSet::JoinWorker(platform::THandleOwner& worker) {
    if (!worker.Valid()) return;
    // A break sent before the worker's call reached the server is lost: it is sent again
    // until the worker has ended.
    while (WaitForSingleObject(worker.Get(), 100) == WAIT_TIMEOUT) {
        try {
            OCICommand()->BreakExec();
        } catch (...) {
            // The worker reports its own end; a failed interruption only means waiting longer.
        }
    }
    worker.Reset();
}

void TOCIRecordSet::UnlessStopped(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        if (!stopping_) throw;
    }
}

void TOCIRecordSet::RunInBackground(platform::THandleOwner& worker, std::atomic<bool>& running, uint32_t run,
                                    std::function<void()> body, std::function<void(bool)> end) {
    const uint64_t ticket = fetchSignal_.Reset();
    running = true;
    const std::weak_ptr<bool> alive = alive_;
    try {
        // A run stopped by a close ends without a failure to report, and the end report of
        // a run that a close or reopen has overtaken is dropped.
        worker.Reset(RunThread(*connection_, this, [this, body] { UnlessStopped(body); },
                               [this, alive, run, end](bool success) {
                                   if (!alive.expired() && run == run_) end(success);
                               }));
    } catch (...) {
        running = false;
        fetchSignal_.Set();
        throw;
    }
    fetchSignal_.Wait(ticket);
}

void TOCIRecordSet::StopBackgroundWork() {
    ++run_;
    if (!worker_.Valid() && !fetchWorker_.Valid()) return;
    stopping_ = true;
    if (openRunning_ || fetchRunning_) {
        try {
            OCICommand()->BreakExec();
        } catch (...) {
            // As above: the wait goes on.
        }
    }
    JoinWorker(worker_);
    JoinWorker(fetchWorker_);
    stopping_ = false;
}

bool TOCIRecordSet::Fetch() {
    // Rows that come in the background are not fetched twice.
    if (BackgroundRunning()) WaitForBackground();
    // A background open that failed has no rows: its end report tells the owner why.
    if (openFailed_) return false;
    return FetchNext();
}

bool TOCIRecordSet::FetchNext() {
    TOCICommand* command = OCICommand();
    bool fetched = false;
    TCursorState state = command->Cursor()->State();
    if (state != csInactive && state != csFetched) {
        const bool notify = state != csFetchingAll && blockFetch_;
        if (notify) blockFetch_(platform::Variant(true));
        platform::TScopeExit after([&] {
            if (notify) blockFetch_(platform::Variant(false));
        });
        fetched = rowFetch_ || OciClient().LiteClient ? FetchOneRow() : FetchBlockRows();
    }
    if (command->Cursor()->State() == csFetched && autoClose_) {
        TOCIRecordSet::InternalUnprepare();
        prepared_ = false;
    }
    return fetched;
}

bool TOCIRecordSet::Eof() const {
    // The store's own moves ask too; they must not wait (they may hold the command's lock).
    if (navigating_) return TQdRecordSet::Eof();
    // Without a worker no other thread changes the links.
    if (!BackgroundRunning()) return TQdRecordSet::Eof();
    const uint64_t ticket = fetchSignal_.Ticket();
    bool atEnd;
    {
        const std::lock_guard<std::recursive_mutex> links(rowsLock_);
        atEnd = !currentItem_ || currentItem_ == lastItem_;
    }
    if (atEnd) {
        if (openRunning_) return true;
        if (fetchRunning_) fetchSignal_.Wait(ticket);
    }
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    return TQdRecordSet::Eof();
}

void TOCIRecordSet::GetNextRecord(void* dest) {
    const TNavigation navigation(navigating_);
    while (BackgroundRunning()) {
        const uint64_t ticket = fetchSignal_.Ticket();
        {
            const std::lock_guard<std::recursive_mutex> links(rowsLock_);
            if (TMemData::Eof()) return;
            PItemHeader item = currentItem_ ? currentItem_->Next : firstItem_;
            while (item && OmitRecord(item)) item = item->Next;
            // With a row ahead the base moves without fetching.
            if (item) {
                TQdRecordSet::GetNextRecord(dest);
                return;
            }
        }
        fetchSignal_.Wait(ticket);
    }
    TQdRecordSet::GetNextRecord(dest);
}

void TOCIRecordSet::GetPriorRecord(void* dest) {
    const TNavigation navigation(navigating_);
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    TQdRecordSet::GetPriorRecord(dest);
}

void TOCIRecordSet::GetRecord(void* dest) {
    const TNavigation navigation(navigating_);
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    TQdRecordSet::GetRecord(dest);
}

int TOCIRecordSet::GetRecordCount() {
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    return TQdRecordSet::GetRecordCount();
}

int16_t* TOCIRecordSet::Indicator(void* record, int fieldNo) const {
    return reinterpret_cast<int16_t*>(static_cast<uint8_t*>(record) + DataSize() + 2 * (fieldNo - 1));
}

const int16_t* TOCIRecordSet::Indicator(const void* record, int fieldNo) const {
    return reinterpret_cast<const int16_t*>(static_cast<const uint8_t*>(record) + DataSize() + 2 * (fieldNo - 1));
}

bool TOCIRecordSet::IsLongColumn(const TFieldDesc& field) const {
    return TData::GetBlobTypes().Contains(field.DataType) && !IsLongString(field);
}

void TOCIRecordSet::CreateBlockValues(PBlockHeader block, int count) {
    if (!HasComplexFields()) return;
    for (int i = 0; i < count; ++i) CreateComplexFields(TBlockManager::ItemData(BlockManager().ItemAt(block, i)), true);
}

void TOCIRecordSet::FreeBlockValues(PBlockHeader block, int from, int to) {
    if (!HasComplexFields()) return;
    for (int i = from; i < to; ++i) FreeComplexFields(TBlockManager::ItemData(BlockManager().ItemAt(block, i)), true);
}

// Each row of the buffer starts with empty texts, so that a row the client leaves alone
// reads as empty.
bool TOCIRecordSet::IsLobField(const TFieldDesc& field) {
    return field.DataType == dtOraBlob || field.DataType == dtOraClob || field.DataType == dtBFile ||
           field.DataType == dtCFile;
}

int TOCIRecordSet::FetchBufferBytes(const TFieldDesc& field) const {
    if (field.ParentField) return 0;
    if (IsLongString(field)) return field.Length + 1;
    if (IsLobField(field) || IsObjectDataType(field.DataType) || field.DataType == dtCursor)
        return static_cast<int>(sizeof(void*));
    return 0;
}

void* TOCIRecordSet::RecordOfRow(PItemHeader first, int row) {
    return TBlockManager::ItemData(reinterpret_cast<PItemHeader>(reinterpret_cast<uint8_t*>(first) +
                                                                 size_t(row) * size_t(BlockManager().ItemSize())));
}

void TOCIRecordSet::PrepareFetchBuffer(PItemHeader first, int rows) {
    bytesPerRow_ = 0;
    for (int i = 0; i < FieldCount(); ++i) bytesPerRow_ += FetchBufferBytes(*Fields().Items(i));
    fetchBuffer_.assign(static_cast<size_t>(bytesPerRow_) * static_cast<size_t>(rows), 0);
    // Only long texts, LOBs, cursors and objects go through the buffer.
    if (bytesPerRow_ == 0) return;
    // A LOB column is defined into its row's locator: the client fills the LOB object.
    for (int row = 0; row < rows; ++row) {
        void* record = RecordOfRow(first, row);
        uint8_t* rowBuffer = fetchBuffer_.data() + static_cast<size_t>(row) * static_cast<size_t>(bytesPerRow_);
        int offset = 0;
        for (int i = 0; i < FieldCount(); ++i) {
            const TFieldDesc& field = *Fields().Items(i);
            if (!field.ParentField && IsLobField(field)) {
                auto* lob = static_cast<TOraLob*>(GetBlob(field.FieldNo, record));
                PutReference(rowBuffer + offset, lob->Locator());
            } else if (!field.ParentField && field.DataType == dtCursor) {
                // The client makes the row's statement handle the cursor of the row's value.
                TOraCursor* cursor = CursorOf(field, record);
                PutReference(rowBuffer + offset, cursor->OCIStmt());
                cursor->SetState(csExecuted);
            } else if (!field.ParentField && IsObjectDataType(field.DataType)) {
                // The client fills the row's instance in place, or puts a new REF in the slot.
                TOraObject* object = ObjectOf(field, record);
                if (field.DataType == dtReference)
                    PutReference(rowBuffer + offset, static_cast<TOraRef*>(object)->Ref());
                else
                    PutReference(rowBuffer + offset, object->Instance());
            }
            offset += FetchBufferBytes(field);
        }
    }
}

// A LOB arrives as a locator; its contents are read at once unless the reading is
// deferred or the command keeps LOBs on the server.
void TOCIRecordSet::ReadLobValues(void* record, bool emptyIsNull) {
    const bool read = !deferredLobRead_ && OCICommand()->CacheLobs();
    for (int i = 0; i < FieldCount(); ++i) {
        const TFieldDesc& field = *Fields().Items(i);
        if (field.ParentField || !IsLobField(field) || GetNull(field.FieldNo, record)) continue;
        auto* lob = static_cast<TOraLob*>(GetBlob(field.FieldNo, record));
        lob->ServerData = true;
        if (field.DataType == dtBFile || field.DataType == dtCFile) {
            auto* file = static_cast<TOraFile*>(lob);
            if (read && file->Exists()) file->CheckValue();
            continue;
        }
        uint32_t size = 0;
        if (read) {
            lob->ReadLob();
            size = lob->TBlob::GetSize();
        } else {
            size = lob->GetLength();
        }
        // In a block an empty LOB reads as null, whether or not its contents were read.
        if (emptyIsNull && size == 0) *Indicator(record, field.FieldNo) = -1;
    }
}

void TOCIRecordSet::AfterBlockFetch(PItemHeader first, int fetched, bool emptyLobIsNull) {
    // Rows of plain values are complete as the client wrote them.
    if (!HasComplexFields()) return;
    for (int row = 0; row < fetched; ++row) {
        void* record = RecordOfRow(first, row);
        int bufferOffset = 0;
        for (int i = 0; i < FieldCount(); ++i) {
            const TFieldDesc& field = *Fields().Items(i);
            const int bytes = FetchBufferBytes(field);
            bufferOffset += bytes;
            if (!field.ParentField && IsObjectDataType(field.DataType)) {
                const uint8_t* slot = fetchBuffer_.data() + static_cast<size_t>(row) * static_cast<size_t>(bytesPerRow_) +
                                      (bufferOffset - bytes);
                TakeObjectValue(field, record, GetReference<void>(slot));
                continue;
            }
            if (field.ParentField || !TData::GetBlobTypes().Contains(field.DataType)) continue;
            TBlob* blob = GetBlob(field.FieldNo, record);
            if (IsLongString(field)) {
                const auto* text = fetchBuffer_.data() + static_cast<size_t>(row) * static_cast<size_t>(bytesPerRow_) +
                                   (bufferOffset - bytes);
                const auto length = static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(text), field.Length));
                if (length == 0 || !blob) continue;
                PPieceHeader piece = blob->AllocPiece(length);
                std::memcpy(TBlob::PieceData(piece), text, length);
                *TBlob::PieceUsedPtr(piece) = length;
                blob->AppendPiece(piece);
            } else if (blob && !IsLobField(field)) {
                // The client announced every piece full; the last one is short or empty.
                for (PPieceHeader piece = blob->FirstPiece(); piece;) {
                    PPieceHeader next = piece->Next;
                    if (piece->Used == 0) blob->DeletePiece(piece);
                    piece = next;
                }
                blob->Compress();
            }
        }
        ReadLobValues(record, emptyLobIsNull);
    }
}

oci::sb4 OCI_CALL TOCIRecordSet::LongDefineCallback(void* context, oci::OCIDefine* define, oci::ub4 iteration,
                                                    void** buffer, oci::ub4** length, oci::ub1* piece,
                                                    void** indicator, oci::ub2** returnCode) {
    auto* self = static_cast<TOCIRecordSet*>(context);
    TFieldDesc* field = &self->FieldOfHandle(define);
    void* record = self->RecordOfRow(self->fetchBase_, static_cast<int>(iteration));
    TBlob* blob = self->GetBlob(field->FieldNo, record);
    Check(blob != nullptr, UnitOraClasses, "No blob for a LONG column");
    PPieceHeader next = blob->AllocPiece(blob->PieceSize);
    blob->AppendPiece(next);
    *TBlob::PieceUsedPtr(next) = blob->PieceSize;
    *buffer = TBlob::PieceData(next);
    *length = TBlob::PieceUsedPtr(next);
    int16_t* rowIndicator = self->Indicator(record, field->FieldNo);
    // Clients from 8.1.6 up to 9 write the indicator as far past the address they get as the
    // row lies within the fetch.
    const std::string& release = OciClient().ClientVersionText;
    if (CompareVersionText(release, "8.1.6") >= 0 && CompareVersionText(release, "9.0.0") < 0)
        rowIndicator = reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(rowIndicator) - 2 * size_t{iteration});
    *indicator = rowIndicator;
    *piece = oci::OCI_NEXT_PIECE;
    *returnCode = nullptr;
    return oci::OCI_CONTINUE;
}

TFieldDesc& TOCIRecordSet::FieldOfHandle(const void* handle) const {
    TFieldDesc* field = nullptr;
    for (int i = 0; i < FieldCount() && !field; ++i)
        if (Fields().Items(i)->Handle == handle) field = Fields().Items(i);
    Check(field != nullptr, UnitOraClasses, "Unknown define handle");
    return *field;
}

// Defines the top-level columns into the record at firstRecord (and, for a block, the
// records after it at the item size) and into the fetch buffer. LONG and LONG RAW columns
// come piece by piece: through the callback, or, one row at a time on the version 7
// interface, through the piece information calls.
void TOCIRecordSet::DefineColumns(uint8_t* firstRecord, bool oneRow) {
    TOCICommand* command = OCICommand();
    const auto itemSize = static_cast<oci::ub4>(BlockManager().ItemSize());
    TConnectionLock lock(*connection_);
    int bufferOffset = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        TFieldDesc& field = *Fields().Items(i);
        if (field.ParentField) continue;
        int16_t* indicator = Indicator(firstRecord, field.FieldNo);
        if (IsLongColumn(field)) {
            if (oneRow && command->OCIVersion() == 1)
                command->DefinePiecewise(field, indicator);
            else
                command->DefineDynamic(field, this, &TOCIRecordSet::LongDefineCallback);
            continue;
        }
        void* value = firstRecord + field.Offset;
        oci::ub4 valueSkip = itemSize;
        if (const int bytes = FetchBufferBytes(field); bytes > 0) {
            value = fetchBuffer_.data() + bufferOffset;
            valueSkip = static_cast<oci::ub4>(bytesPerRow_);
            bufferOffset += bytes;
        }
        if (oneRow)
            command->DefineColumn(field, value, indicator);
        else
            command->DefineArrayColumn(field, value, itemSize, valueSkip, indicator);
    }
}

// One row per client call (the version 7 interface with LONG columns, or the Lite client):
// a LONG column's value arrives a piece at a time into the row's blob.
bool TOCIRecordSet::FetchOneRow() {
    TOCICommand* command = OCICommand();
    TCommandLock commandLock(*command);
    if (command->Cursor()->State() <= csPrepared) return false;
    TBlockManager& blocks = BlockManager();
    PItemHeader item = nullptr;
    if (uniDirectional_ && firstItem_) {
        // Only the newest row is kept: its item takes the next one.
        const std::lock_guard<std::recursive_mutex> links(rowsLock_);
        item = firstItem_;
        if (HasComplexFields()) FreeComplexFields(TBlockManager::ItemData(item), true);
        firstItem_ = lastItem_ = currentItem_ = nullptr;
    } else {
        item = blocks.AllocItem();
    }
    uint8_t* record = TBlockManager::ItemData(item);
    const auto forget = [&] {
        fetchBase_ = nullptr;
        if (HasComplexFields()) FreeComplexFields(record, true);
        blocks.FreeItem(item);
        fetchBuffer_.clear();
    };
    bool fetched = false;
    try {
        if (HasComplexFields()) CreateComplexFields(record, true);
        PrepareFetchBuffer(item, 1);
        DefineColumns(record, true);
        fetchBase_ = item;
        oci::sword status = command->FetchPiece();
        while (command->IsPieceRequest(status)) {
            const TOCICommand::TPieceInfo info = command->GetPieceInfo(status);
            const TFieldDesc& field = FieldOfHandle(info.handle);
            TBlob* blob = GetBlob(field.FieldNo, record);
            Check(blob != nullptr, UnitOraClasses, "No blob for a LONG column");
            status = TOCICommand::ReceivePieceInto(*blob, [&](oci::ub4* length, void* data) {
                command->SetPieceInfo(info.handle, oci::OCI_HTYPE_DEFINE, Indicator(record, field.FieldNo), length,
                                      data, info.piece);
                return command->FetchPiece();
            });
        }
        fetched = !command->IsEndOfFetch(status);
        if (fetched) AfterBlockFetch(item, 1, false);
    } catch (...) {
        forget();
        throw;
    }
    if (!fetched) {
        forget();
        return false;
    }
    fetchBase_ = nullptr;
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    AppendFetchedItem(item);
    return true;
}

void TOCIRecordSet::AppendFetchedItem(PItemHeader item) {
    item->Status = usUnmodified;
    item->Result = urNone;
    AppendItem(item);
    // Only rows that pass the filter are counted and numbered.
    if (!OmitRecord(item)) ++recordCount_;
    item->RecordNo = recordCount_ - recordNoOffset_;
}

bool TOCIRecordSet::FetchBlockRows() {
    TOCICommand* command = OCICommand();
    TCommandLock commandLock(*command);
    if (command->Cursor()->State() <= csPrepared) return false;
    TBlockManager& blocks = BlockManager();
    // A block counts its items in 16 bits.
    const auto rows = static_cast<uint16_t>(std::clamp(fetchRows_, 1, 65535));
    PBlockHeader block = nullptr;
    const bool reused = uniDirectional_ && firstItem_ && firstItem_->Block == lastItem_->Block &&
                        firstItem_->Block->ItemCount == rows;
    if (reused) {
        // Only the newest block is kept: its items take the next rows.
        const std::lock_guard<std::recursive_mutex> links(rowsLock_);
        block = firstItem_->Block;
        for (int i = 0; i < rows; ++i) {
            PItemHeader item = blocks.ItemAt(block, i);
            if (item->Check != ItemUsed) continue;
            if (HasComplexFields()) FreeComplexFields(TBlockManager::ItemData(item), true);
            blocks.ReleaseToFreeList(item);
        }
        block->UsedCount = 0;
        firstItem_ = lastItem_ = currentItem_ = nullptr;
    } else {
        block = blocks.AllocBlock(rows);
    }
    PItemHeader first = blocks.ItemAt(block, 0);
    uint8_t* firstRecord = TBlockManager::ItemData(first);
    int fetched = 0;
    try {
        CreateBlockValues(block, rows);
        PrepareFetchBuffer(first, rows);
        DefineColumns(firstRecord, false);
        fetchBase_ = first;
        fetched = command->Fetch(rows);
        if (fetched > 0) AfterBlockFetch(first, fetched);
    } catch (...) {
        fetchBase_ = nullptr;
        FreeBlockValues(block, 0, rows);
        // A reused block's items are on the free list already.
        if (!reused) blocks.FreeBlock(block);
        fetchBuffer_.clear();
        throw;
    }
    fetchBase_ = nullptr;
    if (fetched == 0) {
        FreeBlockValues(block, 0, rows);
        // A reused block's items are on the free list already.
        if (!reused) blocks.FreeBlock(block);
        fetchBuffer_.clear();
        return false;
    }
    FreeBlockValues(block, fetched, rows);
    // A reader on another thread sees the block's rows arrive together.
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    for (int i = 0; i < rows; ++i) {
        PItemHeader item = blocks.ItemAt(block, i);
        if (i >= fetched) {
            blocks.ReleaseToFreeList(item);
            continue;
        }
        blocks.UseItem(item);
        AppendFetchedItem(item);
    }
    return true;
}

bool TOCIRecordSet::GetNull(int fieldNo, const void* record) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (field.ParentField) return TData::GetNull(fieldNo, record);
    // An object's null state lives in its instance, and changes when its attributes are set.
    if (IsObjectDataType(field.DataType))
        if (TOraObject* object = ObjectOf(field, record)) return object->IsNull();
    return *Indicator(record, fieldNo) == -1;
}

void TOCIRecordSet::SetNull(int fieldNo, void* record, bool isNull) {
    const TFieldDesc& field = FieldAt(fieldNo);
    if (field.ParentField) {
        TData::SetNull(fieldNo, record, isNull);
        return;
    }
    *Indicator(record, fieldNo) = isNull ? -1 : 0;
    if (IsObjectDataType(field.DataType))
        if (TOraObject* object = ObjectOf(field, record)) object->SetNull(isNull);
    if (isNull && GetBlobTypes().Contains(field.DataType))
        if (TBlob* blob = GetBlob(fieldNo, record)) blob->Clear();
}

void TOCIRecordSet::GetDateFromBuf(const void* source, void* dest, int format) {
    const auto* date = static_cast<const uint8_t*>(source);
    if (format == 0)
        *static_cast<double*>(dest) = OraDateToMSecs(date);
    else
        *static_cast<platform::TDateTime*>(dest) = OraDateToDateTime(date);
}

void TOCIRecordSet::PutDateToBuf(void* dest, const void* source, int format) {
    auto* date = static_cast<uint8_t*>(dest);
    if (format == 0)
        MSecsToOraDate(date, *static_cast<const double*>(source));
    else
        DateTimeToOraDate(date, *static_cast<const platform::TDateTime*>(source));
}

TDataTypeSet TOCIRecordSet::GetBlobTypes() const { return {dtBlob, dtMemo, dtOraBlob, dtOraClob, dtBFile, dtCFile}; }

TOraObject* TOCIRecordSet::ObjectOf(const TFieldDesc& field, const void* record) const {
    return GetReference<TOraObject>(FieldData(record, field));
}

TOraCursor* TOCIRecordSet::CursorOf(const TFieldDesc& field, const void* record) const {
    return GetReference<TOraCursor>(FieldData(record, field));
}

// The row's value of an object, collection or REF column after a fetch: an object takes the
// instance the client left in its slot; a REF takes the REF and, when it is set, its object
// is pinned. The field's indicator follows the value.
void TOCIRecordSet::TakeObjectValue(const TFieldDesc& field, void* record, void* fetched) {
    TOraObject* object = ObjectOf(field, record);
    if (object == nullptr) return;
    if (field.DataType == dtReference) {
        auto* ref = static_cast<TOraRef*>(object);
        ref->TakeFetchedRef(static_cast<oci::OCIRef*>(fetched));
        if (!ref->RefIsNull()) ref->Refresh();
    } else {
        object->TakeFetchedInstance(fetched);
    }
    *Indicator(record, field.FieldNo) = object->IsNull() ? -1 : 0;
}

void TOCIRecordSet::CreateComplexFields(void* record, bool withBlobs) {
    TOCICommand* command = OCICommand();
    for (int i = 0; i < FieldCount(); ++i) {
        const TFieldDesc& field = *Fields().Items(i);
        if (field.ParentField) continue;
        uint8_t* slot = FieldData(record, field);
        if (IsObjectDataType(field.DataType)) {
            TOraObject* object = NewOraObject(field.DataType, dynamic_cast<TOraType*>(field.ObjectType()));
            PutReference(slot, object);
            object->SetSvcCtx(connection_->GetSvcCtx());
            // A REF gets its value from the client; the others an instance to be filled.
            if (field.DataType != dtReference) object->AllocObject();
            // A new row's object is null until an attribute gets a value (a fetch overwrites it).
            if (field.DataType == dtObject) object->SetNull(true);
            continue;
        }
        if (field.DataType == dtCursor) {
            auto* cursor = NewShared<TOraCursor>();
            cursor->SetOCIVersion(command->OCIVersion());
            PutReference(slot, cursor);
            continue;
        }
        if (!withBlobs) continue;
        if (field.DataType == dtBlob || field.DataType == dtMemo) {
            PutReference(slot, NewShared<TBlob>());
        } else if (IsLobField(field)) {
            const bool file = field.DataType == dtBFile || field.DataType == dtCFile;
            TOraLob* lob = file ? NewShared<TOraFile>(connection_->GetSvcCtx()) : NewShared<TOraLob>(connection_->GetSvcCtx());
            PutReference(slot, static_cast<TBlob*>(lob));
            lob->AllocLob();
            lob->SetCached(command->CacheLobs());
        }
    }
}

void TOCIRecordSet::FreeComplexFields(void* record, bool withBlobs) {
    for (int i = 0; i < FieldCount(); ++i) {
        const TFieldDesc& field = *Fields().Items(i);
        if (field.ParentField) continue;
        uint8_t* slot = FieldData(record, field);
        if (field.DataType == dtCursor) {
            ReleaseObject(GetReference<TOraCursor>(slot));
            PutReference<TOraCursor>(slot, nullptr);
            continue;
        }
        if (!IsObjectDataType(field.DataType)) continue;
        ReleaseObject(GetReference<TOraObject>(slot));
        PutReference<TOraObject>(slot, nullptr);
    }
    TQdRecordSet::FreeComplexFields(record, withBlobs);
}

// An edited copy of a record holds its own objects with the original's contents.
void TOCIRecordSet::CopyComplexFields(const void* source, void* dest, bool withBlobs) {
    TQdRecordSet::CopyComplexFields(source, dest, withBlobs);
    for (int i = 0; i < FieldCount(); ++i) {
        const TFieldDesc& field = *Fields().Items(i);
        if (!field.ParentField && field.DataType == dtCursor) {
            // A cursor can't be copied: the copy shares it, so an edited row keeps its rows.
            TOraCursor* from = CursorOf(field, source);
            TOraCursor* to = CursorOf(field, dest);
            if (from == to) continue;
            if (from) from->AddRef();
            ReleaseObject(to);
            PutReference(FieldData(dest, field), from);
            continue;
        }
        if (field.ParentField || !IsObjectDataType(field.DataType)) continue;
        TOraObject* from = ObjectOf(field, source);
        TOraObject* to = ObjectOf(field, dest);
        if (from && to && from != to && !(field.DataType != dtReference && from->Instance() == nullptr))
            to->AssignObject(from);
    }
}

TDataTypeSet TOCIRecordSet::GetComplexTypes() const {
    return {dtBlob, dtMemo, dtObject, dtReference, dtArray, dtTable, dtCursor, dtOraBlob, dtOraClob, dtBFile, dtCFile};
}

void TOCIRecordSet::FetchAllRows() {
    TOCICommand* command = OCICommand();
    // A store that keeps only its newest block cannot be read while it is being refilled.
    if (!command->NonBlocking() || uniDirectional_) {
        FetchAllNow();
        return;
    }
    if (fetchWorker_.Valid()) return;
    if (blockFetch_) blockFetch_(platform::Variant(true));
    platform::TScopeExit after([this] {
        if (blockFetch_) blockFetch_(platform::Variant(false));
    });
    if (!connection_->ThreadSafety()) RaiseLibraryError("Session must be Thread Safety");
    // The rows of a running open come first.
    WaitForBackground();
    // Back with the next block.
    RunInBackground(fetchWorker_, fetchRunning_, run_, [this] { FetchAllBody(); },
                    [this](bool success) { EndFetchAll(success); });
}

void TOCIRecordSet::FetchAllNow() {
    WaitForBackground();
    if (blockFetch_) blockFetch_(platform::Variant(true));
    platform::TScopeExit after([this] {
        if (blockFetch_) blockFetch_(platform::Variant(false));
    });
    if (FetchToEnd(false)) allFetched_ = true;
}

bool TOCIRecordSet::FetchToEnd(bool inBackground) {
    TOCICommand* command = OCICommand();
    TOraCursor* cursor = command->Cursor();
    if (cursor->State() == csInactive || cursor->State() >= csFetchingAll) return false;
    const TCursorState before = cursor->State();
    try {
        command->SetCursorState(csFetchingAll);
        while (!(inBackground && stopping_) && FetchNext())
            if (inBackground) fetchSignal_.Pulse();
        // A stopped fetch can go on later.
        if (inBackground && stopping_ && command->Cursor()->State() == csFetchingAll) {
            command->SetCursorState(before);
            return false;
        }
    } catch (...) {
        if (cursor->State() != csInactive) command->SetCursorState(before);
        throw;
    }
    return true;
}

void TOCIRecordSet::FetchAllBody() {
    platform::TScopeExit done([this] {
        fetchRunning_ = false;
        fetchSignal_.Set();
    });
    FetchToEnd(true);
}

void TOCIRecordSet::EndFetchAll(bool success) {
    fetchWorker_.Reset();
    if (OCICommand()->Cursor()->State() == csFetched || OCICommand()->Cursor()->State() == csInactive)
        allFetched_ = true;
    if (afterFetchAll_) afterFetchAll_(platform::Variant(success));
}

void TOCIRecordSet::SetToEnd() {
    // Rows that come in the background arrive first; the rest is fetched here.
    WaitForBackground();
    while (!openFailed_ && OCICommand()->Cursor()->State() < csFetched &&
           OCICommand()->Cursor()->State() != csInactive)
        FetchAllNow();
    const TNavigation navigation(navigating_);
    const std::lock_guard<std::recursive_mutex> links(rowsLock_);
    TQdRecordSet::SetToEnd();
}

void TOCIRecordSet::FreeForeignCursor() {
    TOCICommand* command = OCICommand();
    platform::TScopeExit forget([&] {
        command->SetCursor(nullptr);
        fetchCursor_ = nullptr;
    });
    if (command->Cursor()->State() != csInactive) command->CloseCursor();
}

void TOCIRecordSet::InternalClose() {
    StopBackgroundWork();
    TOCICommand* command = OCICommand();
    if (command->Cursor() != command->ownCursor_) FreeForeignCursor();
    if (command->Cursor()->State() > csPrepared) command->Cursor()->SetState(csPrepared);
    fetchBuffer_.clear();
}

void TOCIRecordSet::InternalUnprepare() {
    TOCICommand* command = OCICommand();
    if (command->Cursor() != command->ownCursor_) FreeForeignCursor();
    if (command->Cursor()->State() != csInactive) command->CloseCursor();
}

void TOCIRecordSet::Reopen() {
    StopBackgroundWork();
    TOCICommand* command = OCICommand();
    if (command->Cursor()->State() == csInactive) {
        Close();
        Open();
    } else if (command->Cursor() == command->ownCursor_) {
        FreeData();
        InitData();
        InternalOpen();
    } else {
        if (command->SQLType() == 0) RaiseLibraryError("Reopen is not allowed");
        Close();
        Open();
    }
}

}  // namespace oracle
