#include "standins/btrieve/RecordManager.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace wbtrv {

using namespace btrieve;

namespace {

constexpr uint32_t kBlockMagic = 0x56525453;  // "STRV"
constexpr uint16_t kVersionMajor = 1;
constexpr uint16_t kVersionMinor = 0;
constexpr int kLockWaitMs = 10000;
constexpr int kLockRetryMs = 10;

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t DataLength(const CallArgs& args) { return args.dataLength ? *args.dataLength : 0; }

void SetDataLength(const CallArgs& args, uint32_t length) {
    if (args.dataLength) *args.dataLength = length;
}

// Copies a record out; a short buffer takes what fits and gives status 22.
int16_t CopyOut(const CallArgs& args, const Bytes& record) {
    uint32_t room = args.data ? DataLength(args) : 0;
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(room, record.size()));
    if (n) std::memcpy(args.data, record.data(), n);
    SetDataLength(args, n);
    return n < record.size() ? StatusDataBufferTooShort : StatusOk;
}

std::string TextFrom(const uint8_t* buffer, size_t max) {
    if (!buffer) return {};
    const char* text = reinterpret_cast<const char*>(buffer);
    return std::string(text, strnlen(text, max));
}

std::string UpperPath(std::string path) {
    CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
    return path;
}

bool IsRead(uint16_t base) {
    return (base >= OpGetEqual && base <= OpGetLast) || base == OpGetDirect || base == OpStepNext ||
           base == OpStepFirst || base == OpStepLast || base == OpStepPrevious || base == OpGetByPercentage;
}

bool IsKeyRead(uint16_t base) { return base >= OpGetEqual && base <= OpGetLast; }

}  // namespace

ClientKey DefaultClient() { return ClientKey{}; }

ClientKey ClientFromId(const uint8_t* id) {
    ClientKey key{};
    std::memcpy(key.data(), id, kClientIdSize);
    key[kClientIdSize] = 1;
    return key;
}

int16_t RecordManager::Init() {
    if (initialised_) return StatusAlreadyInitialised;
    initialised_ = true;
    return StatusOk;
}

int16_t RecordManager::StopAll() {
    while (!clients_.empty()) StopClient(clients_.begin()->first);
    initialised_ = false;
    return StatusOk;
}

int16_t RecordManager::Call(const CallArgs& args, const ClientKey& clientKey) {
    // Operation code: concurrent-transaction and lock biases, and the get-key bias.
    uint16_t op = args.operation;
    if (op >= kConcurrentTransactionBias) op -= kConcurrentTransactionBias;
    uint16_t lockBias = static_cast<uint16_t>(op / 100 * 100);
    uint16_t base = op % 100;
    bool keyOnly = false;
    if (base >= OpGetEqual + kGetKeyBias && base <= OpGetLast + kGetKeyBias) {
        base -= kGetKeyBias;
        keyOnly = true;
    }
    if (base == OpBeginTransaction) lockBias = 0;
    else if (lockBias > kMultipleNoWaitLockBias || (lockBias && !IsRead(base))) return StatusInvalidOperation;
    if (keyOnly && lockBias) return StatusInvalidOperation;
    Client& client = clients_[clientKey];
    return Dispatch(args, base, lockBias, keyOnly, client, clientKey);
}

RecordManager::Handle* RecordManager::HandleOf(const CallArgs& args) {
    if (!args.positionBlock || ReadU32(args.positionBlock) != kBlockMagic ||
        ReadU32(args.positionBlock + 8) != GetCurrentProcessId())
        return nullptr;
    auto it = handles_.find(ReadU32(args.positionBlock + 4));
    return it == handles_.end() ? nullptr : &it->second;
}

