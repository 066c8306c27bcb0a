#include "TestBinding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/QnBatchMove.h"

namespace testbinding {


namespace {

// The memory cursor with index switching and record-by-key reads. The order of the
// records stays that of ID; the current index decides which fields a key compares.
constexpr uint16_t kRecordNotFound = 0x2206;
constexpr uint16_t kNotSufficientRights = 0x2902;

class TKeyedCursor : public testengine::TTestCursor {
public:
    using testengine::TTestCursor::TTestCursor;

    void SwitchToIndex(const char* indexName, const char*, uint16_t, bool) override {
        const std::string name = indexName ? indexName : "";
        if (name.empty()) {
            index_ = 0;
        } else if (name.rfind("IDX", 0) == 0 && name.size() == 4 && name[3] >= '0' && name[3] <= '3') {
            index_ = name[3] - '0';
        } else {
            RaiseEngineErrorMsg(rc::NoSuchIndex, name);
        }
        TTestCursor::GetIndexDesc(static_cast<uint16_t>(index_), IndexDesc());
    }
    void GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) override {
        TTestCursor::GetIndexDesc(number == 0 && !ListingIndexes() ? static_cast<uint16_t>(index_) : number, desc);
    }
    void GetRecordForKey(bool, uint16_t fieldCount, uint16_t partialLength, const void* key,
                         uint8_t* record) override {
        testengine::TRow wanted;
        std::memcpy(&wanted, key, sizeof wanted);
        TEngineIndexDesc desc;
        TTestCursor::GetIndexDesc(static_cast<uint16_t>(index_), desc);
        auto& rows = Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            bool match = true;
            for (uint16_t k = 0; k < desc.fieldsInKey && match; ++k) {
                const bool partialField = k == fieldCount && partialLength > 0;
                if (k >= fieldCount && !partialField) break;
                switch (desc.keyFields[k]) {
                case 1: match = rows[i].id == wanted.id; break;
                case 2:
                    match = partialField ? std::strncmp(rows[i].name, wanted.name, partialLength) == 0
                                         : std::strncmp(rows[i].name, wanted.name, sizeof wanted.name) == 0;
                    break;
                default: match = rows[i].flag == wanted.flag; break;
                }
            }
            if (match) {
                SetToBookMark(&rows[i].id);
                if (record) std::memcpy(record, &rows[i], sizeof rows[i]);
                return;
            }
        }
        RaiseEngineError(kRecordNotFound);
    }

private:
    int index_ = 0;
};

// Table "B": the rows of the memory engine whose FLAG field is a memo; a non-zero FLAG
// says the record has a blob, whose bytes the engine keeps by ID.
class TBlobCursor : public TKeyedCursor {
public:
    TBlobCursor(TBapiListItem* database, TQuillonCollection* collection, const char* table, int32_t openMode,
                int32_t shareMode)
        : TKeyedCursor(database, collection, table, openMode, shareMode) {
        FieldCache().Clear();
        auto fields = testengine::RowFields();
        fields[2].fieldType = fldtype::Blob;
        fields[2].subType = 22;
        for (const auto& d : fields) FieldCache().Add(d);
    }
    void OpenBlob(uint8_t*, uint16_t field, int) override { CheckField(field); }
    void GetBlobSize(uint8_t* record, uint16_t field, uint32_t& size) override {
        CheckField(field);
        if (BlobStore().failing) RaiseEngineError(rc::WriteErr);
        size = static_cast<uint32_t>(Blob(record).size());
    }
    void GetBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, void* destination,
                 uint32_t& bytesRead) override {
        CheckField(field);
        if (BlobStore().failing) RaiseEngineError(rc::WriteErr);
        ++BlobStore().reads;
        const std::string& blob = Blob(record);
        if (offset > blob.size()) RaiseEngineError(0x270E);
        bytesRead = static_cast<uint32_t>(std::min<size_t>(length, blob.size() - offset));
        std::memcpy(destination, blob.data() + offset, bytesRead);
    }
    void PutBlob(uint8_t* record, uint16_t field, uint32_t offset, uint32_t length, const void* source) override {
        CheckField(field);
        std::string& blob = Blob(record);
        if (blob.size() < offset + length) blob.resize(offset + length);
        if (length) std::memcpy(blob.data() + offset, source, length);
        reinterpret_cast<testengine::TRow*>(record)->flag = 1;
    }
    void TruncateBlob(uint8_t* record, uint16_t field, uint32_t length) override {
        CheckField(field);
        Blob(record).resize(std::min<size_t>(length, Blob(record).size()));
        reinterpret_cast<testengine::TRow*>(record)->flag = 1;
    }

private:
    static void CheckField(uint16_t field) {
        if (field != 3) RaiseEngineError(rc::InvalidParam);
    }
    static std::string& Blob(const uint8_t* record) {
        return BlobStore().blobs[reinterpret_cast<const testengine::TRow*>(record)->id];
    }
};

