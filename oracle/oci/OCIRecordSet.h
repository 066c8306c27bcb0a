// TOCIRecordSet: the Oracle back-end record set. It describes the select list of its
// command into field descriptors and fetches FetchRows rows per client call straight
// into the record blocks of the record list: each column is defined as an array whose
// stride is the item size, so no copying follows the fetch. Every record ends with one
// 16-bit indicator per field (-1 null, 0 value present).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "oracle/core/QdAccess.h"
#include "oracle/oci/FetchSignal.h"
#include "oracle/oci/OCICommand.h"
#include "platform/TextFile.h"

namespace oracle {

class TOCIConnection;
class TOraObject;

// Property identifiers the Oracle record set adds.
inline constexpr int prKeepPrepared = 54;
inline constexpr int prAutoClose = 55;
inline constexpr int prDeferredLobRead = 61;

class TOCIRecordSet : public TQdRecordSet {
public:
    TOCIRecordSet();
    ~TOCIRecordSet() override;

    void SetCommand(std::unique_ptr<TQdCommand> command) override;
    void ExecCommand() override;
    void FetchAllRows() override;
    bool CursorReady() override { return CursorReadyNow(); }
    void SetConnection(TQdConnection* connection) override;
    bool SetProp(int id, const platform::Variant& value) override;
    bool GetProp(int id, platform::Variant& value) override;
    bool Fetch() override;

    bool GetNull(int fieldNo, const void* record) override;
    void SetNull(int fieldNo, void* record, bool isNull) override;
    void GetDateFromBuf(const void* source, void* dest, int format) override;
    void PutDateToBuf(void* dest, const void* source, int format) override;
    TDataTypeSet GetBlobTypes() const override;
    TDataTypeSet GetComplexTypes() const override;
    void CreateComplexFields(void* record, bool withBlobs) override;
    void FreeComplexFields(void* record, bool withBlobs) override;
    void CopyComplexFields(const void* source, void* dest, bool withBlobs) override;
    void SetToEnd() override;
    void Reopen() override;
    // While a background open runs the store reads as empty; while a background fetch of
    // all rows runs, a reader at the last row fetched waits for the next block first.
    bool Eof() const override;
    // A reader that reaches the last row fetched while rows come in the background waits
    // for the next block (or the end of the work) instead of fetching itself.
    void GetNextRecord(void* dest) override;
    void GetPriorRecord(void* dest) override;
    void GetRecord(void* dest) override;
    int GetRecordCount() override;

    // Returns once a thread waits for the rows of background work, or when the time (ms) has
    // passed; answers whether one waits. Tests hold the work with it until a reader waits.
    bool AwaitWaitingReader(DWORD milliseconds) const { return fetchSignal_.AwaitWaiter(milliseconds); }

