#include "btrieve/engines/BtrListTables.h"

#include <algorithm>
#include <cstring>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrDatabase.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/TblResReader.h"

namespace btrieve {

namespace {

bool IsUnpositioned(uint8_t state) {
    return state == cursorstate::Unpositioned || state == cursorstate::BeforeFirst;
}

}  // namespace

TBtrTblListTable::TBtrTblListTable(TBtrDatabase* database, const uint8_t* clientId, bool extended, bool systemTables,
                                   TQuillonCollection* collection)
    : TBtrTable(database, clientId, 0, 1, database->DictionaryPath("FILE.DDF").c_str(), collection),
      extended_(extended),
      systemTables_(systemTables) {
    SetFileName(GetTableName());
}

void TBtrTblListTable::ReadDictRecord(int lock, uint8_t* record) {
    std::vector<uint8_t> raw(std::max<size_t>(File().BufferSize(), kFileDdfRecordSize), 0);
    do {
        TBaseTable::GetNextRecord(lock, raw.data(), nullptr);
    } while (!systemTables_ && (raw[fileddf::Flags] & fileddf::SystemTable));
    std::memcpy(record, raw.data(), kFileDdfRecordSize);
}

void TBtrTblListTable::GetNextRecord(int lock, uint8_t* record, TRecordProps*) {
    uint8_t raw[kFileDdfRecordSize];
    ReadDictRecord(lock, raw);
    if (!record) return;
    staging_.assign(GetRecordSize(), 0);
    const AnsiString name = platform::Trim(FieldText(reinterpret_cast<const char*>(raw + fileddf::Name), fileddf::NameSize));
    const AnsiString location =
        platform::Trim(FieldText(reinterpret_cast<const char*>(raw + fileddf::Loc), fileddf::LocSize));
    CopyToField(reinterpret_cast<char*>(staging_.data()), 261, name);
    CopyToField(reinterpret_cast<char*>(staging_.data() + 261), 261, location);
    std::memcpy(record, staging_.data(), staging_.size());
}

TBtrFieldListTable::TBtrFieldListTable(TBtrDatabase* database, const uint8_t* clientId,
                                       TQuillonCollection* collection)
    : TBtrTable(database, clientId, 0, 1, database->DictionaryPath("FIELD.DDF").c_str(), collection) {
    SetFileName(GetTableName());
}

void TBtrFieldListTable::SetDictRecord(const uint8_t* record) { std::memcpy(dictRecord_, record, kFileDdfRecordSize); }

void TBtrFieldListTable::ReadDictRecord(int lock, uint8_t* record) {
    scratch_.assign(std::max<size_t>(File().BufferSize(), kFieldDdfRecordSize), 0);
    for (;;) {
        if (IsUnpositioned(State())) {
            delivered_ = 0;
            GetRecordForKey(true, 0, 4, dictRecord_, scratch_.data());
        } else {
            TBaseTable::GetNextRecord(lock, scratch_.data(), nullptr);
        }
        // Key 1 is the table id: the first record of another table ends the list.
        if (std::memcmp(scratch_.data() + fieldddf::File, dictRecord_, 2) != 0) RaiseEOF();
        uint16_t size;
        std::memcpy(&size, scratch_.data() + fieldddf::Size, 2);
        if (size == 0 && scratch_[fieldddf::DataType] != fieldddf::IndexNameType) continue;
        std::memcpy(record, scratch_.data(), kFieldDdfRecordSize);
        return;
    }
}

void TBtrFieldListTable::GetNextRecord(int lock, uint8_t* record, TRecordProps*) {
    uint8_t raw[kFieldDdfRecordSize];
    // Fields only, numbered from 1 as the cursors number them; index names are not fields.
    do {
        ReadDictRecord(lock, raw);
    } while (raw[fieldddf::DataType] == fieldddf::IndexNameType);
    ++delivered_;
    if (!record) return;
    const TEngineFieldDesc desc = DictFieldToDesc(raw, delivered_);
    std::memcpy(record, &desc, sizeof desc);
}

void TBtrFieldListTable::GetRecordCount(uint32_t& count) {
    count = 0;
    SetState(cursorstate::Unpositioned);
    try {
        for (;;) {
            GetNextRecord(0, nullptr, nullptr);
            ++count;
        }
    } catch (const EQuillonBoundryError&) {
    }
    SetState(cursorstate::Unpositioned);
}

TResFieldListTable::TResFieldListTable(TBaseDatabase* database, const char* tableName, TQuillonCollection* collection)
    : TReadOnlyTable(database, collection, tableName, nullptr, 1, 0) {
    const AnsiString name(tableName ? tableName : "");
    const size_t at = platform::AnsiUpperCase(name).find(";RES:");
    if (at == AnsiString::npos) return;
    const size_t from = at + 5;
    const AnsiString resource = name.substr(from, std::min<size_t>(name.find(';', from) - from, 260));
    TTblResReader reader(*this);
    reader.Read(resource);
}

void TResFieldListTable::OpenCursor() {
    if (FieldCache().Count() == 0) RaiseEngineError(rc::InvalidHandle);
    next_ = 0;
    SetState(cursorstate::Unpositioned);
}

void TResFieldListTable::GetNextRecord(int, uint8_t* record, TRecordProps*) {
    if (next_ >= FieldCache().Count()) RaiseEOF();
    const TEngineFieldDesc& desc = FieldCache().Item(++next_).Desc();
    if (record) std::memcpy(record, &desc, sizeof desc);
    SetState(cursorstate::OnRecord);
}

}  // namespace btrieve
