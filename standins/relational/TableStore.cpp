#include "standins/relational/TableStore.h"

#include <windows.h>

#include <cstring>

#include "btrieve/engines/BtrieveApi.h"
#include "btrieve/engines/RelationalApi.h"
#include "standins/relational/SqlStatement.h"

namespace wssql {

using namespace btrieve;

namespace {

constexpr uint32_t kFileRecordSize = 97;
constexpr uint32_t kFieldRecordSize = 32;
constexpr uint32_t kUserRecordSize = 43;
constexpr uint32_t kProcedureNameSize = kSqlProcedureNameSize;
constexpr uint8_t kIndexNameType = 255;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

std::string BlankTrimmed(const uint8_t* p, size_t size) {
    std::string text(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), size));
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
    const bool absolute = (name.size() > 1 && name[1] == ':') || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    if (absolute || directory.empty()) return name;
    const char last = directory.back();
    return last == '\\' || last == '/' ? directory + name : directory + "\\" + name;
}

BtrieveFile::BtrieveFile(wbtrv::RecordManager& manager, const wbtrv::ClientKey& client, const std::string& path)
    : manager_(manager), client_(client) {
    if (path.size() >= kKeyBufferSize) throw SqlError(StatusFileNotFound);
    std::memcpy(key_, path.c_str(), path.size() + 1);
    uint32_t length = 0;
    if (int16_t status = Call(OpOpen, nullptr, length)) throw SqlError(status);
    open_ = true;
    std::vector<uint8_t> stat(kStatBufferSize);
    length = kStatBufferSize;
    int16_t status = Call(OpStat, stat.data(), length, -1);
    if (status && status != StatusDataBufferTooShort) throw SqlError(status);
    recordLength_ = U16(stat.data());
}

BtrieveFile::~BtrieveFile() {
    if (!open_) return;
    uint8_t scratch[4] = {};
    uint32_t length = sizeof scratch;
    Call(OpClose, scratch, length);
}

int16_t BtrieveFile::Call(uint16_t operation, void* data, uint32_t& length, int8_t keyNumber) {
    wbtrv::CallArgs args{operation, positionBlock_, static_cast<uint8_t*>(data), &length, key_,
                         static_cast<uint8_t>(kMaxKeyLength), keyNumber};
    return manager_.Call(args, client_);
}

uint32_t BtrieveFile::CurrentPosition() {
    uint8_t position[4] = {};
    uint32_t length = sizeof position;
    if (int16_t status = Call(OpGetPosition, position, length)) throw SqlError(status);
    uint32_t value;
    std::memcpy(&value, position, 4);
    return value;
}

bool BtrieveFile::Step(bool first, Record& record, uint32_t& position) {
    record.assign(recordLength_, 0);
    uint32_t length = recordLength_;
    int16_t status = Call(first ? OpStepFirst : OpStepNext, record.data(), length);
    if (status == StatusEndOfFile) return false;
    if (status) throw SqlError(status);
    position = CurrentPosition();
    return true;
}

void BtrieveFile::ReadAt(uint32_t position, Record& record, uint16_t lockBias) {
    record.assign(std::max<size_t>(recordLength_, 4), 0);
    std::memcpy(record.data(), &position, 4);
    uint32_t length = static_cast<uint32_t>(record.size());
    if (int16_t status = Call(static_cast<uint16_t>(OpGetDirect + lockBias), record.data(), length)) throw SqlError(status);
    record.resize(recordLength_);
}

void BtrieveFile::Lock(uint32_t position) {
    Record record;
    ReadAt(position, record, kSingleNoWaitLockBias);
}

void BtrieveFile::Unlock() {
    uint8_t position[4] = {};
    uint32_t length = sizeof position;
    if (int16_t status = Call(OpUnlock, position, length)) throw SqlError(status);
}

uint32_t BtrieveFile::Insert(Record& record) {
    uint32_t length = static_cast<uint32_t>(record.size());
    if (int16_t status = Call(OpInsert, record.data(), length)) throw SqlError(status);
    return CurrentPosition();
}

void BtrieveFile::Update(uint32_t position, Record& record) {
    Record current;
    ReadAt(position, current);
    uint32_t length = static_cast<uint32_t>(record.size());
    if (int16_t status = Call(OpUpdate, record.data(), length)) throw SqlError(status);
}