int16_t RecordManager::Dispatch(const CallArgs& args, uint16_t base, uint16_t lockBias, bool keyOnly,
                                Client& client, const ClientKey& clientKey) {
    switch (base) {
    case OpOpen:
        return Open(args, client);
    case OpCreate:
        return Create(args, client);
    case OpSetDirectory:
        return SetDirectory(args, client);
    case OpGetDirectory:
        return GetDirectory(args, client);
    case OpBeginTransaction:
        if (client.inTransaction) return StatusTransactionActive;
        client.inTransaction = true;
        return StatusOk;
    case OpEndTransaction:
    case OpAbortTransaction:
        return EndTransaction(client, base == OpEndTransaction);
    case OpStop:
        StopClient(clientKey);
        return StatusOk;
    case OpVersion:
        if (DataLength(args) < 5 || !args.data) return StatusDataBufferTooShort;
        args.data[0] = kVersionMajor & 0xFF, args.data[1] = kVersionMajor >> 8;
        args.data[2] = kVersionMinor & 0xFF, args.data[3] = kVersionMinor >> 8;
        args.data[4] = 'W';
        SetDataLength(args, 5);
        return StatusOk;
    default:
        break;
    }
    Handle* handle = HandleOf(args);
    if (!handle) return StatusFileNotOpen;
    if (int16_t status = handle->file->Refresh()) return status;
    switch (base) {
    case OpClose:
        return Close(*handle, client);
    case OpInsert:
        return Insert(args, *handle, client);
    case OpUpdate:
        return Update(args, *handle, client);
    case OpDelete:
        return Delete(args, *handle, client);
    case OpStat:
        return Stat(args, *handle);
    case OpGetPosition:
        return GetPosition(args, *handle);
    case OpGetDirect:
        return GetDirect(args, lockBias, *handle);
    case OpStepNext:
    case OpStepFirst:
    case OpStepLast:
    case OpStepPrevious:
        return Step(args, base, lockBias, *handle);
    case OpUnlock:
        return Unlock(args, *handle);
    case OpCreateIndex:
        return CreateIndex(args, *handle, client);
    case OpDropIndex:
        return DropIndex(args, *handle, client);
    case OpSetOwner:
        return SetOwner(args, *handle, client);
    case OpGetByPercentage:
        return GetByPercentage(args, lockBias, *handle);
    case OpFindPercentage:
        return FindPercentage(args, *handle);
    default:
        if (IsKeyRead(base)) return GetByKey(args, base, lockBias, keyOnly, *handle);
        return StatusInvalidOperation;
    }
}

std::string RecordManager::ResolvePath(const char* name, const Client& client) const {
    std::string path = name;
    bool relative = !(path.size() > 1 && path[1] == ':') && !(path.size() > 0 && (path[0] == '\\' || path[0] == '/'));
    if (relative && !client.directory.empty()) {
        path = client.directory + (client.directory.back() == '\\' ? "" : "\\") + path;
    }
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full, n) : path;
}

int16_t RecordManager::Open(const CallArgs& args, Client& client) {
    std::string name = TextFrom(args.key, kMaxKeyLength);
    if (name.empty()) return StatusFileNotFound;
    const int8_t mode = args.keyNumber;
    if (mode < kOpenExclusive || mode > 0) return StatusInvalidOperation;
    const std::string path = ResolvePath(name.c_str(), client);
    const std::string id = UpperPath(path);
    std::shared_ptr<DataFile> file = files_.count(id) ? files_[id].lock() : nullptr;
    const bool exclusive = mode == kOpenExclusive;
    if (file) {
        if (file->exclusive || (exclusive && file->handleCount > 0)) return StatusIncompatibleMode;
    } else {
        if (int16_t status = DataFile::Open(path, file)) return status;
        files_[id] = file;
    }
    // An owner name guards the file: without it, no access, or reading only.
    bool ownerReadOnly = false;
    if (!file->OwnerName().empty()) {
        const std::string given = TextFrom(args.data, std::min<uint32_t>(DataLength(args), kOwnerNameSize));
        if (given != file->OwnerName()) {
            if (!(file->OwnerAccessMode() & 1)) return StatusBadOwner;
            ownerReadOnly = true;
        }
    }
    if (file->handleCount == 0 && !file->Log().TryLock(LogFile::kOpenRegion, exclusive))
        return StatusIncompatibleMode;
    file->handleCount++;
    file->exclusive = exclusive;
    Handle handle;
    handle.id = nextHandle_++;
    handle.file = file;
    handle.readOnly = mode == kOpenReadOnly || ownerReadOnly || !file->Log().Writable();
    handle.exclusive = exclusive;
    handles_[handle.id] = std::move(handle);
    client.handles.insert(nextHandle_ - 1);
    std::memset(args.positionBlock, 0, kPositionBlockSize);
    WriteU32(args.positionBlock, kBlockMagic);
    WriteU32(args.positionBlock + 4, nextHandle_ - 1);
    WriteU32(args.positionBlock + 8, GetCurrentProcessId());
    return StatusOk;
}

