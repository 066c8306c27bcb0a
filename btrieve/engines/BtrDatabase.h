// TBtrDatabase: the database of the Btrieve engine, a directory of Btrieve files with
// the dictionary files FILE.DDF, FIELD.DDF and INDEX.DDF. It opens tables by dictionary
// name or by path, reads their fields from the dictionary, lists tables and fields,
// creates, renames and deletes tables, runs transactions and sets the client's directory.
#pragma once

#include "btrieve/base/BaseDatabase.h"

namespace btrieve {

class TBtrTable;
class TBtrFieldListTable;
class TWinBtr;

class TBtrDatabase : public TBaseDatabase {
public:
    static constexpr const char* kDefaultOwner = "..RW....";

    TBtrDatabase(TBapiListItem* session, const TDatabaseDesc& desc, const char* password, int32_t openMode,
                 int32_t shareMode, uint16_t paramCount, const TEngineFieldDesc* paramDescs,
                 const char* paramValues, TQuillonCollection* collection);

    void SetClientId(const uint8_t* clientId) { clientId_ = clientId; }
    const uint8_t* ClientId() const { return clientId_; }

    AnsiString GetDbType() const override { return "BTRIEVE"; }
    void SetDirectory(const char* path) override;
    // The client's current directory.
    AnsiString GetDirectory() const override;
    // The directory the database was opened on, with a trailing backslash.
    AnsiString DatabaseDirectory() const;
    AnsiString OwnerName() const;
    AnsiString DictionaryPath(const AnsiString& fileName) const;
    void OpenDictionary(const AnsiString& fileName, TBaseTable*& cursor);

    void OpenTable(const char* tableName, const char* driverType, const char* indexName, const char* indexTag,
                   uint16_t indexId, int32_t openMode, int32_t shareMode, int32_t translateMode, bool unidirectional,
                   const void* optParams, TBaseTable*& cursor) override;
    // A path names a file of the database directory (not the client's current one).
    bool TableExists(const char* name) override;
    void OpenTableList(bool extended, bool systemTables, const char* wildcard, TBaseTable*& cursor) override;
    void OpenFieldList(const char* tableName, const char* driverType, bool physicalTypes,
                       TBaseTable*& cursor) override;
    void CreateTableObject(TTableCreateDesc& desc, TBaseTable*& table) override;
    void RenameTable(const char* oldName, const char* driverType, const char* newName) override;
    void DeleteTable(const char* tableName, const char* driverType) override;
    void BeginTran(int32_t isolation) override;
    void EndTran(int32_t endMode) override;

    // The FILE.DDF record and the file name of a table (by dictionary name or path).
    void LookupTable(const AnsiString& name, uint8_t* dictRecord, AnsiString& fileName);
    void LoadFieldDefinitions(TBtrTable& cursor, const AnsiString& name);
    // The field list of one table; the dictionary record is looked up when none is given.
    TBtrFieldListTable* OpenDictionaryFieldList(const uint8_t* dictRecord, const AnsiString& name);

protected:
    const AnsiString& Password() const { return password_; }
    void SetPassword(const AnsiString& password) { password_ = password; }

private:
    // Positions an open FILE.DDF on the record whose name is exactly that name (any case).
    static bool FindDictionaryEntry(TWinBtr& fileDdf, const AnsiString& name);

    const uint8_t* clientId_ = nullptr;
    AnsiString password_;
};

}  // namespace btrieve
