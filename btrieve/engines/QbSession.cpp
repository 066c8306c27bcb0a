#include "btrieve/engines/QbSession.h"

#include <mutex>

#include "platform/DataSetTypes.h"

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/VCLScreenApplication.h"
#include "btrieve/engines/BtrSqlSession.h"
#include "btrieve/engines/QbDatabase.h"
#include "btrieve/engines/QbTable.h"

namespace btrieve {

namespace {

// Module-wide state of the binding. The list pointer stays valid while the list is
// being destroyed: the sessions it frees then still reach it.
struct TBindingState {
    std::unique_ptr<TVirtEng> engine;
    std::unique_ptr<TQbSessionList> ownedList;
    TQbSessionList* sessionList = nullptr;
    TQnSession* defaultSession = nullptr;
    // The engine lock: recursive, since a locked operation may start or stop sessions
    // that take it again.
    std::unique_ptr<std::recursive_mutex> engineLock;

    // A module that ends without its unit end (a process exit) leaves what is still held
    // to the process: freeing it here would stop sessions and unload client libraries in
    // no defined order with other static state, under the loader lock.
    ~TBindingState() {
        (void)engine.release();
        (void)ownedList.release();
        (void)engineLock.release();
    }
};

TBindingState& State() {
    static TBindingState state;
    return state;
}

std::recursive_mutex& EngineLock() {
    if (!State().engineLock) platform::DatabaseError("The Btrieve library is not started");
    return *State().engineLock;
}

const platform::TClassInfo* const* ComponentClasses() {
    static const platform::TClassInfo* const classes[] = {
        &TQbSession::StaticClassInfo(), &TQbDatabase::StaticClassInfo(), &TQbTable::StaticClassInfo(),
        &TQbBatchMove::StaticClassInfo(), nullptr};
    return classes;
}

}  // namespace

namespace qbbinding {
TVirtEng* Engine() { return State().engine.get(); }
TQbSessionList* SessionList() { return State().sessionList; }
TQnSession* DefaultSession() { return State().defaultSession; }
}  // namespace qbbinding

// ---------------------------------------------------------------- session list

TQbSessionList::TQbSessionList() {
    State().sessionList = this;
    Start();
}

TQbSessionList::~TQbSessionList() {
    Finish();
    State().sessionList = nullptr;
}

TVirtEng* TQbSessionList::EngineInstance() { return State().engine.get(); }
TQnSession* TQbSessionList::PrimarySession() { return State().defaultSession; }
const platform::TClassInfo& TQbSessionList::SessionComponentClass() { return TQbSession::StaticClassInfo(); }
void TQbSessionList::CreateEngineLock() { State().engineLock = std::make_unique<std::recursive_mutex>(); }
void TQbSessionList::DestroyEngineLock() { State().engineLock.reset(); }

// ---------------------------------------------------------------- session

const platform::TClassInfo& TQbSession::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TQbSession>("TQbSession", &TQnSession::StaticClassInfo());
    return info;
}

TVirtEng* TQbSession::EngineInstance() { return State().engine.get(); }
void TQbSession::AssignEngineInstance(std::unique_ptr<TVirtEng> engine) { State().engine = std::move(engine); }
void TQbSession::EnterEngineLock() { EngineLock().lock(); }
bool TQbSession::TryEnterEngineLock() { return EngineLock().try_lock(); }
void TQbSession::LeaveEngineLock() { EngineLock().unlock(); }
TQnSessionlist* TQbSession::BindSessionList() { return State().sessionList; }
TSessionClass TQbSession::EngineSessionClass() { return CreateSessionOf<TBtrSqlSession>; }
TQnSession* TQbSession::PrimarySession() { return State().defaultSession; }
const platform::TClassInfo& TQbSession::DatabaseComponentClass() { return TQbDatabase::StaticClassInfo(); }
const platform::TClassInfo& TQbSession::TableComponentClass() { return TQbTable::StaticClassInfo(); }

// ---------------------------------------------------------------- unit start and end

void StartQbBinding() {
    TBindingState& state = State();
    if (state.sessionList) return;
    state.ownedList = std::make_unique<TQbSessionList>();
    auto session = platform::NewUnownedComponent<TQbSession>();
    session->SetSessionName("Btrieve");
    state.defaultSession = session.get();
    state.sessionList->AdoptSession(std::move(session));
    for (auto classes = ComponentClasses(); *classes; ++classes) platform::RegisterComponentClass(**classes);
}

void StopQbBinding() {
    TBindingState& state = State();
    if (!state.sessionList) return;
    for (auto classes = ComponentClasses(); *classes; ++classes) platform::UnregisterComponentClass(**classes);
    // The list frees the default session (and any other left), then the engine lock.
    std::unique_ptr<TQbSessionList> list = std::move(state.ownedList);
    state.sessionList = list.get();
    list.reset();
    state.defaultSession = nullptr;
    state.engine.reset();
}

void StartBtrieveLibrary(bool inProgram) {
    StartBtrieveEngines();
    StartQbBinding();
    StartComponentsUnit(inProgram);
}

void StopBtrieveLibrary() {
    StopComponentsUnit();
    StopQbBinding();
    StopBtrieveEngines();
}

}  // namespace btrieve