int16_t RecordManager::Close(Handle& handle, Client& client) {
    ReleaseAllLocks(handle);
    auto file = handle.file;
    if (--file->handleCount == 0) {
        file->Log().Unlock(LogFile::kOpenRegion);
        file->exclusive = false;
    }
    for (auto& [key, c] : clients_) c.handles.erase(handle.id);
    handles_.erase(handle.id);
    return StatusOk;
}

int16_t RecordManager::Create(const CallArgs& args, Client& client) {
    std::string name = TextFrom(args.key, kMaxKeyLength);
    if (name.empty()) return StatusFileNotFound;
    FileDefinition definition;
    if (int16_t status = ParseFileDefinition(args.data, DataLength(args), false, definition)) return status;
    const std::string path = ResolvePath(name.c_str(), client);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (args.keyNumber == -1) return StatusFileExists;
        auto known = files_.find(UpperPath(path));
        if (known != files_.end() && known->second.lock()) return StatusFileLocked;
        // Another process with the file open holds a shared lock on the open region.
        LogFile existing;
        if (existing.Open(path) == StatusOk && !existing.TryLock(LogFile::kOpenRegion, true))
            return StatusFileLocked;
    }
    return LogFile::Create(path, definition.Serialize(0, {}));
}

int16_t RecordManager::Stat(const CallArgs& args, Handle& handle) {
    RecordTable& table = handle.file->Table();
    Bytes spec = table.Definition().Serialize(static_cast<uint32_t>(table.AllRecords().size()),
                                              table.DistinctCounts());
    return CopyOut(args, spec);
}

int16_t RecordManager::BeginChange(Handle& handle, Client& client, ChangeSet*& changes) {
    if (handle.readOnly) return StatusAccessDenied;
    DataFile& file = *handle.file;
    if (file.transactionOwner && file.transactionOwner != &client) return StatusFileLocked;
    if (client.inTransaction) {
        for (auto& tf : client.transactionFiles)
            if (tf.file.get() == &file) {
                changes = &tf.changes;
                return StatusOk;
            }
        if (!file.Log().LockWriter()) return StatusFileLocked;
        if (int16_t status = file.Refresh()) {
            file.Log().UnlockWriter();
            return status;
        }
        file.transactionOwner = &client;
        client.transactionFiles.push_back({handle.file, {}});
        changes = &client.transactionFiles.back().changes;
        return StatusOk;
    }
    if (!file.Log().LockWriter()) return StatusFileLocked;
    if (int16_t status = file.Refresh()) {
        file.Log().UnlockWriter();
        return status;
    }
    singleChange_.Clear();
    changes = &singleChange_;
    return StatusOk;
}

int16_t RecordManager::EndChange(Handle& handle, Client& client, ChangeSet& changes, int16_t status) {
    if (client.inTransaction) return status;
    DataFile& file = *handle.file;
    if (status == StatusOk && !changes.Batch().Empty()) {
        status = file.Log().Append(changes.Batch().Data());
        if (status) changes.RollBack(file.Table());
    }
    changes.Clear();
    file.Log().UnlockWriter();
    return status;
}

int16_t RecordManager::ChangeDefinition(Handle& handle, Client& client, const FileDefinition& definition) {
    if (client.inTransaction) return StatusNotInTransaction;
    if (handle.readOnly) return StatusAccessDenied;
    DataFile& file = *handle.file;
    if (file.transactionOwner) return StatusFileLocked;
    if (!file.Log().LockWriter()) return StatusFileLocked;
    int16_t status = file.Refresh();
    FileDefinition before = file.Table().Definition();
    if (!status) status = file.Table().Define(definition);
    if (!status) {
        ChangeBatch batch;
        batch.AddDefinition(definition.Serialize(0, {}));
        status = file.Log().Append(batch.Data());
        if (status) file.Table().Define(before);
    }
    file.Log().UnlockWriter();
    return status;
}

