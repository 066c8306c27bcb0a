#include "btrieve/engines/BtrDatabase.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/engines/BtrListTables.h"
#include "btrieve/engines/BtrTable.h"
#include "btrieve/engines/BtrieveEngineError.h"
#include "btrieve/engines/BtrieveFields.h"
#include "btrieve/engines/TblResReader.h"
#include "btrieve/engines/WinBtr.h"
#include "platform/ScopeExit.h"

namespace btrieve {

namespace {

constexpr int32_t kTableNotInDictionary = 204;

// A handle made for one operation, freed on every path.
template <class T>
struct THandleGuard {
    T* item = nullptr;
    THandleGuard() = default;
    explicit THandleGuard(T* handle) : item(handle) {}
    ~THandleGuard() { FreeHandle(item); }
    THandleGuard(const THandleGuard&) = delete;
    THandleGuard& operator=(const THandleGuard&) = delete;
};

AnsiString DirectoryPart(const AnsiString& path) {
    const size_t at = path.find_last_of("\\:");
    return at == AnsiString::npos ? AnsiString() : path.substr(0, at + 1);
}

bool HasDirectoryPart(const AnsiString& path) { return path.find_first_of("\\:") != AnsiString::npos; }

uint16_t U16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

AnsiString TrimmedField(const uint8_t* record, size_t offset, size_t width) {
    return platform::Trim(FieldText(reinterpret_cast<const char*>(record + offset), width));
}

}  // namespace

TBtrDatabase::TBtrDatabase(TBapiListItem* session, const TDatabaseDesc& desc, const char* password,
                           int32_t openMode, int32_t shareMode, uint16_t paramCount,
                           const TEngineFieldDesc* paramDescs, const char* paramValues,
                           TQuillonCollection* collection)
    : TBaseDatabase(session, openMode, shareMode, paramCount, desc.name, paramDescs, paramValues, &desc, collection),
      password_(password ? password : "") {}

AnsiString TBtrDatabase::DatabaseDirectory() const {
    const AnsiString physical = FieldText(Desc().physicalName, sizeof Desc().physicalName);
    return physical.empty() ? physical : AddBackslash(physical);
}

void TBtrDatabase::SetDirectory(const char* path) {
    TWinBtr file(clientId_);
    file.SetDirectory(path);
}

AnsiString TBtrDatabase::GetDirectory() const {
    TWinBtr file(clientId_);
    file.GetDirectory(260);
    return FieldText(reinterpret_cast<const char*>(file.KeyBuffer()), 255);
}

AnsiString TBtrDatabase::OwnerName() const { return password_.empty() ? AnsiString(kDefaultOwner) : password_; }

AnsiString TBtrDatabase::DictionaryPath(const AnsiString& fileName) const {
    return DatabaseDirectory() + ExtractFileNamePart(fileName) + ";OWNER:" + OwnerName();
}

void TBtrDatabase::OpenDictionary(const AnsiString& fileName, TBaseTable*& cursor) {
    OpenTable(DictionaryPath(fileName).c_str(), nullptr, nullptr, nullptr, 0, 0, 1, 0, false, nullptr, cursor);
}

void TBtrDatabase::OpenTable(const char* tableName, const char*, const char* indexName, const char*,
                             uint16_t, int32_t openMode, int32_t shareMode, int32_t, bool, const void*,
                             TBaseTable*& cursor) {
    CheckParam(tableName);
    const AnsiString name(tableName);
    auto* table = MakeHandle<TBtrTable>(this, clientId_, shareMode, openMode, tableName, &Cursors());
    try {
        const AnsiString proper = name.substr(0, name.find(';'));
        if (table->NameHasResource() && IsPathName(proper, true)) {
            table->SetFileName(ExpandTablePath(proper, DatabaseDirectory()).c_str());
            TTblResReader reader(*table);
            table->SetHasResourceDef(reader.Read(table->ResourceName()));
        }
        if (!table->HasResourceDef()) {
            AnsiString fileName;
            LookupTable(name, table->ExtraBuf(), fileName);
            table->SetFileName(fileName.c_str());
            // The definitions are read before the file opens: a dictionary file opened
            // exclusively would refuse the field list read over itself.
            LoadFieldDefinitions(*table, table->GetTableName());
        }
        table->OpenCursor();
    } catch (...) {
        FreeHandle(table);
        throw;
    }
    cursor = table;
    try {
        table->ComputeLayout();
        // Without an index name the cursor starts on key 0: the index id of the call (0xFFFF
        // from a table without DefaultIndex, a key yet to be added) names no Btrieve key.
        if (indexName && *indexName) table->SwitchToIndex(indexName, nullptr, 0, false);
        else if (table->File().SafeKeyCount() > 0) table->SwitchToIndex(nullptr, nullptr, 0, false);
    } catch (const EQuillonEngineError&) {
        table->CloseCursor();
        throw;
    }
}

void TBtrDatabase::LookupTable(const AnsiString& name, uint8_t* dictRecord, AnsiString& fileName) {
    std::memset(dictRecord, 0, kFileDdfRecordSize);
    fileName.clear();
    const AnsiString proper = name.substr(0, name.find(';'));
    const AnsiString databaseDirectory = DatabaseDirectory();
    AnsiString computed;
    TBaseTable* open = nullptr;
    try {
        FindCursor(proper.c_str(), open);
    } catch (const EQuillonEngineError&) {
        open = nullptr;
    }
    if (open) {
        computed = open->GetFileName();
        std::memcpy(dictRecord, open->ExtraBuf(), kFileDdfRecordSize);
    } else {
        const bool byPath = IsPathName(proper, true);
        const AnsiString givenDirectory = DirectoryPart(proper);
        const AnsiString locationDirectory = byPath && !givenDirectory.empty() ? givenDirectory : databaseDirectory;
        THandleGuard<TBtrTblListTable> list(MakeHandle<TBtrTblListTable>(this, clientId_, false, true, &Cursors()));
        list.item->OpenCursor();
        std::vector<uint8_t> record(kFileDdfRecordSize, 0);
        bool found = false;
        try {
            while (!found) {
                list.item->ReadDictRecord(0, record.data());
                // All 64 characters of the location: registration writes that many.
                const AnsiString location = TrimmedField(record.data(), fileddf::Loc, fileddf::LocSize);
                if (byPath) {
                    computed = HasDirectoryPart(location) ? location : locationDirectory + location;
                    found = platform::AnsiSameText(ExtractFileNamePart(proper), ExtractFileNamePart(computed));
                } else {
                    found = platform::AnsiSameText(TrimmedField(record.data(), fileddf::Name, fileddf::NameSize),
                                                   proper);
                    computed = HasDirectoryPart(location) ? location : databaseDirectory + location;
                }
            }
        } catch (const EQuillonBoundryError&) {
        }
        if (!found) RaiseBtrieveKeyError(kTableNotInDictionary, name);
        std::memcpy(dictRecord, record.data(), kFileDdfRecordSize);
    }
    fileName = computed;
    if (proper.find(':') != AnsiString::npos) fileName = proper;
    else if (computed.find(':') == AnsiString::npos && computed.find('\\', 1) != AnsiString::npos)
        fileName = databaseDirectory + computed;
}

void TBtrDatabase::LoadFieldDefinitions(TBtrTable& cursor, const AnsiString& name) {
    TBaseTable* other = nullptr;
    try {
        FindCursorByName(name.c_str(), other);
    } catch (const EQuillonEngineError&) {
        other = nullptr;
    }
    auto* sibling = dynamic_cast<TBtrBaseTable*>(other);
    if (sibling && sibling != &cursor && sibling->FieldCache().Count() > 0) {
        cursor.FieldCache().Clear();
        for (int n = 1; n <= sibling->FieldCache().Count(); ++n) {
            const TFieldCacheItem& item = sibling->FieldCache().Item(n);
            TEngineFieldDesc desc = item.Desc();
            desc.localType = item.LocalType();
            desc.localSize = item.LocalSize();
            cursor.FieldCache().Add(desc);
        }
        // Index names come from the same dictionary records: selecting by name must work too.
        cursor.IndexNames() = sibling->IndexNames();
    } else {
        THandleGuard<TBtrFieldListTable> list(OpenDictionaryFieldList(cursor.ExtraBuf(), name));
        cursor.FieldCache().Clear();
        cursor.IndexNames().clear();
        uint8_t record[kFieldDdfRecordSize];
        uint16_t number = 0;
        try {
            for (;;) {
                list.item->ReadDictRecord(0, record);
                if (record[fieldddf::DataType] == fieldddf::IndexNameType) {
                    cursor.SetIndexName(U16(record + fieldddf::Offset),
                                        TrimmedField(record, fieldddf::Name, fieldddf::NameSize));
                    continue;
                }
                TEngineFieldDesc desc{};
                uint16_t localSize = 0, localType = 0;
                cursor.DescFromDictRecord(++number, record, localSize, localType, desc);
                cursor.FieldCache().Add(desc);
            }
        } catch (const EQuillonBoundryError&) {
        }
    }
    uint16_t count = 0, length = 0;
    cursor.GetFieldCountAndRecLen(count, length);
}

TBtrFieldListTable* TBtrDatabase::OpenDictionaryFieldList(const uint8_t* dictRecord, const AnsiString& name) {
    auto* list = MakeHandle<TBtrFieldListTable>(this, clientId_, &Cursors());
    try {
        list->OpenCursor();
        if (dictRecord && U16(dictRecord) != 0) {
            list->SetDictRecord(dictRecord);
        } else {
            uint8_t record[kFileDdfRecordSize];
            AnsiString fileName;
            LookupTable(name, record, fileName);
            list->SetDictRecord(record);
        }
        list->SwitchToKey(1);
    } catch (...) {
        FreeHandle(list);
        throw;
    }
    return list;
}

bool TBtrDatabase::TableExists(const char* name) {
    CheckParam(name);
    if (!IsPathName(name, true)) return TBaseDatabase::TableExists(name);
    const AnsiString path = ExpandTablePath(name, DatabaseDirectory());
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void TBtrDatabase::OpenTableList(bool extended, bool systemTables, const char*, TBaseTable*& cursor) {
    cursor = OpenNewCursor(MakeHandle<TBtrTblListTable>(this, clientId_, extended, systemTables, &Cursors()));
}

void TBtrDatabase::OpenFieldList(const char* tableName, const char*, bool, TBaseTable*& cursor) {
    CheckParam(tableName);
    if (platform::AnsiUpperCase(tableName).find(";RES:") != AnsiString::npos) {
        auto* list = MakeHandle<TResFieldListTable>(this, tableName, &Cursors());
        try {
            list->OpenCursor();
            cursor = list;
            return;
        } catch (const EQuillonEngineError&) {
            FreeHandle(list);
        }
    }
    cursor = OpenDictionaryFieldList(nullptr, tableName);
}

void TBtrDatabase::CreateTableObject(TTableCreateDesc& desc, TBaseTable*& table) {
    const AnsiString fileName =
        ExpandTablePath(FieldText(desc.tableName, sizeof desc.tableName), DatabaseDirectory());
    if (desc.fieldCount == 0 || !desc.fields) RaiseEngineError(rc::InvalidRecStruct);
    // The password becomes the file's owner name, which holds at most 8 characters: a
    // longer one would leave the file unprotected, so nothing is made.
    const AnsiString owner = FieldText(desc.password, sizeof desc.password);
    if (owner.size() > kOwnerNameSize) RaiseEngineError(rc::InvalidTableCreate);
    std::vector<uint8_t> spec(kStatBufferSize, 0);
    FileSpecHeader header{};
    uint32_t recordLength = 0;
    for (uint16_t i = 0; i < desc.fieldCount; ++i) {
        const TEngineFieldDesc& f = desc.fields[i];
        if (recordLength < f.offset) recordLength = f.offset;
        recordLength += f.length;
    }
    if (recordLength > 0xFFFF) RaiseEngineError(rc::InvalidRecStruct);
    header.recordLength = static_cast<uint16_t>(recordLength);
    header.pageSize = 4096;
    header.keyCount = static_cast<uint8_t>(desc.indexCount);
    std::memcpy(spec.data(), &header, sizeof header);
    size_t at = sizeof header;
    for (uint16_t k = 0; k < desc.indexCount && desc.indexes; ++k) {
        const TEngineIndexDesc& index = desc.indexes[k];
        const int fields = std::min<int>(index.fieldsInKey, 16);
        if (fields == 0) RaiseEngineError(rc::InvalidRecStruct);
        for (int i = 0; i < fields; ++i) {
            // A key field must be one of the descriptor's fields.
            const uint16_t number = index.keyFields[i];
            if (number < 1 || number > desc.fieldCount) RaiseEngineError(rc::InvalidRecStruct);
            if (at + sizeof(KeySegmentSpec) > spec.size()) RaiseEngineError(rc::InvalidRecStruct);
            const TEngineFieldDesc& f = desc.fields[number - 1];
            KeySegmentSpec s{};
            s.position = static_cast<uint16_t>(f.offset + 1);
            s.length = f.length;
            s.flags = KeyModifiable;
            if (i + 1 < fields) s.flags |= KeySegmented;
            if (!index.unique) s.flags |= KeyDuplicates;
            if (index.descending) s.flags |= KeyDescending;
            if (index.caseInsensitive) s.flags |= KeyCaseInsensitive;
            s.dataType = static_cast<uint8_t>(f.fieldType);
            std::memcpy(spec.data() + at, &s, sizeof s);
            at += sizeof s;
        }
    }
    {
        TWinBtr creator(clientId_);
        creator.Create(fileName.c_str(), spec.data(), kStatBufferSize);
        if (!owner.empty()) {
            // Only an open file takes an owner; a file that could not get its owner is
            // not left behind unprotected.
            try {
                creator.Open(fileName.c_str(), nullptr, kOpenNormal);
                creator.SetOwner(owner.c_str(), kOwnerRequiredForAllAccess);
                creator.Close();
            } catch (...) {
                // The file goes whether or not it closes; the caller hears why it could
                // not be made, not why it would not close.
                if (creator.IsOpen()) platform::CleanUpStep([&] { creator.Close(); });
                DeleteFileA(fileName.c_str());
                throw;
            }
        }
    }
    const AnsiString openName = owner.empty() ? fileName : fileName + ";OWNER:" + owner;
    auto* created = MakeHandle<TBtrTable>(this, clientId_, 0, 0, openName.c_str(), &Cursors());
    try {
        created->SetFileName(fileName.c_str());
        created->OpenCursor();
    } catch (...) {
        FreeHandle(created);
        throw;
    }
    table = created;
    try {
        for (uint16_t i = 0; i < desc.fieldCount; ++i) {
            TEngineFieldDesc d = desc.fields[i];
            const uint8_t btrieveType = static_cast<uint8_t>(d.fieldType);
            const TLogicalType logical = MapBtrieveType(btrieveType, d.length);
            d.fieldNumber = static_cast<uint16_t>(i + 1);
            d.localType = btrieveType;
            d.localSize = d.length;
            d.fieldType = logical.type;
            d.subType = logical.subType;
            d.units1 = logical.units;
            created->FieldCache().Add(d);
        }
        created->ComputeLayout();
        if (desc.indexCount > 0) created->SwitchToIndex(nullptr, nullptr, 0, false);
    } catch (const EQuillonEngineError&) {
        platform::CleanUpStep([&] { created->CloseCursor(); });
        throw;
    }
}

bool TBtrDatabase::FindDictionaryEntry(TWinBtr& fileDdf, const AnsiString& name) {
    const AnsiString wanted = platform::Trim(name);
    try {
        fileDdf.GetFirst();
        for (;;) {
            // The whole name, any case: a part of a name must not pick another table.
            if (platform::AnsiSameText(TrimmedField(fileDdf.DataBuffer(), fileddf::Name, fileddf::NameSize), wanted))
                return true;
            fileDdf.GetNext();
        }
    } catch (const EQuillonBoundryError&) {
    }
    return false;
}

void TBtrDatabase::DeleteTable(const char* tableName, const char*) {
    CheckParam(tableName);
    // The dictionary files are read as plain files: their records are only compared
    // by table id, and an exclusive open leaves no room for field lists over them.
    // Inside the caller's transaction the deletions are part of it; otherwise they get one
    // of their own.
    const bool ownTransaction = tranState_ != 1;
    if (ownTransaction) BeginTran(2);
    try {
        uint16_t fileId = 0;
        {
            TWinBtr fileDdf(clientId_);
            fileDdf.Open((DatabaseDirectory() + "FILE.DDF").c_str(), OwnerName().c_str(), kOpenExclusive);
            if (!FindDictionaryEntry(fileDdf, tableName)) RaiseBtrieveKeyError(kTableNotInDictionary, tableName);
            fileId = U16(fileDdf.DataBuffer());
            fileDdf.Delete();
        }
        for (const char* dictionary : {"FIELD.DDF", "INDEX.DDF", "FIELDEXT.DDF"}) {
            const bool fields = std::strcmp(dictionary, "FIELD.DDF") == 0;
            TWinBtr file(clientId_);
            try {
                file.Open((DatabaseDirectory() + dictionary).c_str(), OwnerName().c_str(), kOpenExclusive);
            } catch (const EBtrieveEngineError& e) {
                // A dictionary without that file has nothing of the table to delete.
                if (!fields && e.Status() == StatusFileNotFound) continue;
                throw;
            }
            const size_t idAt = fields ? fieldddf::File : 0;
            try {
                file.GetFirst();
                for (;;) {
                    if (file.BufferSize() >= static_cast<int32_t>(idAt + 2) &&
                        U16(file.DataBuffer() + idAt) == fileId)
                        file.Delete();
                    file.GetNext();
                }
            } catch (const EQuillonBoundryError&) {
            }
        }
    } catch (...) {
        if (ownTransaction) {
            try {
                EndTran(2);
            } catch (...) {
            }
        }
        throw;
    }
    if (ownTransaction) EndTran(0);
}

void TBtrDatabase::RenameTable(const char* oldName, const char*, const char* newName) {
    CheckParam(oldName);
    CheckParam(newName);
    TWinBtr fileDdf(clientId_);
    fileDdf.Open((DatabaseDirectory() + "FILE.DDF").c_str(), OwnerName().c_str(), kOpenExclusive);
    if (!FindDictionaryEntry(fileDdf, oldName)) RaiseBtrieveKeyError(kTableNotInDictionary, oldName);
    fileDdf.LockNextRead();
    fileDdf.GetDirectOwn(fileDdf.GetPosition());
    // Blank-padded like every name of the dictionary, so the new name is found again.
    StrToPaddedBuf(fileDdf.DataBuffer() + fileddf::Name, AnsiString(newName).substr(0, fileddf::NameSize),
                   fileddf::NameSize);
    fileDdf.Update();
}

void TBtrDatabase::BeginTran(int32_t) {
    if (tranState_ == 1) RaiseEngineError(rc::ActiveTran);
    TWinBtr file(clientId_);
    file.BeginTran(true);
    tranState_ = 1;
}

void TBtrDatabase::EndTran(int32_t endMode) {
    TWinBtr file(clientId_);
    if (endMode == 2) {
        // After an abort no transaction is left, whatever the client answered: a state
        // kept at 1 would refuse every later BeginTran.
        tranState_ = 0;
        file.AbortTran();
        return;
    }
    file.EndTran();
    tranState_ = 0;
}

}  // namespace btrieve
