// TWinBtr: one Btrieve file as the engine sees it. It owns the file's position block,
// key buffer, data buffer and specification (stat) buffer and wraps each Btrieve
// operation the engine uses in one method that raises EBtrieveEngineError on a non-zero
// status (status 9 as the end-of-file boundary). The database and the cursors make one
// per open file, plus short-lived ones for directories, transactions and Stop.
#pragma once

#include <cstdint>
#include <vector>

#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/BtrieveEngineError.h"

namespace btrieve {

class TWinBtr {
public:
    // Without a client identifier every call goes through the plain entry point.
    explicit TWinBtr(const uint8_t* clientId = nullptr);
    ~TWinBtr();
    TWinBtr(const TWinBtr&) = delete;
    TWinBtr& operator=(const TWinBtr&) = delete;

    void AllocDataBuffer(uint32_t size);
    void FreeDataBuffer();
    // The buffer serves the next call only.
    void UseBuffer(uint8_t* buffer);
    uint8_t* DataBuffer() { return dataBuffer_.empty() ? nullptr : dataBuffer_.data(); }
    uint8_t* CurrentBuffer() const { return currentBuffer_; }
    int32_t BufferSize() const { return bufferSize_; }
    uint32_t DataLength() const { return dataLength_; }

    int16_t Status() const;
    bool StatusOk() const { return Status() == 0; }
    void SetAcceptShortBuffer(bool accept) { acceptShortBuffer_ = accept; }
    void SetPendingLength(uint32_t length) { pendingLength_ = length; }
    uint32_t TakePendingLength();

    void Call(uint16_t operation);
    void CallRaw(uint16_t operation, void* dataBuffer, uint32_t length);

    void Open(const char* fileName, const char* ownerName, int8_t openMode);
    void Close();
    bool IsOpen() const { return isOpen_; }
    bool StepMode() const { return stepMode_; }

    void GetFirst();
    void GetLast();
    void GetNext();
    void GetPrior();
    void ClearKey(int length);
    void KeyCall(uint16_t operation, const void* keyValue, int8_t keyNumber, uint32_t keyLength);
    void GetEqual(const void* keyValue, uint32_t keyLength, int8_t keyNumber) {
        KeyCall(OpGetEqual, keyValue, keyNumber, keyLength);
    }
    void Insert() { Call(OpInsert); }
    void Delete() { Call(OpDelete); }
    void Update();
    void ClearLockBias() { lockBias_ = 0; }
    void LockNextRead() { lockBias_ = kSingleNoWaitLockBias; }
    void Unlock();
    uint32_t LockPosition() const { return lockPosition_; }
    uint32_t GetPosition();
    void GetDirect(uint32_t position);
    void GetDirectOwn(uint32_t position);

    void Stat();
    void CopyStat(uint8_t* destination);
    const uint8_t* StatBuffer() const { return statBuffer_; }
    uint32_t RecordLength();
    uint32_t PageSize();
    uint32_t RecordCount();
    uint32_t KeyCount();
    uint32_t SafeRecordCount();
    uint32_t SafeKeyCount();
    bool KeyUsesAcs() const;
    void GetKeyAcs(uint8_t* destination);

    void BeginTran(bool concurrent);
    void EndTran() { Call(OpEndTransaction); }
    void AbortTran() { Call(OpAbortTransaction); }
    void AddIndex(const void* keySpecs, uint32_t segmentCount, int keyNumber);
    void DropIndex(int keyNumber);
    void FindPercentage(bool byKey, uint32_t& value);
    void GetByPercentage(bool byKey, uint32_t value);
    void CreateLike(const char* fileName);
    // Creates (or replaces) a file from a file specification.
    void Create(const char* fileName, const void* specification, uint32_t length);
    // Gives the open file an owner name (at most 8 characters); access mode 0 asks for
    // the name on every open.
    void SetOwner(const char* ownerName, int8_t accessMode);
    void Stop();
    void SetDirectory(const char* path);
    void GetDirectory(int length);

    int8_t KeyNumber() const { return keyNumber_; }
    void SetKeyNumber(int8_t keyNumber) { keyNumber_ = keyNumber; }
    uint8_t* KeyBuffer() { return keyBuffer_; }
    const uint8_t* KeyBuffer() const { return keyBuffer_; }

private:
    int16_t ClientCall(uint16_t operation, void* dataBuffer, uint32_t* dataLength, void* keyBuffer,
                       uint8_t keyLength, int8_t keyNumber);
    // A value of the specification header, read with Stat while it is still 0.
    uint16_t SpecificationValue(uint16_t FileSpecHeader::*field);
    // Index of the first segment specification of that key in the stat buffer; -1 when none.
    static int FirstSegmentOfKey(const uint8_t* spec, size_t size, int keyNumber);

    int16_t status_ = 0;
    int32_t bufferSize_ = 0;
    uint32_t pendingLength_ = 0;
    uint32_t dataLength_ = 0;
    std::vector<uint8_t> dataBuffer_;
    uint8_t* currentBuffer_ = nullptr;
    bool isOpen_ = false;
    uint8_t keyBuffer_[kKeyBufferSize] = {};
    uint8_t positionBlock_[kPositionBlockSize] = {};
    uint8_t statBuffer_[kStatBufferSize] = {};
    int8_t keyNumber_ = 0;
    uint16_t lockBias_ = 0;
    uint32_t lockPosition_ = 0;
    bool stepMode_ = false;
    bool acceptShortBuffer_ = false;
    uint8_t clientId_[kClientIdSize] = {};
    bool useClientId_ = false;
};

}  // namespace btrieve