bool RecordManager::LockedByOther(Handle& handle, uint32_t position) {
    auto& locks = handle.file->recordLocks;
    auto it = locks.find(position);
    if (it != locks.end()) return it->second != &handle;
    if (!handle.file->Log().TryLock(LogFile::kRecordLockBase + position, true)) return true;
    handle.file->Log().Unlock(LogFile::kRecordLockBase + position);
    return false;
}

int16_t RecordManager::LockRecord(Handle& handle, uint32_t position, uint16_t lockBias) {
    const bool multiple = lockBias == kMultipleWaitLockBias || lockBias == kMultipleNoWaitLockBias;
    auto& locks = handle.file->recordLocks;
    auto it = locks.find(position);
    if (it != locks.end() && it->second != &handle) return StatusRecordLocked;
    if (it == locks.end()) {
        // A wait lock waits (a bounded time) for a lock that another process holds.
        const bool wait = lockBias == kSingleWaitLockBias || lockBias == kMultipleWaitLockBias;
        const int attempts = wait ? kLockWaitMs / kLockRetryMs : 1;
        bool locked = false;
        for (int attempt = 0; attempt < attempts && !locked; ++attempt) {
            if (attempt) Sleep(kLockRetryMs);
            locked = handle.file->Log().TryLock(LogFile::kRecordLockBase + position, true);
        }
        if (!locked) return StatusRecordLocked;
        locks[position] = &handle;
    }
    if (multiple) {
        handle.multipleLocks.insert(position);
    } else {
        if (handle.singleLock && handle.singleLock != position) ReleaseLock(handle, handle.singleLock);
        handle.singleLock = position;
    }
    return StatusOk;
}

void RecordManager::ReleaseLock(Handle& handle, uint32_t position) {
    auto& locks = handle.file->recordLocks;
    auto it = locks.find(position);
    if (it != locks.end() && it->second == &handle) {
        handle.file->Log().Unlock(LogFile::kRecordLockBase + position);
        locks.erase(it);
    }
    if (handle.singleLock == position) handle.singleLock = 0;
    handle.multipleLocks.erase(position);
}

void RecordManager::ReleaseAllLocks(Handle& handle) {
    if (handle.singleLock) ReleaseLock(handle, handle.singleLock);
    while (!handle.multipleLocks.empty()) ReleaseLock(handle, *handle.multipleLocks.begin());
}

int16_t RecordManager::Deliver(const CallArgs& args, Handle& handle, uint32_t position, int slot,
                               uint16_t lockBias, bool keyOnly) {
    RecordTable& table = handle.file->Table();
    if (lockBias)
        if (int16_t status = LockRecord(handle, position, lockBias)) return status;
    SetCurrency(args, handle, position, slot);
    if (keyOnly) return StatusOk;
    return CopyOut(args, table.Find(position)->data);
}

