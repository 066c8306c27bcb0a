#include "TestBinding.h"

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/QnBatchMove.h"

namespace testbinding {

namespace {

// The memory engine's database with a field list, as a dictionary-backed engine has.
class TListingDatabase : public testengine::TTestDatabase {
public:
    using testengine::TTestDatabase::TTestDatabase;
    void OpenFieldList(const char* tableName, const char*, bool, TBaseTable*& cursor) override {
        CheckParam(tableName);
        if (!testengine::TTestStore::Get().tables.count(tableName)) RaiseEngineErrorMsg(0x2704, tableName);
        const auto fields = testengine::RowFields();
        cursor = MakeHandle<TBaseListTable>(this, static_cast<uint16_t>(fields.size()), fields.data(),
                                            static_cast<uint16_t>(sizeof(TEngineFieldDesc)), &Cursors());
    }
};

class TListingSession : public testengine::TTestSession {
public:
    using testengine::TTestSession::TTestSession;
    void CreateDatabaseObject(const TDatabaseDesc& desc, TBaseDatabase*& database, int32_t openMode,
                              int32_t shareMode, const char*, uint16_t paramCount,
                              const TEngineFieldDesc* paramDescs, const char* paramValues) override {
        lastDesc = desc;
        database = MakeHandle<TListingDatabase>(this, openMode, shareMode, paramCount, desc.name, paramDescs,
                                                paramValues, &desc, &Databases());
    }
};

class TTestBatchMove : public TQnBatchMove {
public:
    using TQnBatchMove::TQnBatchMove;
    TVirtEng* EngineInstance() override { return List().engine.get(); }
};

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
        platform::TClassInfo::Of<TTestSession>("TTestSession", &platform::TComponent::StaticClassInfo());
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
        platform::TClassInfo::Of<TTestDatabase>("TTestDatabase", &platform::TComponent::StaticClassInfo());
    return info;
}

const platform::TClassInfo& TTestTable::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestTable>("TTestTable", &platform::TComponent::StaticClassInfo());
    return info;
}

const platform::TClassInfo& TTestTable::BatchMoveClass() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TTestBatchMove>("TTestBatchMove", &platform::TComponent::StaticClassInfo());
    return info;
}

}  // namespace testbinding