// Table "IX": the index descriptors the test gives.
class TDescribedCursor : public TKeyedCursor {
public:
    using TKeyedCursor::TKeyedCursor;
    void GetCursorProps(TCursorProps& props) override {
        TKeyedCursor::GetCursorProps(props);
        props.indexCount = static_cast<uint16_t>(describedIndexes().size());
    }
    void GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) override {
        if (number >= describedIndexes().size()) RaiseEngineError(rc::NoSuchIndex);
        desc = describedIndexes()[number];
    }
};

// The memory engine's database with keyed cursors and a field list, as a
// dictionary-backed engine has.
class TListingDatabase : public testengine::TTestDatabase {
public:
    using testengine::TTestDatabase::TTestDatabase;
    void OpenTable(const char* tableName, const char*, const char* indexName, const char*, uint16_t indexId,
                   int32_t openMode, int32_t shareMode, int32_t, bool, const void*, TBaseTable*& cursor) override {
        CheckParam(tableName);
        EngineCalls().opens.push_back({indexId, openMode, shareMode});
        if (!testengine::TTestStore::Get().tables.count(tableName)) RaiseEngineErrorMsg(0x2704, tableName);
        if (protectedTables().count(tableName)) RaiseEngineError(kNotSufficientRights);
        const auto readOnly = readOnlyTables().find(tableName);
        if (readOnly != readOnlyTables().end() && (openMode == 0 || readOnly->second))
            RaiseEngineError(rc::TableReadOnly);
        TKeyedCursor* opened =
            std::string(tableName) == "B"    ? MakeHandle<TBlobCursor>(this, &Cursors(), tableName, openMode, shareMode)
            : std::string(tableName) == "IX" ? MakeHandle<TDescribedCursor>(this, &Cursors(), tableName, openMode, shareMode)
                                             : MakeHandle<TKeyedCursor>(this, &Cursors(), tableName, openMode, shareMode);
        opened->OpenCursor();
        if (indexName && *indexName) opened->SwitchToIndex(indexName, nullptr, 0, false);
        cursor = opened;
    }
    void OpenFieldList(const char* tableName, const char*, bool, TBaseTable*& cursor) override {
        CheckParam(tableName);
        if (!testengine::TTestStore::Get().tables.count(tableName)) RaiseEngineErrorMsg(0x2704, tableName);
        const auto fields = testengine::RowFields();
        cursor = MakeHandle<TBaseListTable>(this, static_cast<uint16_t>(fields.size()), fields.data(),
                                            static_cast<uint16_t>(sizeof(TEngineFieldDesc)), &Cursors());
    }
};

// The cursors of the typed database: they take the dataset's update mode, note the
// properties set on them, and keep every index but the last one maintained.
class TTypedCursor : public TKeyedCursor {
public:
    using TKeyedCursor::TKeyedCursor;
    void CheckPropWritable(uint32_t id, bool raise) override {
        if (id != kUpdateModeProp) TKeyedCursor::CheckPropWritable(id, raise);
    }
    void SetProp(uint32_t id, intptr_t value) override {
        char text[48];
        if (id == kAutoIncProp || id == kDefaultProp) {
            const auto* pair = reinterpret_cast<const int16_t*>(value);
            std::snprintf(text, sizeof text, "0x%X=%d,%d", id, pair[0], pair[1]);
        } else {
            std::snprintf(text, sizeof text, "0x%X=%d", id, static_cast<int>(value));
        }
        if (id == kUpdateModeProp || id == kAutoIncProp || id == kDefaultProp || id == kAutoRefreshProp)
            EngineCalls().cursorProps.push_back(text);
        TKeyedCursor::SetProp(id, value);
    }
    void GetIndexDesc(uint16_t number, TEngineIndexDesc& desc) override {
        TKeyedCursor::GetIndexDesc(number, desc);
        desc.maintained = desc.indexId == 3 ? 0 : -1;
    }

private:
    static constexpr uint32_t kUpdateModeProp = 0x4050000, kAutoIncProp = 0x50015, kDefaultProp = 0x50016,
                              kAutoRefreshProp = 0x50017;
};

class TTypedDatabase : public TListingDatabase {
public:
    using TListingDatabase::TListingDatabase;
    AnsiString GetDbType() const override { return "BTRIEVE"; }
    void OpenTable(const char* tableName, const char*, const char* indexName, const char*, uint16_t,
                   int32_t openMode, int32_t shareMode, int32_t, bool, const void*, TBaseTable*& cursor) override {
        CheckParam(tableName);
        if (!listing_) EngineCalls().tableOpens.push_back(indexName ? indexName : "");
        if (!testengine::TTestStore::Get().tables.count(tableName)) RaiseEngineErrorMsg(0x2704, tableName);
        auto* opened = MakeHandle<TTypedCursor>(this, &Cursors(), tableName, openMode, shareMode);
        opened->OpenCursor();
        if (indexName && *indexName) opened->SwitchToIndex(indexName, nullptr, 0, false);
        cursor = opened;
    }
    void OpenIndexList(const char* tableName, uint16_t indexId, TBaseTable*& cursor) override {
        ++EngineCalls().indexLists;
        listing_ = true;
        try {
            TListingDatabase::OpenIndexList(tableName, indexId, cursor);
        } catch (...) {
            listing_ = false;
            throw;
        }
        listing_ = false;
    }

private:
    bool listing_ = false;  // the list's own cursor is no table open of the components
};