int16_t RecordManager::GetByKey(const CallArgs& args, uint16_t base, uint16_t lockBias, bool keyOnly,
                                Handle& handle) {
    RecordTable& table = handle.file->Table();
    const int slot = table.SlotOf(args.keyNumber);
    if (slot < 0) return StatusInvalidKeyNumber;
    const Index& index = table.IndexOf(slot);
    const KeyCollation& collation = table.CollationOf(slot);
    const uint32_t keyLength = table.KeyOf(slot).Length();
    if (!args.key) return StatusKeyBufferTooShort;
    if (args.keyLength < keyLength) return StatusKeyBufferTooShort;
    IndexEntry probe{std::string(reinterpret_cast<const char*>(args.key), keyLength), 0, 0};
    IndexEntry probeAfter{probe.key, UINT64_MAX, 0};
    Index::const_iterator it;
    switch (base) {
    case OpGetEqual:
        it = index.lower_bound(probe);
        if (it == index.end() || collation.Compare(it->key, probe.key) != 0) return StatusKeyNotFound;
        break;
    case OpGetNext:
    case OpGetPrevious: {
        IndexEntry current;
        if (handle.hasKeyEntry && handle.currencyKey == args.keyNumber) current = handle.keyEntry;
        else if (handle.hasPosition && table.Find(handle.position)) current = table.EntryOf(slot, handle.position);
        else return StatusNoCurrency;
        if (current.sequence == 0) return StatusNoCurrency;
        if (base == OpGetNext) {
            it = index.upper_bound(current);
            if (it == index.end()) return StatusEndOfFile;
        } else {
            it = index.lower_bound(current);
            if (it == index.begin()) return StatusEndOfFile;
            --it;
        }
        break;
    }
    case OpGetGreater:
        it = index.upper_bound(probeAfter);
        if (it == index.end()) return StatusEndOfFile;
        break;
    case OpGetGreaterOrEqual:
        it = index.lower_bound(probe);
        if (it == index.end()) return StatusEndOfFile;
        break;
    case OpGetLess:
        it = index.lower_bound(probe);
        if (it == index.begin()) return StatusEndOfFile;
        --it;
        break;
    case OpGetLessOrEqual:
        it = index.upper_bound(probeAfter);
        if (it == index.begin()) return StatusEndOfFile;
        --it;
        break;
    case OpGetFirst:
        if (index.empty()) return StatusEndOfFile;
        it = index.begin();
        break;
    default:  // OpGetLast
        if (index.empty()) return StatusEndOfFile;
        it = std::prev(index.end());
        break;
    }
    return Deliver(args, handle, it->position, slot, lockBias, keyOnly);
}

int16_t RecordManager::Step(const CallArgs& args, uint16_t base, uint16_t lockBias, Handle& handle) {
    const auto& records = handle.file->Table().AllRecords();
    RecordTable::Records::const_iterator it;
    switch (base) {
    case OpStepFirst:
        if (records.empty()) return StatusEndOfFile;
        it = records.begin();
        break;
    case OpStepLast:
        if (records.empty()) return StatusEndOfFile;
        it = std::prev(records.end());
        break;
    case OpStepNext:
        if (!handle.hasPosition) return StatusNoCurrency;
        it = records.upper_bound(handle.position);
        if (it == records.end()) return StatusEndOfFile;
        break;
    default:  // OpStepPrevious
        if (!handle.hasPosition) return StatusNoCurrency;
        it = records.lower_bound(handle.position);
        if (it == records.begin()) return StatusEndOfFile;
        --it;
        break;
    }
    int16_t status = Deliver(args, handle, it->first, -1, lockBias, false);
    if (status == StatusOk || status == StatusDataBufferTooShort) handle.currencyKey = -1;
    return status;
}

int16_t RecordManager::GetPosition(const CallArgs& args, Handle& handle) {
    if (!handle.hasPosition || !handle.file->Table().Find(handle.position)) return StatusNoCurrency;
    if (!args.data || DataLength(args) < 4) return StatusDataBufferTooShort;
    WriteU32(args.data, handle.position);
    SetDataLength(args, 4);
    return StatusOk;
}

int16_t RecordManager::GetDirect(const CallArgs& args, uint16_t lockBias, Handle& handle) {
    if (!args.data || DataLength(args) < 4) return StatusDataBufferTooShort;
    RecordTable& table = handle.file->Table();
    const uint32_t position = ReadU32(args.data);
    if (!table.Find(position)) return StatusRecordDeleted;
    int slot = -1;
    if (args.keyNumber >= 0) {
        slot = table.SlotOf(args.keyNumber);
        if (slot < 0 && table.SlotCount() > 0) return StatusInvalidKeyNumber;
    }
    return Deliver(args, handle, position, slot, lockBias, false);
}

