// One Btrieve export's stay in a data directory: the dictionary files written on arrival,
// the editor alias for the directory, the table components of the export's work reaching it
// through a database component connected on the alias or by naming the alias itself, and on
// leaving the components closed and freed and the dictionary files deleted, whatever
// happened in between. The whole stay holds the editor alias's machine-wide lock: another
// export, in this process or another, and ecdump wait until the dictionary is gone again.
#pragma once

#include <memory>

#include "btrieve/engines/AliasLock.h"
#include "platform/SysUtils.h"
#include "setup/BtrieveDictionary.h"

namespace btrieve {
class TQbDatabase;
class TQbTable;
}  // namespace btrieve

namespace setrix {

class BtrieveWorkspace {
public:
    // How the tables reach the directory. Through a database component: the alias is
    // registered and the component connected on arrival. Through the alias: tables name the
    // alias as their database (the session opens a database of its own for it), and the alias
    // is registered only when the first table is made, so that nothing but the dictionary
    // files is touched before the export needs the data.
    enum class TAccess { DatabaseComponent, AliasName };

    // directory ends with a backslash.
    explicit BtrieveWorkspace(const platform::AnsiString& directory, TAccess access = TAccess::DatabaseComponent);
    ~BtrieveWorkspace();
    BtrieveWorkspace(const BtrieveWorkspace&) = delete;
    BtrieveWorkspace& operator=(const BtrieveWorkspace&) = delete;

    // False when the dictionary could not be written: the export ends with its failure.
    bool Prepared() const { return dictionary_.Written(); }
    // A table component for a data file of the directory, not opened; the previous table is
    // closed and freed first.
    btrieve::TQbTable& Table(const platform::AnsiString& fileName);

private:
    void FreeTable();

    // Taken before the dictionary and the alias are written, let go after the dictionary is
    // gone: the alias is one registry key for the whole machine, and another call setting it
    // between this one's writing and opening would send this one's work into its directory.
    btrieve::TAliasLock aliasLock_;
    // Deleted again even when the workspace fails half-built.
    DictionaryInstallation dictionary_;
    platform::AnsiString directory_;
    TAccess access_;
    std::unique_ptr<btrieve::TQbDatabase> database_;
    std::unique_ptr<btrieve::TQbTable> table_;
};

}  // namespace setrix
