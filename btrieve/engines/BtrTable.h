// TBtrTable: the cursor of the Btrieve engine, one open Btrieve file seen through the
// engine-neutral cursor. It maps moves, key searches, bookmarks, writes, locks, counts
// and index work onto its TWinBtr; index descriptions come from the file's own key
// specifications. The database opens it; the dictionary list cursors derive from it.
#pragma once

#include <array>
#include <memory>

#include "btrieve/engines/BtrBaseTable.h"
#include "btrieve/engines/WinBtr.h"

namespace btrieve {

// Size of the FILE.DDF record a cursor keeps of its table.
constexpr uint16_t kFileDdfRecordSize = 97;
namespace fileddf {
constexpr size_t Id = 0, Name = 2, NameSize = 20, Loc = 22, LocSize = 64, Flags = 86;
constexpr uint8_t SystemTable = 0x10;
}

class TBtrTable : public TBtrBaseTable {
public:
    static constexpr uint16_t kBookmarkSize = 260;

    TBtrTable(TBapiListItem* database, const uint8_t* clientId, int32_t shareMode, int32_t openMode,
              const char* tableName, TQuillonCollection* collection);
    ~TBtrTable() override;

    TWinBtr& File() { return *file_; }
    bool AcsActive() const { return acsActive_; }

    void AfterCreate() override;
    void BeforeDestroy() override;
    uint16_t GetExtraBufSize() const override { return kFileDdfRecordSize; }
    uint8_t* GetRecBuf() const override;
    void SetRecBuf(uint8_t* record) override;
    uint16_t GetRecordSize() const override;
    uint16_t GetBookmarkSize() const override { return kBookmarkSize; }

    void PhysFirst() override { file_->GetFirst(); }
    void PhysLast() override { file_->GetLast(); }
    void PhysNext() override { file_->GetNext(); }
    void PhysPrior() override { file_->GetPrior(); }
    int CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                           bool caseInsensitive, uint16_t length) override;
    void OpenCursor() override;
    void CloseCursor() override;
    // A field descriptor from a FIELD.DDF record: its local type is its Btrieve type.
    void DescFromDictRecord(uint16_t fieldNumber, const uint8_t* record, uint16_t& localSize, uint16_t& localType,
                            TEngineFieldDesc& desc);
    void GetBookMark(void* bookmark) override;
    bool HoldsPlaceOnFailedMove() override;
    void SetToBookMark(const void* bookmark) override;
    void ReadAtBookmark(const void* bookmark, uint8_t* record, int lock) override;
    void GetRecordForKey(bool directKey, uint16_t fieldCount, uint16_t partialLength, const void* key,
                         uint8_t* record) override;
    void AcqTableLock(int lock) override;
    void RelTableLock(int lock) override;
    void ReleaseLockPrim(bool all) override { file_->Unlock(); }
    void InsertRecord(int lock, uint8_t* record) override;
    void ModifyRecord(uint8_t* record, bool releaseLock) override;
    void DeleteRecord(uint8_t* record) override;
    void GetSeqNo(uint32_t& number) override;
    void SetToSeqNo(uint32_t number) override;
    void GetCursorProps(TCursorProps& props) override;
    void GetRecordCount(uint32_t& count) override;
    void GetPhysPosition(uint32_t& position) override { position = file_->GetPosition(); }
    void SetToPhysPosition(uint32_t position) override {
        file_->GetDirectOwn(position);
        SetState(cursorstate::OnRecord);
    }
    void IndexForFields(const char* fieldList, uint16_t& indexNumber, char* indexName) override;
    void SwitchToIndex(const char* indexName, const char* tagName, uint16_t indexNumber, bool keepPosition) override;
    void KeySearch(int searchCondition, bool keyItself, uint8_t* record, const void* key, uint16_t partialLength,
                   uint16_t fieldCount) override;
    void ExtractKeyRaw(const uint8_t* record, void* key, uint16_t& keyLength, uint16_t partialLength,
                       uint16_t fieldCount) override;
    void GetIndexDesc(uint16_t indexNumber, TEngineIndexDesc& desc) override;
    void AddIndex(const TEngineIndexDesc& desc) override;
    void DeleteIndex(const char* indexName, const char* tagName, uint16_t indexNumber) override;
    void SetLockMode(int mode) override;
    uint32_t GetDataBufferSize() override { return static_cast<uint32_t>(file_->BufferSize()); }
    void SetDataLength(uint32_t length) override { file_->SetPendingLength(length); }

    virtual void CheckPartialKey(int operation, uint16_t fieldCount, const uint8_t* record, const uint8_t* searchedKey,
                                 uint16_t partialLength);
    void SwitchToKey(int keyNumber);
    void BuildIndexDesc(int keyNumber, TEngineIndexDesc& desc, std::array<TKeyPart, 64>& keyParts);
    // The field layout after the field definitions are loaded: record length and blobs.
    void ComputeLayout();

protected:
    void FillKeyLimits(uint8_t* key, uint16_t fieldCount, bool upward);
    uint16_t CurrentKeyLength() const;

private:
    static int OperationOfCondition(int condition);
    void TranslateAcs(uint8_t* bytes, size_t length, bool lstring) const;

    std::unique_ptr<TWinBtr> file_;
    bool acsActive_ = false;
    uint8_t acsTable_[kAcsSize] = {};
    bool holdsTableLock_ = false;
    std::array<uint16_t, 64> rawPositions_{};  // a key part not matching a field: its position
    std::array<uint8_t, 64> partTypes_{};      // Btrieve type of each key part
};

}  // namespace btrieve