int16_t RecordManager::GetByPercentage(const CallArgs& args, uint16_t lockBias, Handle& handle) {
    if (!args.data || DataLength(args) < 4) return StatusDataBufferTooShort;
    RecordTable& table = handle.file->Table();
    const uint32_t percentage = ReadU32(args.data);
    if (percentage > 10000) return StatusInvalidOperation;
    int slot = -1;
    if (args.keyNumber >= 0) {
        slot = table.SlotOf(args.keyNumber);
        if (slot < 0) return StatusInvalidKeyNumber;
    }
    const size_t count = slot >= 0 ? table.IndexOf(slot).size() : table.AllRecords().size();
    if (count == 0) return StatusEndOfFile;
    const size_t rank = std::min<size_t>(count - 1, uint64_t(percentage) * count / 10000);
    uint32_t position = slot >= 0 ? std::next(table.IndexOf(slot).begin(), rank)->position
                                  : std::next(table.AllRecords().begin(), rank)->first;
    return Deliver(args, handle, position, slot, lockBias, false);
}

int16_t RecordManager::FindPercentage(const CallArgs& args, Handle& handle) {
    if (!args.data || DataLength(args) < 4) return StatusDataBufferTooShort;
    RecordTable& table = handle.file->Table();
    size_t rank = 0, count = 0;
    if (args.keyNumber < 0) {
        const auto& records = table.AllRecords();
        auto it = records.find(ReadU32(args.data));
        if (it == records.end()) return StatusRecordDeleted;
        rank = static_cast<size_t>(std::distance(records.begin(), it));
        count = records.size();
    } else {
        const int slot = table.SlotOf(args.keyNumber);
        if (slot < 0) return StatusInvalidKeyNumber;
        if (!args.key) return StatusKeyBufferTooShort;
        const Index& index = table.IndexOf(slot);
        const KeyCollation& collation = table.CollationOf(slot);
        IndexEntry probe{std::string(reinterpret_cast<const char*>(args.key), table.KeyOf(slot).Length()), 0, 0};
        // Among duplicates, the current record's own place.
        if (handle.hasKeyEntry && handle.currencyKey == args.keyNumber &&
            collation.Compare(handle.keyEntry.key, probe.key) == 0)
            probe = handle.keyEntry;
        auto it = index.lower_bound(probe);
        if (it == index.end()) return StatusEndOfFile;
        rank = static_cast<size_t>(std::distance(index.begin(), it));
        count = index.size();
    }
    WriteU32(args.data, static_cast<uint32_t>(count ? rank * 10000 / count : 0));
    SetDataLength(args, 4);
    return StatusOk;
}

void RecordManager::SetCurrency(const CallArgs& args, Handle& handle, uint32_t position, int slot) {
    const RecordTable& table = handle.file->Table();
    handle.hasPosition = true;
    handle.position = position;
    handle.hasKeyEntry = false;
    if (slot < 0) return;
    IndexEntry entry = table.EntryOf(slot, position);
    if (args.key) std::memcpy(args.key, entry.key.data(), entry.key.size());
    handle.currencyKey = table.KeyOf(slot).number;
    handle.hasKeyEntry = entry.sequence != 0;
    handle.keyEntry = std::move(entry);
}

int16_t RecordManager::CheckWrite(const CallArgs& args, const RecordTable& table, int& slot) {
    slot = -1;
    if (table.SlotCount() > 0 && args.keyNumber >= 0) {
        slot = table.SlotOf(args.keyNumber);
        if (slot < 0) return StatusInvalidKeyNumber;
    }
    return !args.data || table.CheckLength(DataLength(args)) ? StatusDataBufferTooShort : StatusOk;
}

int16_t RecordManager::Insert(const CallArgs& args, Handle& handle, Client& client) {
    RecordTable& table = handle.file->Table();
    int slot = -1;
    if (int16_t status = CheckWrite(args, table, slot)) return status;
    const uint32_t length = DataLength(args);
    ChangeSet* changes = nullptr;
    if (int16_t status = BeginChange(handle, client, changes)) return status;
    Bytes record(args.data, args.data + length);
    table.FillAutoIncrement(record);
    int16_t status = table.CheckUnique(record, 0);
    uint32_t position = 0;
    if (!status) {
        position = table.NextPosition();
        if (position == 0) status = StatusDiskFull;  // every 32-bit position used
    }
    if (!status) {
        table.Put(position, record);
        changes->Inserted(position, record);
    }
    status = EndChange(handle, client, *changes, status);
    if (status) return status;
    std::memcpy(args.data, record.data(), length);  // autoincrement values given
    SetCurrency(args, handle, position, slot);
    return StatusOk;
}