void BtrieveFile::Delete(uint32_t position) {
    Record current;
    ReadAt(position, current);
    uint32_t length = static_cast<uint32_t>(current.size());
    if (int16_t status = Call(OpDelete, current.data(), length)) throw SqlError(status);
}

int TableDef::FindField(const std::string& fieldName) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameName(fields[i].name, fieldName)) return static_cast<int>(i);
    return -1;
}

Record TableDef::EmptyRecord(uint16_t recordLength) const {
    Record record(recordLength, 0);
    for (const FieldDef& field : fields)
        if (field.offset + field.size <= recordLength) ClearField(field, record.data());
    return record;
}

Dictionary::Dictionary(wbtrv::RecordManager& manager, const wbtrv::ClientKey& client, std::string dictionaryPath,
                       std::string dataPath)
    : manager_(manager), client_(client), dictionaryPath_(std::move(dictionaryPath)), dataPath_(std::move(dataPath)) {}

bool Dictionary::Exists(const std::string& dictionaryPath) {
    const DWORD attributes = GetFileAttributesA(JoinPath(dictionaryPath, "FILE.DDF").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Dictionary::ProcedureText(const std::string& name) const {
    const std::string procedures = JoinPath(dictionaryPath_, kSqlProcedureFile);
    if (GetFileAttributesA(procedures.c_str()) == INVALID_FILE_ATTRIBUTES) throw SqlError(SqlStatusProcedureNotFound);
    BtrieveFile file(manager_, client_, procedures);
    Record record;
    uint32_t position;
    for (bool first = true; file.Step(first, record, position); first = false) {
        if (record.size() > kProcedureNameSize && SameName(BlankTrimmed(record.data(), kProcedureNameSize), name))
            return std::string(reinterpret_cast<const char*>(record.data()) + kProcedureNameSize,
                               strnlen(reinterpret_cast<const char*>(record.data()) + kProcedureNameSize,
                                       record.size() - kProcedureNameSize));
    }
    throw SqlError(SqlStatusProcedureNotFound);
}

bool Dictionary::Admits(const std::string& user, const std::string& password) const {
    const std::string users = JoinPath(dictionaryPath_, kSqlUserFile);
    if (GetFileAttributesA(users.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    BtrieveFile file(manager_, client_, users);
    Record record;
    uint32_t position;
    for (bool first = true; file.Step(first, record, position); first = false) {
        if (record.size() < kUserRecordSize) continue;
        if (SameName(BlankTrimmed(record.data() + 2, 30), user))
            return BlankTrimmed(record.data() + 32, 9) == password;
    }
    return false;
}

TableDef Dictionary::Lookup(const std::string& name) const {
    TableDef table;
    bool found = false;
    {
        BtrieveFile files(manager_, client_, JoinPath(dictionaryPath_, "FILE.DDF"));
        Record record;
        uint32_t position;
        for (bool first = true; files.Step(first, record, position); first = false) {
            if (record.size() < kFileRecordSize) continue;
            if (!SameName(BlankTrimmed(record.data() + 2, 20), name)) continue;
            table.id = U16(record.data());
            table.name = BlankTrimmed(record.data() + 2, 20);
            table.path = JoinPath(dataPath_, BlankTrimmed(record.data() + 22, 64));
            found = true;
            break;
        }
    }
    if (!found) throw SqlError(SqlStatusTableNotFound);
    BtrieveFile fieldFile(manager_, client_, JoinPath(dictionaryPath_, "FIELD.DDF"));
    Record record;
    uint32_t position;
    for (bool first = true; fieldFile.Step(first, record, position); first = false) {
        if (record.size() < kFieldRecordSize || U16(record.data() + 2) != table.id) continue;
        FieldDef field;
        field.type = record[24];
        field.size = U16(record.data() + 27);
        if (field.type == kIndexNameType || field.size == 0) continue;
        field.name = BlankTrimmed(record.data() + 4, 20);
        field.offset = U16(record.data() + 25);
        field.decimals = record[29];
        table.fields.push_back(field);
    }
    return table;
}

}  // namespace wssql
