// One Btrieve export's stay in a data directory: the dictionary files and the editor alias
// written on arrival, a database component connected through the alias, the table
// components of the export's work, and on leaving the components closed and freed and the
// dictionary files deleted, whatever happened in between.
#pragma once

#include <memory>

#include "platform/SysUtils.h"
#include "setup/BtrieveDictionary.h"

namespace btrieve {
class TQbDatabase;
class TQbTable;
}  // namespace btrieve

namespace setrix {

class BtrieveWorkspace {
public:
    // directory ends with a backslash.
    explicit BtrieveWorkspace(const platform::AnsiString& directory);
    ~BtrieveWorkspace();
    BtrieveWorkspace(const BtrieveWorkspace&) = delete;
    BtrieveWorkspace& operator=(const BtrieveWorkspace&) = delete;

    // False when the dictionary could not be written: the export ends with its failure.
    bool Prepared() const { return dictionary_.Written(); }
    // A table component for a data file of the directory, on the connected database;
    // the previous table is closed and freed first.
    btrieve::TQbTable& Table(const platform::AnsiString& fileName);

private:
    void FreeTable();

    // Deleted again even when the workspace fails half-built.
    DictionaryInstallation dictionary_;
    std::unique_ptr<btrieve::TQbDatabase> database_;
    std::unique_ptr<btrieve::TQbTable> table_;
};

}  // namespace setrix