int16_t RecordManager::Update(const CallArgs& args, Handle& handle, Client& client) {
    RecordTable& table = handle.file->Table();
    if (!handle.hasPosition || !table.Find(handle.position)) return StatusNoCurrency;
    int slot = -1;
    if (int16_t status = CheckWrite(args, table, slot)) return status;
    const uint32_t length = DataLength(args);
    const uint32_t position = handle.position;
    if (LockedByOther(handle, position)) return StatusRecordLocked;
    ChangeSet* changes = nullptr;
    if (int16_t status = BeginChange(handle, client, changes)) return status;
    int16_t status = StatusOk;
    const StoredRecord* current = table.Find(position);
    if (!current) status = StatusNoCurrency;
    Bytes record(args.data, args.data + length);
    if (!status) status = table.CheckModifiable(current->data, record);
    if (!status) status = table.CheckUnique(record, position);
    if (!status) {
        StoredRecord before = *current;
        table.Put(position, record);
        changes->Updated(position, std::move(before), record);
    }
    status = EndChange(handle, client, *changes, status);
    if (status) return status;
    if (handle.singleLock == position) ReleaseLock(handle, position);
    if (slot >= 0) SetCurrency(args, handle, position, slot);
    return StatusOk;
}

int16_t RecordManager::Delete(const CallArgs& args, Handle& handle, Client& client) {
    RecordTable& table = handle.file->Table();
    if (!handle.hasPosition || !table.Find(handle.position)) return StatusNoCurrency;
    const uint32_t position = handle.position;
    if (LockedByOther(handle, position)) return StatusRecordLocked;
    ChangeSet* changes = nullptr;
    if (int16_t status = BeginChange(handle, client, changes)) return status;
    int16_t status = StatusOk;
    if (const StoredRecord* current = table.Find(position)) {
        changes->Deleted(position, *current);
        // Get Next and Get Previous continue from the deleted record's place in the key.
        if (!handle.hasKeyEntry && handle.currencyKey >= 0) {
            int slot = table.SlotOf(handle.currencyKey);
            if (slot >= 0) {
                handle.keyEntry = table.EntryOf(slot, position);
                handle.hasKeyEntry = handle.keyEntry.sequence != 0;
            }
        }
        table.Remove(position);
    } else {
        status = StatusNoCurrency;
    }
    status = EndChange(handle, client, *changes, status);
    if (!status) ReleaseLock(handle, position);
    return status;
}

int16_t RecordManager::Unlock(const CallArgs& args, Handle& handle) {
    if (args.keyNumber >= 0) {
        if (handle.singleLock) ReleaseLock(handle, handle.singleLock);
        return StatusOk;
    }
    if (args.keyNumber == kUnlockMultipleOne) {
        if (!args.data || DataLength(args) < 4) return StatusDataBufferTooShort;
        uint32_t position = ReadU32(args.data);
        if (handle.multipleLocks.count(position)) ReleaseLock(handle, position);
        return StatusOk;
    }
    if (args.keyNumber == kUnlockMultipleAll) {
        while (!handle.multipleLocks.empty()) ReleaseLock(handle, *handle.multipleLocks.begin());
        return StatusOk;
    }
    return StatusLockError;
}

int16_t RecordManager::CreateIndex(const CallArgs& args, Handle& handle, Client& client) {
    FileDefinition definition = handle.file->Table().Definition();
    KeyDefinition key;
    if (int16_t status = ParseKeyDefinition(args.data, DataLength(args), definition, key)) return status;
    const uint8_t keyNumber = static_cast<uint8_t>(args.keyNumber);
    key.number = keyNumber & 0x80 ? keyNumber & 0x7F : definition.FreeKeyNumber();
    if (definition.FindKey(key.number)) return StatusInvalidKeyNumber;
    definition.keys.push_back(std::move(key));
    std::sort(definition.keys.begin(), definition.keys.end(),
              [](const KeyDefinition& a, const KeyDefinition& b) { return a.number < b.number; });
    return ChangeDefinition(handle, client, definition);
}