    TOCICommand* OCICommand();
    TOCIConnection* OCIConnection() const { return connection_; }
    bool AutoClose() const { return autoClose_; }

protected:
    void CreateCommand() override;
    void InternalPrepare() override;
    void InternalUnprepare() override;
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFields() override;
    int GetIndicatorSize() const override { return 2 * FieldCount(); }

private:
    // The cursor rows come from: the command's own, or the first cursor parameter of a
    // PL/SQL block.
    TOraCursor* FetchCursorOf();
    bool CursorReadyNow();
    void OpenBody();
    void EndOpen(bool success);
    // One block (or row) from the cursor on the calling thread.
    bool FetchNext();
    // Fetches until the end on the calling thread.
    void FetchAllNow();
    void FetchAllBody();
    // Fetches block after block in the fetch-all state, which a failure gives back; in the
    // background it pulses the fetch signal after each block and stops early (the cursor
    // back in its state, to go on later) when the work is being stopped. Answers whether
    // it fetched to the end.
    bool FetchToEnd(bool inBackground);
    void EndFetchAll(bool success);
    bool BackgroundRunning() const { return openRunning_ || fetchRunning_; }
    // Returns once neither a background open nor a background fetch of all rows runs.
    void WaitForBackground() const;
    // Stops the background work (a running call interrupted) and waits for its threads; its
    // pending end reports are dropped.
    void StopBackgroundWork();
    void JoinWorker(platform::THandleOwner& worker);
    // Runs background work; a failure after StopBackgroundWork began (the interrupted call's
    // among them) is dropped.
    void UnlessStopped(const std::function<void()>& work);
    // Starts body on a worker of the connection and waits for the worker's first pulse; end
    // gets the run's outcome unless the run was stopped or overtaken meanwhile.
    void RunInBackground(platform::THandleOwner& worker, std::atomic<bool>& running, uint32_t run,
                         std::function<void()> body, std::function<void(bool)> end);
    bool FetchBlockRows();
    static bool IsLongString(const TFieldDesc& field) { return field.SubDataType == 1; }
    static bool IsLobField(const TFieldDesc& field);
    // Bytes a field takes in a row of the fetch buffer (0: the field is defined into the record).
    int FetchBufferBytes(const TFieldDesc& field) const;
    // emptyIsNull: a LOB of size 0 reads as null (rows of a block; a row fetched alone keeps
    // its indicator).
    void ReadLobValues(void* record, bool emptyIsNull);
    TOraObject* ObjectOf(const TFieldDesc& field, const void* record) const;
    // The cursor value of a CURSOR(subquery) column in a record.
    TOraCursor* CursorOf(const TFieldDesc& field, const void* record) const;
    void TakeObjectValue(const TFieldDesc& field, void* record, void* fetched);
    // LONG and LONG RAW columns: delivered piece by piece into the blob of their row.
    bool IsLongColumn(const TFieldDesc& field) const;
    void CreateBlockValues(PBlockHeader block, int count);
    void FreeBlockValues(PBlockHeader block, int from, int to);
    void PrepareFetchBuffer(PItemHeader first, int rows);
    void AfterBlockFetch(PItemHeader first, int fetched, bool emptyLobIsNull = true);
    // The record of the row'th item from first (items of a block lie at the item size).
    void* RecordOfRow(PItemHeader first, int row);
    void DefineColumns(uint8_t* firstRecord, bool oneRow);
    bool FetchOneRow();
    // A fetched row's item joins the record list (as unmodified, numbered unless filtered out).
    // Links a fetched row in; the caller holds rowsLock_ (a block links all its rows under one).
    void AppendFetchedItem(PItemHeader item);
    bool NeedsRowFetch();
    // The field a define handle (or a version 7 piece context) stands for.
    TFieldDesc& FieldOfHandle(const void* handle) const;
    static oci::sb4 OCI_CALL LongDefineCallback(void* context, oci::OCIDefine* define, oci::ub4 iteration,
                                                void** buffer, oci::ub4** length, oci::ub1* piece, void** indicator,
                                                oci::ub2** returnCode);
    void FreeForeignCursor();
    int16_t* Indicator(void* record, int fieldNo) const;
    const int16_t* Indicator(const void* record, int fieldNo) const;

    bool autoClose_ = false;
    bool deferredLobRead_ = false;
    TOraCursor* fetchCursor_ = nullptr;
    TOCIConnection* connection_ = nullptr;
    // Text buffers of the long string columns of one block: a row of them per item.
    std::vector<uint8_t> fetchBuffer_;
    int bytesPerRow_ = 0;
    // Item the rows of the running block fetch start at (the LONG callback finds its row from it).
    PItemHeader fetchBase_ = nullptr;
    // Rows come one per client call (see NeedsRowFetch).
    bool rowFetch_ = false;
    // Thread of a non-blocking open, and of a non-blocking fetch of all rows.
    platform::THandleOwner worker_;
    platform::THandleOwner fetchWorker_;
    // Guards the links of the record list (and its count and current item) while a worker
    // appends rows that the owner reads.
    mutable std::recursive_mutex rowsLock_;
    // Pulsed when background work starts and after each block it fetches; set when it ends.
    mutable TFetchSignal fetchSignal_;
    std::atomic<bool> openRunning_{false};
    // The last background open failed: its cursor has no rows to fetch.
    std::atomic<bool> openFailed_{false};
    std::atomic<bool> fetchRunning_{false};
    std::atomic<bool> stopping_{false};
    // Counts the background runs; an end report of a run that is no longer the latest (the
    // store was closed or opened again since) is dropped.
    uint32_t run_ = 0;
    // The owner is inside one of the store's moves (Eof then answers without waiting).
    bool navigating_ = false;
    // The end report of a background open finds out through this whether the record set lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace oracle
