// TBtrSqlProcTable: the stored procedures of a relational database, read from its
// dictionary file PROC.DDF as a Btrieve file; each record gives one procedure's name.
#pragma once

#include <vector>

#include "btrieve/engines/BtrTable.h"

namespace btrieve {

class TBtrSqlProcTable : public TBtrTable {
public:
    static constexpr uint16_t kNameRecordSize = 73;

    // The directory holds the dictionary files, with a trailing backslash.
    TBtrSqlProcTable(TBapiListItem* database, const uint8_t* clientId, const AnsiString& directory,
                     TQuillonCollection* collection);

    uint16_t GetRecordSize() const override;
    uint16_t GetRecBufSize() override { return kNameRecordSize; }
    void OpenCursor() override;
    // The destination gets the procedure's name, zero-terminated, in 73 bytes.
    void GetNextRecord(int lock, uint8_t* record, TRecordProps* props) override;

private:
    // The whole record of the last read; the file reads into it.
    std::vector<uint8_t> raw_;
};

}  // namespace btrieve