// A database whose type cannot be read (its path names "BADTYPE").
class TBadTypeDatabase : public TListingDatabase {
public:
    using TListingDatabase::TListingDatabase;
    void GetProp(uint32_t id, void* value, uint16_t& length, uint16_t bufferLength) override {
        if ((id & 0xFFFF) == 2) RaiseEngineError(rc::NotAvailable);
        TListingDatabase::GetProp(id, value, length, bufferLength);
    }
};

class TListingSession : public testengine::TTestSession {
public:
    using testengine::TTestSession::TTestSession;
    void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                              int32_t shareMode, const char* password, uint16_t paramCount,
                              const TEngineFieldDesc* paramDescs, const char* paramValues) override {
        lastDesc = desc;
        if (std::strstr(desc.physicalName, "TYPED")) {
            TEngineCalls& calls = EngineCalls();
            calls.password = password ? password : "";
            calls.paramDescs.assign(paramDescs, paramDescs + paramCount);
            size_t end = 0;
            for (const auto& d : calls.paramDescs) end = std::max<size_t>(end, d.offset + d.length);
            calls.paramValues.assign(paramValues, paramValues + end);
            database = MakeHandle<TTypedDatabase>(this, openMode, shareMode, paramCount, desc.name, paramDescs,
                                                  paramValues, &desc, &Databases());
        } else if (std::strstr(desc.physicalName, "BADTYPE"))
            database = MakeHandle<TBadTypeDatabase>(this, openMode, shareMode, paramCount, desc.name, paramDescs,
                                                    paramValues, &desc, &Databases());
        else
            database = MakeHandle<TListingDatabase>(this, openMode, shareMode, paramCount, desc.name, paramDescs,
                                                    paramValues, &desc, &Databases());
    }
};

class TTestBatchMove : public TQnBatchMove {
public:
    using TQnBatchMove::TQnBatchMove;
    TVirtEng* EngineInstance() override { return List().engine.get(); }
};

}  // namespace

TEngineCalls& EngineCalls() {
    static TEngineCalls calls;
    return calls;
}

TBlobStore& BlobStore() {
    static TBlobStore store;
    return store;
}

std::map<std::string, bool>& readOnlyTables() {
    static std::map<std::string, bool> names;
    return names;
}

std::set<std::string>& protectedTables() {
    static std::set<std::string> names;
    return names;
}

std::vector<TEngineIndexDesc>& describedIndexes() {
    static std::vector<TEngineIndexDesc> descs;
    return descs;
}

namespace {

std::unique_ptr<TTestSessionList>& Holder() {
    static std::unique_ptr<TTestSessionList> list;
    return list;
}

}  // namespace

TSessionClass EngineSessionClass() { return CreateSessionOf<TListingSession>; }

TTestSessionList::TTestSessionList() = default;
TTestSessionList::~TTestSessionList() = default;

const platform::TClassInfo& TTestSessionList::SessionComponentClass() { return TTestSession::StaticClassInfo(); }

TTestSessionList& List() { return *Holder(); }

void StartBinding() {
    Holder() = std::make_unique<TTestSessionList>();
    Holder()->Start();
    auto primary = platform::NewUnownedComponent<TTestSession>();
    primary->SetSessionName("Btrieve");
    Holder()->primary = primary.get();
    Holder()->AdoptSession(std::move(primary));
}

void StopBinding() {
    // The sessions stop while the list is still reachable through List().
    Holder()->Finish();
    Holder().reset();
}

const platform::TClassInfo& TTestSession::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestSession>("TTestSession", &TQnSession::StaticClassInfo());
    return info;
}

void TTestSession::AssignEngineInstance(std::unique_ptr<TVirtEng> engine) {
    if (engine) ++List().facadesMade;
    List().engine = std::move(engine);
}

TSessionClass TTestSession::EngineSessionClass() { return testbinding::EngineSessionClass(); }

const platform::TClassInfo& TTestSession::DatabaseComponentClass() { return TTestDatabase::StaticClassInfo(); }
const platform::TClassInfo& TTestSession::TableComponentClass() { return TTestTable::StaticClassInfo(); }

const platform::TClassInfo& TTestDatabase::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestDatabase>("TTestDatabase", &TQnDatabase::StaticClassInfo());
    return info;
}

const platform::TClassInfo& TTestTable::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestTable>("TTestTable", &TQnTable::StaticClassInfo());
    return info;
}

const platform::TClassInfo& TTestTable::BatchMoveClass() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestBatchMove>("TTestBatchMove", &TQnBatchMove::StaticClassInfo());
    return info;
}

}  // namespace testbinding
