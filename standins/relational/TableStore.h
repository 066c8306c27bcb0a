// The engine's storage: Btrieve files reached through our record manager under the
// session's own client, and the tables the dictionary files (FILE.DDF, FIELD.DDF) describe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standins/btrieve/RecordManager.h"
#include "standins/relational/SqlValue.h"

namespace wssql {

using Record = std::vector<uint8_t>;

// One open Btrieve file; closed when destroyed. Failures raise SqlError with the status.
class BtrieveFile {
public:
    BtrieveFile(wbtrv::RecordManager& manager, const wbtrv::ClientKey& client, const std::string& path);
    ~BtrieveFile();
    BtrieveFile(const BtrieveFile&) = delete;
    BtrieveFile& operator=(const BtrieveFile&) = delete;

    uint16_t RecordLength() const { return recordLength_; }
    // Reads in physical order; false at the end.
    bool Step(bool first, Record& record, uint32_t& position);
    void ReadAt(uint32_t position, Record& record, uint16_t lockBias = 0);
    // Locks the record for this open (no wait: another's lock is its status); the lock
    // held before is released.
    void Lock(uint32_t position);
    void Unlock();
    uint32_t Insert(Record& record);
    // The record at the position is replaced or removed.
    void Update(uint32_t position, Record& record);
    void Delete(uint32_t position);

private:
    int16_t Call(uint16_t operation, void* data, uint32_t& length, int8_t keyNumber = 0);
    uint32_t CurrentPosition();

    wbtrv::RecordManager& manager_;
    wbtrv::ClientKey client_;
    uint8_t positionBlock_[btrieve::kPositionBlockSize] = {};
    uint8_t key_[btrieve::kKeyBufferSize] = {};
    uint16_t recordLength_ = 0;
    bool open_ = false;
};

struct TableDef {
    uint16_t id = 0;
    std::string name;
    std::string path;  // of its data file
    std::vector<FieldDef> fields;

    // Index of the named field, or -1.
    int FindField(const std::string& name) const;
    // A record whose fields hold no value.
    Record EmptyRecord(uint16_t recordLength) const;
};

// The tables of one database: its dictionary directory and its data directory.
class Dictionary {
public:
    Dictionary(wbtrv::RecordManager& manager, const wbtrv::ClientKey& client, std::string dictionaryPath,
               std::string dataPath);
    // Raises SqlError(SqlStatusTableNotFound) for a table the dictionary does not hold.
    TableDef Lookup(const std::string& name) const;

    // The statement of a stored procedure; SqlStatusProcedureNotFound when PROC.DDF does
    // not hold it. A PROC.DDF record: name (0, 30) blank-padded, then the statement text
    // (30, 1031) zero-terminated.
    std::string ProcedureText(const std::string& name) const;

    // Whether the user may log in: every user when the dictionary has no USER.DDF; else
    // one of its users with that password. A USER.DDF record: id (0, 2), user name (2, 30)
    // and password (32, 9), blank-padded, then flags (41, 2).
    bool Admits(const std::string& user, const std::string& password) const;

    // Whether the directory holds a dictionary.
    static bool Exists(const std::string& dictionaryPath);

private:
    wbtrv::RecordManager& manager_;
    wbtrv::ClientKey client_;
    std::string dictionaryPath_;
    std::string dataPath_;
};

std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace wssql
