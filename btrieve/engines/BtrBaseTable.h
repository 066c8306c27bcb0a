// TBtrBaseTable: what the Btrieve cursors of both engines share on top of the
// engine-neutral cursor: the ";OWNER:" and ";RES:" suffixes of table names, the index
// names, value conversion of fields by their Btrieve type, comparisons of Btrieve
// values, blob fields kept as text inside fixed-length fields, and cloning.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "btrieve/base/BaseTable.h"
#include "platform/Streams.h"

namespace btrieve {

class TBtrBaseTable : public TBaseTable {
public:
    static constexpr int kMaxBlobs = 16;

    TBtrBaseTable(TBapiListItem* database, const uint8_t* clientId, int32_t shareMode, int32_t openMode,
                  const char* tableName, TQuillonCollection* collection);
    ~TBtrBaseTable() override;

    const uint8_t* ClientId() const { return clientId_; }
    const AnsiString& OwnerName() const { return ownerName_; }
    bool HasResourceDef() const { return hasResourceDef_; }
    void SetHasResourceDef(bool value) { hasResourceDef_ = value; }
    const AnsiString& ResourceName() const { return resourceName_; }
    bool NameHasResource() const { return nameHasResource_; }

    // Index names by key number; an empty entry has no name.
    std::vector<AnsiString>& IndexNames() { return indexNames_; }
    int IndexNameNumber(const AnsiString& name) const;
    void SetIndexName(int keyNumber, const AnsiString& name);

    virtual uint32_t GetDataBufferSize() { return 0; }
    virtual void SetDataLength(uint32_t length) {}
    virtual void ShortenRecord(uint8_t* record, TFieldCacheItem& item, uint32_t usedLength);

    void SetTableName(const char* name) override;
    // The dataset layer sets the update mode (property 0x4050000) on every cursor of a
    // database that is not of type "STANDARD", which a Btrieve database never is; the
    // cursor accepts it and ignores it. Its own read-only properties stay refused.
    void CheckPropWritable(uint32_t id, bool raise) override {
        if (id != kUpdateModeProp) TBaseTable::CheckPropWritable(id, raise);
    }
    static constexpr uint32_t kUpdateModeProp = 0x4050000;
    void FieldToPhysical(uint16_t localType, uint16_t localSize, uint8_t* fieldData, const void* value,
                         uint16_t fieldLength, int16_t units) override;
    int CompareFieldValues(uint16_t type, TFieldCacheItem* item, const void* value2, const void* value1,
                           bool caseInsensitive, uint16_t length) override;
    void GetFieldValue(TFieldCacheItem& item, uint8_t* record, bool& blank, void* value) override;
    void PutFieldValue(TFieldCacheItem& item, const void* value) override;
    void CloneCursor(bool readOnly, bool unidirectional, TBaseTable*& cursor) override;
    const void* BookmarkToKey(const void* bookmark) override { return static_cast<const uint8_t*>(bookmark) + 4; }
    void CompareBookMarks(const void* bookmark1, const void* bookmark2, int32_t& result) override;

    // Blob fields: memos are text inside their field, binary and graphic blobs are kept
    // there in the blob text form. Registered when the field layout is computed.
    void RegisterBlobs();
    int BlobCount() const { return blobCount_; }
    void OpenBlob(uint8_t* record, uint16_t field, int openMode) override;
    void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) override;
    void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* destination,
                 uint32_t& bytesRead) override;
    void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, const void* source) override;
    // Cuts the blob to its first `length` bytes (a longer length leaves it as it is).
    void TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) override;
    void FreeBlob(uint8_t* record, uint16_t field) override;
    // Writes changed blobs into their fields before the record goes to the engine.
    void PrepareBlobs(uint8_t* record);
    // Registers the table of a newly created file in FILE.DDF and FIELD.DDF.
    void CreatePhysical(const char* name, bool overwrite) override;

protected:
    struct TBlobSlot {
        int32_t fieldNumber = 0;
        bool changed = false;
        std::unique_ptr<platform::TMemoryStream> stream;
    };
    TBlobSlot& SlotOf(uint16_t field, uint8_t* record, TFieldCacheItem*& item);
    bool IsLastField(const TFieldCacheItem& item);
    // Decodes the stored bytes of a binary or graphic blob into its stream, unless the
    // stream holds them or the blob's changes already: a read starts from them, and so
    // does a change that keeps part of them (a write at an offset, a truncation), which
    // would otherwise post only the changed part.
    void LoadStoredBlob(uint8_t* record, uint16_t field, TBlobSlot& slot);

private:
    const uint8_t* clientId_;
    int blobCount_ = 0;
    std::array<TBlobSlot, kMaxBlobs> blobSlots_;
    AnsiString ownerName_;
    bool hasResourceDef_ = false;
    bool nameHasResource_ = false;
    AnsiString resourceName_;
    std::vector<AnsiString> indexNames_;
};

}  // namespace btrieve
