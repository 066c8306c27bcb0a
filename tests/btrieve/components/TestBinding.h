// A binding of the dataset components to the memory test engine, as the engine layer
// binds them to its own engines: one session list with the primary session "Btrieve",
// the facade it starts, and concrete session, database and table classes.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "btrieve/components/QnBlobStream.h"
#include "btrieve/components/QnDatabase.h"
#include "btrieve/components/QnSession.h"
#include "btrieve/components/QnTable.h"
#include "tests/btrieve/base/TestEngine.h"

namespace testbinding {

using namespace btrieve;

// The binding's engine lock: recursive, and counting the threads held off by it, so that
// a test can wait until another thread waits for it instead of sleeping.
class TCountingLock {
public:
    void lock() {
        if (mutex_.try_lock()) return;
        ChangeWaiting(+1);
        mutex_.lock();
        ChangeWaiting(-1);
    }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() { mutex_.unlock(); }
    // Wakes the waits of WaitUntil to test their condition again.
    void Signal() {
        std::lock_guard guard(countGuard_);
        changed_.notify_all();
    }
    // Waits until the condition, given the number of threads held off, holds.
    template <class Condition>
    void WaitUntil(Condition condition) {
        std::unique_lock guard(countGuard_);
        changed_.wait(guard, [&] { return condition(waiting_); });
    }

private:
    void ChangeWaiting(int by) {
        std::lock_guard guard(countGuard_);
        waiting_ += by;
        changed_.notify_all();
    }
    std::recursive_mutex mutex_;
    std::mutex countGuard_;
    std::condition_variable changed_;
    int waiting_ = 0;
};

class TTestSessionList : public TQnSessionlist {
public:
    TTestSessionList();
    ~TTestSessionList() override;
    TVirtEng* EngineInstance() override { return engine.get(); }
    TQnSession* PrimarySession() override { return primary; }
    const platform::TClassInfo& SessionComponentClass() override;
    void CreateEngineLock() override { ++lockCreated; }
    void DestroyEngineLock() override { --lockCreated; }

    std::unique_ptr<TVirtEng> engine;
    TQnSession* primary = nullptr;
    TCountingLock lock;
    int lockCreated = 0;
    int facadesMade = 0;
};

TTestSessionList& List();
// The binding's unit start and end.
void StartBinding();
void StopBinding();

class TTestSession : public TQnSession {
public:
    using TQnSession::TQnSession;
    ~TTestSession() override { StopBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    TVirtEng* EngineInstance() override { return List().engine.get(); }
    void AssignEngineInstance(std::unique_ptr<TVirtEng> engine) override;
    void EnterEngineLock() override { List().lock.lock(); }
    bool TryEnterEngineLock() override { return List().lock.try_lock(); }
    void LeaveEngineLock() override { List().lock.unlock(); }
    TQnSessionlist* BindSessionList() override { return &List(); }
    TSessionClass EngineSessionClass() override;
    TQnSession* PrimarySession() override { return List().primary; }
    const platform::TClassInfo& DatabaseComponentClass() override;
    const platform::TClassInfo& TableComponentClass() override;
};

class TTestDatabase : public TQnDatabase {
public:
    using TQnDatabase::TQnDatabase;
    ~TTestDatabase() override { CloseBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    bool InitialLoginPrompt() override { return false; }
    TVirtEng* EngineInstance() override { return List().engine.get(); }
    void BindSessionList() override { StoreSessionList(&List()); }
    TQnSession* PrimarySession() override { return List().primary; }
};

class TTestTable : public TQnTable {
public:
    using TQnTable::TQnTable;
    ~TTestTable() override { CloseBeforeDestruction(); }
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& BatchMoveClass() override;
    TVirtEng* EngineInstance() override { return List().engine.get(); }
    void BindSessionList() override { StoreSessionList(&List()); }
    TQnSession* PrimarySession() override { return List().primary; }
    std::unique_ptr<platform::TStream> OpenBlobStream(platform::TField* field, platform::TBlobStreamMode mode) override {
        return std::make_unique<TQnBlobStream>(field, mode);
    }
};

// The engine session class of the binding: the memory engine with field, index and
// check lists, and a blob table.
TSessionClass EngineSessionClass();
// Tables the engine opens only read-only: it refuses read-write opens (and with true
// every open).
std::map<std::string, bool>& readOnlyTables();
// Tables the engine refuses for insufficient rights while they are listed, as a table
// that needs a password the session does not have yet.
std::set<std::string>& protectedTables();
// The index descriptors the engine gives for table "IX", in index order.
std::vector<TEngineIndexDesc>& describedIndexes();

// The blobs of table "B" by record ID, and how many reads reached the engine; with
// failing set, the engine refuses to give a blob's size or bytes.
struct TBlobStore {
    std::map<int32_t, std::string> blobs;
    int reads = 0;
    bool failing = false;
};
TBlobStore& BlobStore();

// What the engine was handed: the index id and the modes of every table open; on a
// database whose path names "TYPED" (a database that is not of the standard type, as
// the Btrieve database is): the password and parameter
// block of the database open, the index each table open named ("" for none), the index
// lists opened, and the update-mode and auto-refresh properties set on its cursors as
// "id=value" texts (a field record as "id=first,second").
struct TEngineCalls {
    struct TTableOpen {
        uint16_t indexId;
        int32_t openMode;
        int32_t shareMode;
        bool operator==(const TTableOpen&) const = default;
    };
    std::vector<TTableOpen> opens;  // every table open the engine was asked for, in order
    std::string password;
    std::vector<TEngineFieldDesc> paramDescs;
    std::vector<char> paramValues;
    std::vector<std::string> tableOpens;
    int indexLists = 0;
    std::vector<std::string> cursorProps;
};
TEngineCalls& EngineCalls();

// The message of the exception an action raises; empty when it raises none.
template <class Action>
AnsiString ErrorText(Action&& action) {
    try {
        action();
    } catch (const platform::Exception& error) {
        return error.Message();
    }
    return "";
}

}  // namespace testbinding
