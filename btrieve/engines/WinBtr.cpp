#include "btrieve/engines/WinBtr.h"

#include <algorithm>
#include <cstring>

#include "btrieve/engines/BtrieveClient.h"

namespace btrieve {

namespace {

constexpr size_t kSpecHeaderSize = sizeof(FileSpecHeader);
constexpr size_t kSegmentSize = sizeof(KeySegmentSpec);

uint16_t SegmentFlags(const uint8_t* spec, int index) {
    uint16_t flags;
    std::memcpy(&flags, spec + kSpecHeaderSize + index * kSegmentSize + 4, sizeof flags);
    return flags;
}

}  // namespace

TWinBtr::TWinBtr(const uint8_t* clientId) {
    useClientId_ = clientId != nullptr;
    if (clientId) std::memcpy(clientId_, clientId, kClientIdSize);
}

TWinBtr::~TWinBtr() {
    if (isOpen_) {
        try {
            Close();
        } catch (...) {
        }
    }
}

int16_t TWinBtr::ClientCall(uint16_t operation, void* dataBuffer, uint32_t* dataLength, void* keyBuffer,
                            uint8_t keyLength, int8_t keyNumber) {
    return CallBtrieve(operation, positionBlock_, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber,
                       useClientId_ ? clientId_ : nullptr);
}

void TWinBtr::AllocDataBuffer(uint32_t size) {
    status_ = 0;
    if (static_cast<int32_t>(size) == bufferSize_ && (size == 0 || !dataBuffer_.empty())) return;
    dataBuffer_.assign(size, 0);
    bufferSize_ = static_cast<int32_t>(size);
    pendingLength_ = size;
    currentBuffer_ = DataBuffer();
}

void TWinBtr::FreeDataBuffer() {
    dataBuffer_.clear();
    dataBuffer_.shrink_to_fit();
    currentBuffer_ = nullptr;
    bufferSize_ = 0;
}

void TWinBtr::UseBuffer(uint8_t* buffer) {
    if (buffer) currentBuffer_ = buffer;
}

int16_t TWinBtr::Status() const {
    if (status_ == StatusDataBufferTooShort && acceptShortBuffer_) return 0;
    return status_;
}

uint32_t TWinBtr::TakePendingLength() {
    const uint32_t length = pendingLength_;
    pendingLength_ = static_cast<uint32_t>(bufferSize_);
    return length;
}

void TWinBtr::Call(uint16_t operation) {
    uint32_t length = operation == OpInsert || operation == OpUpdate ? TakePendingLength()
                                                                     : static_cast<uint32_t>(bufferSize_);
    bool biased = false;
    if (lockBias_ != 0) {
        operation = static_cast<uint16_t>(operation + lockBias_);
        lockBias_ = 0;
        biased = true;
    }
    dataLength_ = length;
    status_ = ClientCall(operation, currentBuffer_, &dataLength_, keyBuffer_, kMaxKeyLength, keyNumber_);
    if (!StatusOk()) {
        // A caller's buffer serves one call only, failed or not: the caller may free it.
        currentBuffer_ = DataBuffer();
        RaiseBtrieveError(status_);
    }
    if (currentBuffer_ && dataLength_ < static_cast<uint32_t>(bufferSize_))
        std::memset(currentBuffer_ + dataLength_, 0, bufferSize_ - dataLength_);
    currentBuffer_ = DataBuffer();
    if (biased) lockPosition_ = GetPosition();
}

void TWinBtr::CallRaw(uint16_t operation, void* dataBuffer, uint32_t length) {
    dataLength_ = length;
    status_ = ClientCall(operation, dataBuffer, &dataLength_, keyBuffer_, kMaxKeyLength, keyNumber_);
    if (!StatusOk()) RaiseBtrieveError(status_);
}

void TWinBtr::Open(const char* fileName, const char* ownerName, int8_t openMode) {
    if (isOpen_) Close();
    const AnsiString name(fileName ? fileName : "");
    // The name goes into the 256-byte key buffer: a longer one would overrun it.
    if (name.size() > kMaxKeyLength) RaiseBtrieveKeyError(StatusKeyLengthError, name.substr(0, 255));
    AnsiString owner(ownerName ? ownerName : "");
    dataLength_ = owner.empty() ? 0 : static_cast<uint32_t>(owner.size() + 1);
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memcpy(keyBuffer_, name.data(), name.size());
    status_ = ClientCall(OpOpen, owner.data(), &dataLength_, keyBuffer_, kMaxKeyLength, openMode);
    if (status_ != 0) RaiseBtrieveKeyError(status_, name);
    isOpen_ = true;
    keyNumber_ = 0;
    AllocDataBuffer(RecordLength());
    isOpen_ = StatusOk();
    stepMode_ = SafeKeyCount() == 0;
}

void TWinBtr::Close() {
    if (!isOpen_) RaiseBtrieveError(StatusFileNotOpen);
    uint8_t scratch[4] = {};
    CallRaw(OpClose, scratch, sizeof scratch);
    isOpen_ = false;
    FreeDataBuffer();
    std::memset(statBuffer_, 0, sizeof statBuffer_);
}

void TWinBtr::GetFirst() { Call(stepMode_ ? OpStepFirst : OpGetFirst); }
void TWinBtr::GetLast() { Call(stepMode_ ? OpStepLast : OpGetLast); }
void TWinBtr::GetNext() { Call(stepMode_ ? OpStepNext : OpGetNext); }
void TWinBtr::GetPrior() { Call(stepMode_ ? OpStepPrevious : OpGetPrevious); }

void TWinBtr::ClearKey(int length) {
    if (length >= 1 && length <= static_cast<int>(kKeyBufferSize)) std::memset(keyBuffer_, 0, length);
}

void TWinBtr::KeyCall(uint16_t operation, const void* keyValue, int8_t keyNumber, uint32_t keyLength) {
    // Refused before the call: the caller's buffer must not outlive this call either.
    if (!keyValue || keyLength > kKeyBufferSize) currentBuffer_ = DataBuffer();
    if (!keyValue) RaiseBtrieveError(StatusNullKeyBuffer);
    keyNumber_ = keyNumber;
    if (keyLength > kKeyBufferSize) RaiseBtrieveError(StatusKeyLengthError);
    std::memmove(keyBuffer_, keyValue, keyLength);
    Call(operation);
}

void TWinBtr::Update() {
    Call(OpUpdate);
    Unlock();
}

void TWinBtr::Unlock() {
    if (lockPosition_ == 0) return;
    uint32_t position = lockPosition_;
    CallRaw(OpUnlock, &position, sizeof position);
    lockPosition_ = 0;
}

uint32_t TWinBtr::GetPosition() {
    uint32_t position = 0;
    CallRaw(OpGetPosition, &position, sizeof position);
    currentBuffer_ = DataBuffer();
    return position;
}

void TWinBtr::GetDirect(uint32_t position) {
    if (!currentBuffer_ || bufferSize_ < 4) RaiseBtrieveError(StatusDataBufferTooShort);
    std::memcpy(currentBuffer_, &position, sizeof position);
    Call(OpGetDirect);
}

void TWinBtr::GetDirectOwn(uint32_t position) {
    if (dataBuffer_.size() < 4) RaiseBtrieveError(StatusDataBufferTooShort);
    std::memset(dataBuffer_.data(), 0, std::min<size_t>(12, dataBuffer_.size()));
    std::memcpy(dataBuffer_.data(), &position, sizeof position);
    currentBuffer_ = DataBuffer();
    Call(OpGetDirect);
}

void TWinBtr::Stat() {
    const int8_t savedKey = keyNumber_;
    const bool savedAccept = acceptShortBuffer_;
    keyNumber_ = -1;
    acceptShortBuffer_ = true;
    try {
        CallRaw(OpStat, statBuffer_, kStatBufferSize);
    } catch (...) {
        keyNumber_ = savedKey;
        acceptShortBuffer_ = savedAccept;
        throw;
    }
    keyNumber_ = savedKey;
    acceptShortBuffer_ = savedAccept;
}

void TWinBtr::CopyStat(uint8_t* destination) {
    Stat();
    std::memcpy(destination, statBuffer_, kStatBufferSize);
}

uint16_t TWinBtr::SpecificationValue(uint16_t FileSpecHeader::*field) {
    if (!isOpen_) return 0;
    FileSpecHeader header;
    std::memcpy(&header, statBuffer_, sizeof header);
    if (header.*field == 0) {
        Stat();
        std::memcpy(&header, statBuffer_, sizeof header);
    }
    return header.*field;
}

uint32_t TWinBtr::RecordLength() { return SpecificationValue(&FileSpecHeader::recordLength); }

uint32_t TWinBtr::PageSize() { return SpecificationValue(&FileSpecHeader::pageSize); }

uint32_t TWinBtr::RecordCount() {
    if (!isOpen_) return 0;
    Stat();
    FileSpecHeader header;
    std::memcpy(&header, statBuffer_, sizeof header);
    return header.recordCount;
}

uint32_t TWinBtr::KeyCount() {
    if (!isOpen_) return 0;
    Stat();
    return statBuffer_[4];
}

uint32_t TWinBtr::SafeRecordCount() {
    try {
        return RecordCount();
    } catch (const EBtrieveEngineError&) {
        return 0;
    }
}

uint32_t TWinBtr::SafeKeyCount() {
    try {
        return KeyCount();
    } catch (const EBtrieveEngineError&) {
        return 0;
    }
}

int TWinBtr::FirstSegmentOfKey(const uint8_t* spec, size_t size, int keyNumber) {
    // Specifications are per segment: key n starts after the n keys before it end.
    const int maxSegments = static_cast<int>((size - kSpecHeaderSize) / kSegmentSize);
    int key = 0;
    for (int i = 0; i < maxSegments && key < spec[4]; ++i) {
        if (key == keyNumber) return i;
        if (!(SegmentFlags(spec, i) & KeySegmented)) ++key;
    }
    return -1;
}

bool TWinBtr::KeyUsesAcs() const {
    const int first = FirstSegmentOfKey(statBuffer_, kStatBufferSize, keyNumber_);
    return first >= 0 && (SegmentFlags(statBuffer_, first) & KeyAltCollation) != 0;
}

void TWinBtr::GetKeyAcs(uint8_t* destination) {
    const uint32_t keys = statBuffer_[4];
    std::vector<uint8_t> buffer(keys * kAcsSize + kStatBufferSize, 0);
    CallRaw(OpStat, buffer.data(), static_cast<uint32_t>(buffer.size()));
    const int first = FirstSegmentOfKey(buffer.data(), buffer.size(), keyNumber_);
    if (first < 0) RaiseBtrieveError(StatusInvalidKeyNumber);
    const uint8_t sequence = buffer[kSpecHeaderSize + first * kSegmentSize + 15];
    // The sequences follow the last segment; a specification without an end stays inside.
    size_t offset = kSpecHeaderSize;
    uint32_t keysWalked = 0;
    while (keysWalked < keys && offset + kSegmentSize <= buffer.size()) {
        uint16_t flags;
        std::memcpy(&flags, buffer.data() + offset + 4, sizeof flags);
        if (!(flags & KeySegmented)) ++keysWalked;
        offset += kSegmentSize;
    }
    const size_t from = offset + static_cast<size_t>(sequence) * kAcsSize;
    if (keysWalked < keys || from + kAcsSize > buffer.size()) RaiseBtrieveError(StatusAcsError);
    std::memcpy(destination, buffer.data() + from, kAcsSize);
}

void TWinBtr::BeginTran(bool concurrent) {
    CallRaw(concurrent ? kBeginConcurrentTransaction : static_cast<uint16_t>(OpBeginTransaction), nullptr, 0);
}

void TWinBtr::AddIndex(const void* keySpecs, uint32_t segmentCount, int keyNumber) {
    // The manual key number is an argument of this call only: reads keep their key.
    const int8_t saved = keyNumber_;
    if (keyNumber != 0) keyNumber_ = static_cast<int8_t>(keyNumber | 0x80);
    try {
        CallRaw(OpCreateIndex, const_cast<void*>(keySpecs), static_cast<uint32_t>(kSegmentSize * segmentCount));
    } catch (...) {
        keyNumber_ = saved;
        throw;
    }
    keyNumber_ = saved;
    Stat();
}

void TWinBtr::DropIndex(int keyNumber) {
    const int8_t saved = keyNumber_;
    keyNumber_ = static_cast<int8_t>(keyNumber);
    try {
        Call(OpDropIndex);
    } catch (...) {
        keyNumber_ = saved;
        throw;
    }
    // The keys above the dropped one move down; a dropped current key falls back to key 0.
    keyNumber_ = static_cast<int8_t>(saved == keyNumber ? 0 : saved > keyNumber ? saved - 1 : saved);
    Stat();
}

void TWinBtr::FindPercentage(bool byKey, uint32_t& value) {
    const int8_t saved = keyNumber_;
    try {
        const uint32_t position = GetPosition();
        uint32_t result = 0;
        if (!byKey) {
            result = position;
            keyNumber_ = -1;
        }
        try {
            CallRaw(OpFindPercentage, &result, sizeof result);
        } catch (...) {
            keyNumber_ = saved;
            throw;
        }
        keyNumber_ = saved;
        GetDirect(position);
        value = result;
    } catch (const EBtrieveEngineError&) {
        value = 0;
    }
}

void TWinBtr::GetByPercentage(bool byKey, uint32_t value) {
    const int8_t saved = keyNumber_;
    if (!byKey) keyNumber_ = -1;
    try {
        if (!currentBuffer_ || bufferSize_ < 4) RaiseBtrieveError(StatusDataBufferTooShort);
        std::memcpy(currentBuffer_, &value, sizeof value);
        Call(OpGetByPercentage);
    } catch (...) {
        keyNumber_ = saved;
        throw;
    }
    keyNumber_ = saved;
}

void TWinBtr::CreateLike(const char* fileName) {
    Stat();
    const AnsiString name(fileName ? fileName : "");
    if (name.size() > kMaxKeyLength) RaiseBtrieveKeyError(StatusKeyLengthError, name.substr(0, 255));
    uint8_t key[kKeyBufferSize] = {};
    std::memcpy(key, name.data(), name.size());
    dataLength_ = kStatBufferSize;
    status_ = ClientCall(OpCreate, statBuffer_, &dataLength_, key, kMaxKeyLength, 0);
    if (status_ != 0) RaiseBtrieveError(status_);
}

void TWinBtr::Create(const char* fileName, const void* specification, uint32_t length) {
    const AnsiString name(fileName ? fileName : "");
    if (name.size() > kMaxKeyLength) RaiseBtrieveKeyError(StatusKeyLengthError, name.substr(0, 255));
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memcpy(keyBuffer_, name.data(), name.size());
    keyNumber_ = 0;
    CallRaw(OpCreate, const_cast<void*>(specification), length);
}

void TWinBtr::SetOwner(const char* ownerName, int8_t accessMode) {
    AnsiString owner(ownerName ? ownerName : "");
    if (owner.empty() || owner.size() > kOwnerNameSize) RaiseBtrieveError(StatusBadOwner);
    // The name goes both as data and as key, zero-terminated.
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memcpy(keyBuffer_, owner.data(), owner.size());
    const int8_t saved = keyNumber_;
    keyNumber_ = accessMode;
    try {
        CallRaw(OpSetOwner, owner.data(), static_cast<uint32_t>(owner.size() + 1));
    } catch (...) {
        keyNumber_ = saved;
        throw;
    }
    keyNumber_ = saved;
}

void TWinBtr::Stop() {
    uint8_t scratch[5] = {};
    uint8_t key[kKeyBufferSize] = {};
    uint32_t length = sizeof scratch;
    status_ = ClientCall(OpStop, scratch, &length, key, 0, 0);
}

void TWinBtr::SetDirectory(const char* path) {
    const AnsiString text(path ? path : "");
    if (text.size() >= kKeyBufferSize) RaiseBtrieveKeyError(StatusKeyLengthError, text.substr(0, 255));
    std::memset(keyBuffer_, 0, sizeof keyBuffer_);
    std::memcpy(keyBuffer_, text.data(), text.size());
    Call(OpSetDirectory);
}

void TWinBtr::GetDirectory(int length) {
    keyNumber_ = 0;
    ClearKey(length);
    Call(OpGetDirectory);
}

}  // namespace btrieve
