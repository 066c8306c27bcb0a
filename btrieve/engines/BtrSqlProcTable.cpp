#include "btrieve/engines/BtrSqlProcTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "btrieve/engines/BtrDatabase.h"
#include "btrieve/engines/RelationalApi.h"

namespace btrieve {

namespace {

constexpr size_t kMaxProcedureName = 64;

}  // namespace

TBtrSqlProcTable::TBtrSqlProcTable(TBapiListItem* database, const uint8_t* clientId, const AnsiString& directory,
                                   TQuillonCollection* collection)
    : TBtrTable(database, clientId, 0, 1,
                (directory + kSqlProcedureFile + ";OWNER:" + TBtrDatabase::kDefaultOwner).c_str(), collection) {
    SetFileName(GetTableName());
    File().SetAcceptShortBuffer(true);
}

uint16_t TBtrSqlProcTable::GetRecordSize() const { return kSqlProcedureRecordSize; }

void TBtrSqlProcTable::OpenCursor() {
    TBtrTable::OpenCursor();
    File().AllocDataBuffer(kSqlProcedureRecordSize);
}

void TBtrSqlProcTable::GetNextRecord(int lock, uint8_t* record, TRecordProps* props) {
    raw_.assign(kSqlProcedureRecordSize, 0);
    TBaseTable::GetNextRecord(lock, raw_.data(), props);
    if (!record) return;
    std::memset(record, 0, kNameRecordSize);
    const AnsiString name = platform::Trim(FieldText(reinterpret_cast<const char*>(raw_.data()), kSqlProcedureNameSize));
    CopyToField(reinterpret_cast<char*>(record), kMaxProcedureName + 1, name.substr(0, kMaxProcedureName));
}

}  // namespace btrieve
