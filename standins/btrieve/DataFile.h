// One data file as one process sees it: its records in memory, kept up to date with what
// other processes append, plus the locks and the transaction owner of this process's users.
// Shared by every open of the same file in the process.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standins/btrieve/LogFile.h"
#include "standins/btrieve/RecordTable.h"

namespace wbtrv {

// Changes made but not yet on disk: the batch to append and how to undo them in memory.
class ChangeSet {
public:
    void Inserted(uint32_t position, const Bytes& data);
    void Updated(uint32_t position, StoredRecord before, const Bytes& after);
    void Deleted(uint32_t position, StoredRecord before);
    void RollBack(RecordTable& table);
    const ChangeBatch& Batch() const { return batch_; }
    void Clear();

private:
    struct Undo {
        uint32_t position;
        bool existed;
        StoredRecord before;
    };
    ChangeBatch batch_;
    std::vector<Undo> undo_;
};

class DataFile {
public:
    // Opens and reads the file; a status on failure (12 missing, 30 not ours, 2 damaged).
    static int16_t Open(const std::string& path, std::shared_ptr<DataFile>& out);

    const std::string& Path() const { return path_; }
    RecordTable& Table() { return table_; }
    LogFile& Log() { return log_; }
    // Takes in what other processes appended since the last look.
    int16_t Refresh();

    // The owner name that guards the file; empty when none is set.
    const std::string& OwnerName() const { return owner_; }
    // 0: the name is needed for any access; 1: reading is free; 2, 3: as 0, 1 (the
    // encryption those modes also ask for is not done).
    uint8_t OwnerAccessMode() const { return ownerMode_; }

    // This process's users of the file (an open handle or a client is the owner).
    int handleCount = 0;
    bool exclusive = false;
    const void* transactionOwner = nullptr;
    std::map<uint32_t, const void*> recordLocks;

    // Applies a batch to the state in memory (one read from disk, or one just written).
    void Apply(const Bytes& payload);

private:

    std::string path_;
    LogFile log_;
    RecordTable table_;
    bool defined_ = false;
    std::string owner_;
    uint8_t ownerMode_ = 0;
};

}  // namespace wbtrv