int16_t RecordManager::DropIndex(const CallArgs& args, Handle& handle, Client& client) {
    FileDefinition definition = handle.file->Table().Definition();
    const uint8_t raw = static_cast<uint8_t>(args.keyNumber);
    const bool keepNumbers = raw & 0x80;
    const int number = raw & 0x7F;
    auto it = std::find_if(definition.keys.begin(), definition.keys.end(),
                           [&](const KeyDefinition& k) { return k.number == number; });
    if (it == definition.keys.end()) return StatusInvalidKeyNumber;
    definition.keys.erase(it);
    if (!keepNumbers)
        for (auto& k : definition.keys)
            if (k.number > number) --k.number;
    if (int16_t status = ChangeDefinition(handle, client, definition)) return status;
    // Currency in a renumbered or dropped key no longer means the same order.
    for (auto& [id, h] : handles_)
        if (h.file == handle.file) h.hasKeyEntry = false, h.currencyKey = -1;
    return StatusOk;
}

int16_t RecordManager::SetOwner(const CallArgs& args, Handle& handle, Client& client) {
    const std::string owner = TextFrom(args.data, std::min<uint32_t>(DataLength(args), kOwnerNameSize));
    if (owner.empty() || owner != TextFrom(args.key, kOwnerNameSize)) return StatusBadOwner;
    if (args.keyNumber < 0 || args.keyNumber > 3) return StatusInvalidOperation;
    if (client.inTransaction) return StatusNotInTransaction;
    if (handle.readOnly) return StatusAccessDenied;
    DataFile& file = *handle.file;
    if (!file.OwnerName().empty()) return StatusOwnerAlreadySet;
    if (file.transactionOwner || !file.Log().LockWriter()) return StatusFileLocked;
    int16_t status = file.Refresh();
    if (!status && !file.OwnerName().empty()) status = StatusOwnerAlreadySet;
    if (!status) {
        ChangeBatch batch;
        batch.AddOwner(owner, static_cast<uint8_t>(args.keyNumber));
        status = file.Log().Append(batch.Data());
        if (!status) file.Apply(batch.Data());
    }
    file.Log().UnlockWriter();
    return status;
}

int16_t RecordManager::SetDirectory(const CallArgs& args, Client& client) {
    std::string path = TextFrom(args.key, kMaxKeyLength);
    if (path.empty()) return StatusFileNotFound;
    std::string full = ResolvePath(path.c_str(), client);
    DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return StatusFileNotFound;
    client.directory = full;
    return StatusOk;
}

int16_t RecordManager::GetDirectory(const CallArgs& args, Client& client) {
    if (!args.key) return StatusKeyBufferTooShort;
    std::string directory = client.directory;
    if (directory.empty()) {
        char buffer[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
        directory.assign(buffer, n < sizeof buffer ? n : 0);
    }
    directory = directory.substr(0, kMaxKeyLength - 1);
    std::memcpy(args.key, directory.c_str(), directory.size() + 1);
    return StatusOk;
}

int16_t RecordManager::EndTransaction(Client& client, bool commit) {
    if (!client.inTransaction) return StatusNoTransaction;
    int16_t result = StatusOk;
    for (auto& tf : client.transactionFiles) {
        DataFile& file = *tf.file;
        if (commit && !tf.changes.Batch().Empty()) {
            int16_t status = file.Log().Append(tf.changes.Batch().Data());
            if (status) {
                tf.changes.RollBack(file.Table());
                result = result ? result : status;
            }
        } else if (!commit) {
            tf.changes.RollBack(file.Table());
        }
        file.transactionOwner = nullptr;
        file.Log().UnlockWriter();
    }
    client.transactionFiles.clear();
    client.inTransaction = false;
    return result;
}

void RecordManager::StopClient(const ClientKey& key) {
    auto it = clients_.find(key);
    if (it == clients_.end()) return;
    Client& client = it->second;
    if (client.inTransaction) EndTransaction(client, false);
    std::set<uint32_t> handles = client.handles;
    for (uint32_t id : handles) {
        auto h = handles_.find(id);
        if (h != handles_.end()) Close(h->second, client);
    }
    clients_.erase(it);
}

}  // namespace wbtrv
