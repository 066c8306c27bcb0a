// TOCIRecordSet: the Oracle back-end record set. It describes the select list of its
// command into field descriptors and fetches FetchRows rows per client call straight
// into the record blocks of the record list: each column is defined as an array whose
// stride is the item size, so no copying follows the fetch. Every record ends with one
// 16-bit indicator per field (-1 null, 0 value present).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "oracle/core/QdAccess.h"
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
    // Thread of a non-blocking open.
    platform::THandleOwner worker_;
    // The end report of a background open finds out through this whether the record set lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace oracle
