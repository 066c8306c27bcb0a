// The record manager behind the client library's entry points: clients, open files
// (handles kept in the caller's position block), currency, locks and transactions, and the
// dispatch of every operation. One per process; callers serialise calls.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "standins/btrieve/DataFile.h"

namespace wbtrv {

struct CallArgs {
    uint16_t operation;
    uint8_t* positionBlock;
    uint8_t* data;
    uint32_t* dataLength;
    uint8_t* key;
    uint8_t keyLength;
    int8_t keyNumber;
};

// A client: the default one, or one named by a 16-byte identifier.
using ClientKey = std::array<uint8_t, 17>;
ClientKey DefaultClient();
ClientKey ClientFromId(const uint8_t* id);

class RecordManager {
public:
    int16_t Call(const CallArgs& args, const ClientKey& client);
    int16_t Init();
    // Ends every client: transactions rolled back, files closed, locks released.
    int16_t StopAll();

private:
    struct Client;
    struct Handle {
        uint32_t id = 0;
        std::shared_ptr<DataFile> file;
        bool readOnly = false;
        bool exclusive = false;
        // Currency: the physical position, and the place in one key's order.
        bool hasPosition = false;
        uint32_t position = 0;
        int currencyKey = -1;
        bool hasKeyEntry = false;
        IndexEntry keyEntry;
        uint32_t singleLock = 0;
        std::set<uint32_t> multipleLocks;
    };
    struct TransactionFile {
        std::shared_ptr<DataFile> file;
        ChangeSet changes;
    };
    struct Client {
        std::string directory;
        bool inTransaction = false;
        std::vector<TransactionFile> transactionFiles;
        std::set<uint32_t> handles;
    };

    int16_t Dispatch(const CallArgs& args, uint16_t base, uint16_t lockBias, bool keyOnly, Client& client,
                     const ClientKey& clientKey);
    Handle* HandleOf(const CallArgs& args);

    int16_t Open(const CallArgs& args, Client& client);
    int16_t Close(Handle& handle, Client& client);
    int16_t Create(const CallArgs& args, Client& client);
    int16_t Stat(const CallArgs& args, Handle& handle);
    int16_t Insert(const CallArgs& args, Handle& handle, Client& client);
    int16_t Update(const CallArgs& args, Handle& handle, Client& client);
    int16_t Delete(const CallArgs& args, Handle& handle, Client& client);
    int16_t GetByKey(const CallArgs& args, uint16_t base, uint16_t lockBias, bool keyOnly, Handle& handle);
    int16_t Step(const CallArgs& args, uint16_t base, uint16_t lockBias, Handle& handle);
    int16_t GetPosition(const CallArgs& args, Handle& handle);
    int16_t GetDirect(const CallArgs& args, uint16_t lockBias, Handle& handle);
    int16_t GetByPercentage(const CallArgs& args, uint16_t lockBias, Handle& handle);
    int16_t FindPercentage(const CallArgs& args, Handle& handle);
    int16_t Unlock(const CallArgs& args, Handle& handle);
    int16_t CreateIndex(const CallArgs& args, Handle& handle, Client& client);
    int16_t DropIndex(const CallArgs& args, Handle& handle, Client& client);
    int16_t SetOwner(const CallArgs& args, Handle& handle, Client& client);
    int16_t SetDirectory(const CallArgs& args, Client& client);
    int16_t GetDirectory(const CallArgs& args, Client& client);
    int16_t EndTransaction(Client& client, bool commit);
    void StopClient(const ClientKey& key);

    // A change to a file: the writer right, the change set (the transaction's or a
    // one-operation one), and afterwards the write to disk.
    int16_t BeginChange(Handle& handle, Client& client, ChangeSet*& changes);
    int16_t EndChange(Handle& handle, Client& client, ChangeSet& changes, int16_t status);
    int16_t ChangeDefinition(Handle& handle, Client& client, const FileDefinition& definition);

    // Record locks.
    bool LockedByOther(Handle& handle, uint32_t position);
    int16_t LockRecord(Handle& handle, uint32_t position, uint16_t lockBias);
    void ReleaseLock(Handle& handle, uint32_t position);
    void ReleaseAllLocks(Handle& handle);

    // Currency on a record, in a key's order when slot >= 0 (its key value goes out too).
    void SetCurrency(const CallArgs& args, Handle& handle, uint32_t position, int slot);
    // The key slot and record length of an Insert or Update.
    static int16_t CheckWrite(const CallArgs& args, const RecordTable& table, int& slot);
    // Delivers a found record: lock, data, key, currency.
    int16_t Deliver(const CallArgs& args, Handle& handle, uint32_t position, int slot, uint16_t lockBias,
                    bool keyOnly);
    std::string ResolvePath(const char* name, const Client& client) const;

    std::map<ClientKey, Client> clients_;
    std::map<uint32_t, Handle> handles_;
    std::map<std::string, std::weak_ptr<DataFile>> files_;
    uint32_t nextHandle_ = 1;
    bool initialised_ = false;
    ChangeSet singleChange_;
};

}  // namespace wbtrv
