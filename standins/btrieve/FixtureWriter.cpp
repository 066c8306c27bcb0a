#include "standins/btrieve/FixtureWriter.h"

#include <windows.h>

#include <cstring>

#include "standins/btrieve/RecordManager.h"

namespace wbtrv {

using namespace btrieve;

namespace {

// Writes through our own record manager, as the DLL would.
class DirectClient {
public:
    int16_t Call(uint16_t op, void* data, uint32_t length, const std::string& keyText, int8_t keyNumber) {
        uint8_t key[kKeyBufferSize] = {};
        std::memcpy(key, keyText.data(), std::min<size_t>(keyText.size(), kMaxKeyLength));
        CallArgs args{op, block_, static_cast<uint8_t*>(data), &length, key, 255, keyNumber};
        return manager_.Call(args, DefaultClient());
    }

private:
    RecordManager manager_;
    uint8_t block_[kPositionBlockSize] = {};
};

void Check(int16_t status, const std::string& what) {
    if (status) throw EFixtureError(what + ": status " + std::to_string(status));
}

FixtureField Field(const char* name, uint8_t type, uint16_t size) {
    FixtureField f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

FixtureTable SystemTable(const char* name, const char* location, uint16_t id, std::vector<FixtureField> fields,
                         std::vector<FixtureKey> keys) {
    FixtureTable t;
    t.name = name;
    t.location = location;
    t.id = id;
    t.system = true;
    uint16_t at = 0;
    for (auto& f : fields) {
        f.offset = at;
        at = static_cast<uint16_t>(at + f.size);
    }
    t.recordLength = at;
    t.fields = std::move(fields);
    t.keys = std::move(keys);
    return t;
}

void PutU16(Bytes& record, size_t at, uint16_t v) {
    record[at] = static_cast<uint8_t>(v);
    record[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutText(Bytes& record, size_t at, size_t width, const std::string& text) {
    std::fill(record.begin() + at, record.begin() + at + width, ' ');
    std::memcpy(record.data() + at, text.data(), std::min(text.size(), width));
}

void MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
}

}  // namespace

FixtureWriter::FixtureWriter(std::string directory) : directory_(std::move(directory)) {
    if (!directory_.empty() && directory_.back() != '\\' && directory_.back() != '/') directory_ += '\\';
}

std::string FixtureWriter::PathOf(const std::string& location) const {
    bool absolute = (location.size() > 1 && location[1] == ':') || (!location.empty() && location[0] == '\\');
    return absolute ? location : directory_ + location;
}

void FixtureWriter::WriteTable(const FixtureTable& table) {
    const std::string path = PathOf(table.location);
    MakeDirectories(path);
    DirectClient client;
    Bytes spec = table.FileSpecification();
    Check(client.Call(OpCreate, spec.data(), static_cast<uint32_t>(spec.size()), path, 0), "create " + path);
    Check(client.Call(OpOpen, nullptr, 0, path, 0), "open " + path);
    Check(client.Call(OpBeginTransaction, nullptr, 0, {}, 0), "begin");
    for (const auto& row : table.rows) {
        Bytes record = row;
        Check(client.Call(OpInsert, record.data(), static_cast<uint32_t>(record.size()), {}, table.keys.empty() ? -1 : 0),
              "insert into " + path);
    }
    Check(client.Call(OpEndTransaction, nullptr, 0, {}, 0), "end transaction");
    if (!table.owner.empty()) {
        std::string owner = table.owner;
        Check(client.Call(OpSetOwner, owner.data(), static_cast<uint32_t>(owner.size() + 1), owner, 0), "owner of " + path);
    }
    Check(client.Call(OpClose, nullptr, 0, {}, 0), "close " + path);
}

std::vector<FixtureTable> FixtureWriter::DictionaryTables(const std::vector<FixtureTable>& tables) {
    // Dictionary records are edited in place (a table renamed), so every key may change.
    auto key = [](std::vector<size_t> fields, uint16_t flags) {
        FixtureKey k;
        k.fields = std::move(fields);
        k.flags = static_cast<uint16_t>(flags | KeyModifiable);
        return k;
    };
    std::vector<FixtureTable> all = {
        SystemTable("X$File", "FILE.DDF", 1,
                    {Field("Xf$Id", TypeInteger, 2), Field("Xf$Name", TypeString, 20), Field("Xf$Loc", TypeString, 64),
                     Field("Xf$Flags", TypeInteger, 1), Field("Xf$Reserved", TypeString, 10)},
                    {key({0}, 0), key({1}, 0)}),
        SystemTable("X$Field", "FIELD.DDF", 2,
                    {Field("Xe$Id", TypeInteger, 2), Field("Xe$File", TypeInteger, 2), Field("Xe$Name", TypeString, 20),
                     Field("Xe$DataType", TypeInteger, 1), Field("Xe$Offset", TypeInteger, 2),
                     Field("Xe$Size", TypeInteger, 2), Field("Xe$Dec", TypeInteger, 1), Field("Xe$Flags", TypeInteger, 2)},
                    {key({0}, 0), key({1}, KeyDuplicates), key({2}, KeyDuplicates)}),
        SystemTable("X$Index", "INDEX.DDF", 3,
                    {Field("Xi$File", TypeInteger, 2), Field("Xi$Field", TypeInteger, 2), Field("Xi$Number", TypeInteger, 2),
                     Field("Xi$Part", TypeInteger, 2), Field("Xi$Flags", TypeInteger, 2)},
                    {key({0}, KeyDuplicates), key({1}, KeyDuplicates)}),
    };
    FixtureTable& files = all[0];
    FixtureTable& fields = all[1];
    FixtureTable& indexes = all[2];
    std::vector<FixtureTable> described(all.begin(), all.end());
    uint16_t nextId = 4;
    for (const auto& t : tables) {
        described.push_back(t);
        if (!described.back().id) described.back().id = nextId;
        nextId = static_cast<uint16_t>(std::max<int>(nextId, described.back().id + 1));
    }
    uint16_t fieldId = 1;
    for (const auto& t : described) {
        Bytes file(97, 0);
        PutU16(file, 0, t.id);
        PutText(file, 2, 20, t.name);
        PutText(file, 22, 64, t.location);
        file[86] = t.system ? 0x10 : 0;
        PutText(file, 87, 10, "");
        files.rows.push_back(file);
        std::vector<uint16_t> ids;
        for (const auto& f : t.fields) {
            Bytes field(32, 0);
            PutU16(field, 0, fieldId);
            PutU16(field, 2, t.id);
            PutText(field, 4, 20, f.name);
            field[24] = f.type;
            PutU16(field, 25, f.offset);
            PutU16(field, 27, f.size);
            field[29] = f.decimals;
            ids.push_back(fieldId++);
            fields.rows.push_back(field);
        }
        for (const auto& [number, name] : t.indexNames) {
            Bytes field(32, 0);
            PutU16(field, 0, fieldId++);
            PutU16(field, 2, t.id);
            PutText(field, 4, 20, name);
            field[24] = 255;
            PutU16(field, 25, number);
            fields.rows.push_back(field);
        }
        for (size_t k = 0; k < t.keys.size(); ++k)
            for (size_t part = 0; part < t.keys[k].fields.size(); ++part) {
                Bytes index(10, 0);
                PutU16(index, 0, t.id);
                PutU16(index, 2, ids[t.keys[k].fields[part]]);
                PutU16(index, 4, static_cast<uint16_t>(k));
                PutU16(index, 6, static_cast<uint16_t>(part));
                PutU16(index, 8, static_cast<uint16_t>(t.keys[k].flags | (part + 1 < t.keys[k].fields.size() ? KeySegmented : 0)));
                indexes.rows.push_back(index);
            }
    }
    return all;
}

void FixtureWriter::WriteDictionary(const std::vector<FixtureTable>& tables) {
    for (const auto& t : DictionaryTables(tables)) WriteTable(t);
}

}  // namespace wbtrv
