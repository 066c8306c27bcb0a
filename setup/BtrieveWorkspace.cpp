#include "setup/BtrieveWorkspace.h"

#include "btrieve/engines/QbDatabase.h"
#include "btrieve/engines/QbTable.h"
#include "setup/BtrieveDictionary.h"
#include "setup/ShortPath.h"

namespace setrix {

using platform::AnsiString;

namespace {
// The database and table components name the library's default session's database.
constexpr const char* DatabaseName = "Btrieve";
}  // namespace

BtrieveWorkspace::BtrieveWorkspace(const AnsiString& directory, TAccess access)
    : aliasLock_(EditorAlias), dictionary_(directory), directory_(directory), access_(access) {
    if (!dictionary_.Written() || access_ != TAccess::DatabaseComponent) return;
    SetEditorAlias(ShortPathName(directory));
    database_ = platform::NewUnownedComponent<btrieve::TQbDatabase>();
    database_->SetDatabaseName(DatabaseName);
    database_->SetAliasName(EditorAlias);
    database_->OpenConnection();
}

BtrieveWorkspace::~BtrieveWorkspace() {
    try {
        FreeTable();
    } catch (...) {
    }
    try {
        if (database_ && database_->Connected()) database_->CloseConnection();
    } catch (...) {
    }
}

btrieve::TQbTable& BtrieveWorkspace::Table(const AnsiString& fileName) {
    FreeTable();
    if (access_ == TAccess::AliasName) SetEditorAlias(ShortPathName(directory_));
    table_ = platform::NewUnownedComponent<btrieve::TQbTable>();
    table_->SetDatabaseName(access_ == TAccess::AliasName ? EditorAlias : DatabaseName);
    table_->SetTableName(fileName);
    return *table_;
}

void BtrieveWorkspace::FreeTable() {
    if (!table_) return;
    if (table_->Active()) table_->CloseDataSet();
    table_.reset();
}

}  // namespace setrix
