// Transactions per client, record and file locks across clients and processes, and what a
// process killed in the middle of its work leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <utility>

#include "platform/TextFile.h"
#include "standins/btrieve/LogFile.h"
#include "tests/standins/btrieve/BtrieveTestClient.h"
#include "tests/support/ImportPatch.h"

using namespace btrieve;
using namespace btrtest;

namespace {

const uint8_t kClientA[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'A', 'A', 10, 1};
const uint8_t kClientB[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'B', 'B', 10, 2};

Bytes Row(int32_t id, uint8_t fill = 'r') {
    Bytes r(108, fill);
    std::memcpy(r.data(), &id, 4);
    return r;
}

Bytes Key(int32_t id) {
    Bytes k(4);
    std::memcpy(k.data(), &id, 4);
    return k;
}

std::string NewFile(const std::string& tag) {
    std::string path = TempDirectory("concurrency") + tag + ".DAT";
    BtrFile f;
    EXPECT_EQ(f.Create(path, FileSpec(108, {{{1, 4, TypeInteger, KeyModifiable}}})), 0);
    return path;
}

std::vector<int32_t> Ids(BtrFile& f) {
    std::vector<int32_t> ids;
    for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) {
        int32_t id;
        std::memcpy(&id, f.lastRecord.data(), 4);
        ids.push_back(id);
    }
    return ids;
}

// Runs the helper program beside the test; killed (if still running) when it goes.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& arguments) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string exe(self);
        exe = exe.substr(0, exe.find_last_of('\\') + 1) + "wbtrv_test_child.exe";
        std::string commandLine = "\"" + exe + "\" " + arguments;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            process_.Reset(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    ~ChildProcess() { Kill(); }
    bool Started() const { return process_.Valid(); }
    void Kill() {
        if (process_.Valid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 9);
            WaitForSingleObject(process_.Get(), 10000);
        }
    }
    DWORD Wait() {
        WaitForSingleObject(process_.Get(), 20000);
        DWORD code = 999;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    platform::THandleOwner process_;
};

class NamedEvent {
public:
    explicit NamedEvent(const std::string& tag)
        : name_("wbtrv-test-" + tag + "-" + std::to_string(GetCurrentProcessId())),
          event_(CreateEventA(nullptr, TRUE, FALSE, name_.c_str())) {}
    const std::string& Name() const { return name_; }
    bool WaitFor(DWORD ms = 20000) { return WaitForSingleObject(event_.Get(), ms) == WAIT_OBJECT_0; }
    void Set() { SetEvent(event_.Get()); }

private:
    std::string name_;
    platform::THandleOwner event_;
};

// Opens the file with one record (id 1) and starts a process that holds a lock on it
// until the release event.
void StartLockHolder(const std::string& path, BtrFile& f, NamedEvent& release, std::unique_ptr<ChildProcess>& child) {
    ASSERT_EQ(f.Open(path), 0);
    ASSERT_EQ(f.Insert(Row(1)), 0);
    uint32_t position;
    ASSERT_EQ(f.GetPosition(position), 0);
    NamedEvent ready("ready");
    child = std::make_unique<ChildProcess>("lock \"" + path + "\" " + std::to_string(position) + " " + ready.Name() +
                                           " " + release.Name());
    ASSERT_TRUE(child->Started());
    ASSERT_TRUE(ready.WaitFor());
}

}  // namespace

TEST(Transactions, AbortRollsBackEveryFileOfTheClient) {
    std::string p1 = NewFile("abort1"), p2 = NewFile("abort2");
    BtrFile a1(kClientA), a2(kClientA);
    ASSERT_EQ(a1.Open(p1), 0);
    ASSERT_EQ(a2.Open(p2), 0);
    ASSERT_EQ(a1.Insert(Row(1)), 0);
    ASSERT_EQ(a1.Insert(Row(2)), 0);
    ASSERT_EQ(a2.Insert(Row(7)), 0);
    ASSERT_EQ(a1.Simple(OpBeginTransaction), 0);
    ASSERT_EQ(a1.Insert(Row(3)), 0);
    ASSERT_EQ(a1.Get(OpGetEqual, 0, Key(1)), 0);
    ASSERT_EQ(a1.Update(Row(1, 'u')), 0);
    ASSERT_EQ(a1.Get(OpGetEqual, 0, Key(2)), 0);
    ASSERT_EQ(a1.Delete(), 0);
    ASSERT_EQ(a2.Get(OpGetFirst, 0), 0);
    ASSERT_EQ(a2.Update(Row(8)), 0);  // key changes inside the transaction
    ASSERT_EQ(a2.Insert(Row(9)), 0);
    EXPECT_EQ(Ids(a1), (std::vector<int32_t>{1, 3}));  // the client sees its own changes
    ASSERT_EQ(a1.Simple(OpAbortTransaction), 0);
    EXPECT_EQ(Ids(a1), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(Ids(a2), (std::vector<int32_t>{7}));
    ASSERT_EQ(a1.Get(OpGetEqual, 0, Key(1)), 0);
    EXPECT_EQ(a1.lastRecord, Row(1));
    // Nothing of it reached the disk either.
    a1.Close();
    a2.Close();
    BtrFile again;
    ASSERT_EQ(again.Open(p1), 0);
    EXPECT_EQ(Ids(again), (std::vector<int32_t>{1, 2}));
    again.Close();
}

TEST(Transactions, EndMakesChangesLasting) {
    std::string p = NewFile("commit");
    BtrFile a(kClientA);
    ASSERT_EQ(a.Open(p), 0);
    ASSERT_EQ(a.Simple(kBeginConcurrentTransaction), 0);
    for (int i = 1; i <= 100; ++i) ASSERT_EQ(a.Insert(Row(i)), 0);
    ASSERT_EQ(a.Simple(OpEndTransaction), 0);
    a.Close();
    ASSERT_EQ(a.Open(p), 0);
    EXPECT_EQ(Ids(a).size(), 100u);
    a.Close();
}

TEST(Transactions, OtherClientWaitsForTheFile) {
    std::string p = NewFile("clients");
    BtrFile a(kClientA), b(kClientB);
    ASSERT_EQ(a.Open(p), 0);
    ASSERT_EQ(b.Open(p), 0);
    ASSERT_EQ(b.Insert(Row(1)), 0);
    ASSERT_EQ(a.Simple(OpBeginTransaction), 0);
    ASSERT_EQ(a.Insert(Row(2)), 0);
    EXPECT_EQ(b.Insert(Row(3)), StatusFileLocked);
    EXPECT_EQ(b.Simple(OpEndTransaction), StatusNoTransaction);  // the transaction is A's
    // Stop of client A rolls its transaction back and closes its files.
    uint8_t scratch[5] = {};
    uint32_t length = 5;
    uint8_t key[256] = {};
    ASSERT_EQ(a.Call(OpStop, scratch, &length, key, 0, 0), 0);
    EXPECT_EQ(a.Get(OpGetFirst, 0), StatusFileNotOpen);
    EXPECT_EQ(b.Insert(Row(3)), 0);
    EXPECT_EQ(Ids(b), (std::vector<int32_t>{1, 3}));
    b.Close();
}

TEST(Locks, RecordLockBetweenClients) {
    std::string p = NewFile("locks");
    BtrFile a(kClientA), b(kClientB);
    ASSERT_EQ(a.Open(p), 0);
    ASSERT_EQ(b.Open(p), 0);
    ASSERT_EQ(a.Insert(Row(1)), 0);
    ASSERT_EQ(a.Insert(Row(2)), 0);
    ASSERT_EQ(a.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(1)), 0);
    uint32_t position;
    ASSERT_EQ(a.GetPosition(position), 0);
    // B may read it, but not lock, change or delete it.
    ASSERT_EQ(b.Get(OpGetEqual, 0, Key(1)), 0);
    EXPECT_EQ(b.Update(Row(1, 'b')), StatusRecordLocked);
    EXPECT_EQ(b.Delete(), StatusRecordLocked);
    EXPECT_EQ(b.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(1)), StatusRecordLocked);
    // A single-record lock moves with A's next locked read.
    ASSERT_EQ(a.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(2)), 0);
    ASSERT_EQ(b.Get(OpGetEqual, 0, Key(1)), 0);
    EXPECT_EQ(b.Update(Row(1, 'b')), 0);
    ASSERT_EQ(b.Get(OpGetEqual, 0, Key(2)), 0);
    EXPECT_EQ(b.Update(Row(2, 'b')), StatusRecordLocked);
    // Unlock frees it.
    uint32_t length = 4;
    ASSERT_EQ(a.Call(OpUnlock, &position, &length, const_cast<uint8_t*>(a.Key()), 0), 0);
    EXPECT_EQ(b.Update(Row(2, 'b')), 0);
    // Multiple-record locks stay until unlocked all at once.
    ASSERT_EQ(a.Get(OpGetEqual + kMultipleNoWaitLockBias, 0, Key(1)), 0);
    ASSERT_EQ(a.Get(OpGetEqual + kMultipleNoWaitLockBias, 0, Key(2)), 0);
    ASSERT_EQ(b.Get(OpGetEqual, 0, Key(1)), 0);
    EXPECT_EQ(b.Delete(), StatusRecordLocked);
    ASSERT_EQ(a.Simple(OpUnlock, kUnlockMultipleAll), 0);
    EXPECT_EQ(b.Delete(), 0);
    // The owner's own update releases its lock.
    ASSERT_EQ(a.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(2)), 0);
    ASSERT_EQ(a.Update(Row(2, 'a')), 0);
    ASSERT_EQ(b.Get(OpGetEqual, 0, Key(2)), 0);
    EXPECT_EQ(b.Update(Row(2, 'c')), 0);
    // Stop of client A releases what it holds.
    ASSERT_EQ(a.Get(OpGetEqual + kMultipleNoWaitLockBias, 0, Key(2)), 0);
    EXPECT_EQ(b.Update(Row(2, 'd')), StatusRecordLocked);
    uint8_t scratch[5] = {};
    length = 5;
    ASSERT_EQ(a.Call(OpStop, scratch, &length, scratch, 0, 0), 0);
    EXPECT_EQ(b.Update(Row(2, 'd')), 0);
    b.Close();
}

// A record (id 1) of a file open here, locked by another process until `release`.
class LockHeldElsewhere : public ::testing::Test {
protected:
    void SetUp() override {
        path = NewFile(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NO_FATAL_FAILURE(StartLockHolder(path, f, release, child));
    }

    std::string path;
    BtrFile f;
    NamedEvent release{"release"};
    std::unique_ptr<ChildProcess> child;
};

TEST_F(LockHeldElsewhere, NoWaitReadsAndChangesAreRefused) {
    ASSERT_EQ(f.Get(OpGetEqual, 0, Key(1)), 0);
    EXPECT_EQ(f.Update(Row(1, 'x')), StatusRecordLocked);
    EXPECT_EQ(f.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(1)), StatusRecordLocked);
    release.Set();
    EXPECT_EQ(child->Wait(), 0u);
    EXPECT_EQ(f.Update(Row(1, 'x')), 0);
    f.Close();
}

// The record manager's attempts at record locks, seen as this process makes them: the first
// attempt the holder refuses sets an event (the holder's release), so that the lock goes only
// once the reader has found the record locked.
class ReleaseAtTheFirstRefusal {
public:
    explicit ReleaseAtTheFirstRefusal(const std::string& event)
        : patch_(kDefaultClientLibrary, "LockFileEx", Arm(event)) {}
    ~ReleaseAtTheFirstRefusal() { CloseHandle(std::exchange(release_, nullptr)); }
    bool Applied() const { return patch_.Applied(); }
    int Refusals() const { return refusals_; }

private:
    static const void* Arm(const std::string& event) {
        release_ = OpenEventA(EVENT_MODIFY_STATE, FALSE, event.c_str());
        refusals_ = 0;
        return reinterpret_cast<const void*>(&Attempt);
    }
    static BOOL WINAPI Attempt(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED at) {
        const BOOL locked = LockFileEx(file, flags, reserved, low, high, at);
        const uint64_t offset = (static_cast<uint64_t>(at->OffsetHigh) << 32) | at->Offset;
        const bool recordLock =
            offset >= wbtrv::LogFile::kRecordLockBase && offset < wbtrv::LogFile::kWriterRegion;
        if (!locked && recordLock && ++refusals_ == 1) SetEvent(release_);
        return locked;
    }

    static inline HANDLE release_ = nullptr;
    static inline std::atomic<int> refusals_{0};
    testsupport::ImportPatch patch_;
};

TEST_F(LockHeldElsewhere, WaitLockWaitsForTheRelease) {
    EXPECT_EQ(f.Get(OpGetEqual + kSingleNoWaitLockBias, 0, Key(1)), StatusRecordLocked);
    // The holder lets the record go once this read has found it locked: the read gets it
    // only by waiting.
    ReleaseAtTheFirstRefusal releasing(release.Name());
    ASSERT_TRUE(releasing.Applied());
    EXPECT_EQ(f.Get(OpGetEqual + kSingleWaitLockBias, 0, Key(1)), 0);
    EXPECT_GE(releasing.Refusals(), 1);
    EXPECT_EQ(child->Wait(), 0u);
    f.Close();
}

TEST(Processes, ChangesOfAnotherProcessAreSeen) {
    std::string p = NewFile("visible");
    BtrFile f;
    ASSERT_EQ(f.Open(p), 0);
    ASSERT_EQ(f.Insert(Row(1)), 0);
    ChildProcess child("insert \"" + p + "\" 2");
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(Ids(f), (std::vector<int32_t>{1, 2}));
    f.Close();
}

TEST(CrashSafety, ProcessKilledInTransactionLeavesNothing) {
    std::string p = NewFile("killtx");
    {
        BtrFile f;
        ASSERT_EQ(f.Open(p), 0);
        ASSERT_EQ(f.Insert(Row(1)), 0);
        f.Close();
    }
    NamedEvent ready("txready");
    ChildProcess child("transaction \"" + p + "\" " + ready.Name());
    ASSERT_TRUE(ready.WaitFor());
    child.Kill();
    BtrFile f;
    ASSERT_EQ(f.Open(p), 0);
    EXPECT_EQ(Ids(f), (std::vector<int32_t>{1}));
    EXPECT_EQ(f.Insert(Row(2)), 0);  // the writer's right died with the process
    f.Close();
}

TEST(CrashSafety, ProcessKilledWhileUpdatingLeavesWholeRecords) {
    std::string p = NewFile("killupdate");
    {
        BtrFile f;
        ASSERT_EQ(f.Open(p), 0);
        for (int i = 1; i <= 20; ++i) ASSERT_EQ(f.Insert(Row(i, 0)), 0);
        f.Close();
    }
    for (int round = 0; round < 3; ++round) {
        NamedEvent ready("upready" + std::to_string(round));
        ChildProcess child("update \"" + p + "\" " + ready.Name());
        ASSERT_TRUE(ready.WaitFor());
        Sleep(static_cast<DWORD>(7 * round));
        child.Kill();
        BtrFile f;
        ASSERT_EQ(f.Open(p), 0);
        int records = 0;
        for (int16_t s = f.Get(OpGetFirst, 0); s == 0; s = f.Get(OpGetNext, 0)) {
            ++records;
            ASSERT_EQ(f.lastRecord.size(), 108u);
            for (size_t i = 8; i < 108; ++i) ASSERT_EQ(f.lastRecord[i], f.lastRecord[4]) << "torn record";
        }
        EXPECT_EQ(records, 20);
        f.Close();
    }
}

// A write cut short at any byte: the file opens with every earlier change and without the
// cut one, and the next write goes on from there.
TEST(CrashSafety, TornTailIsIgnored) {
    std::string p = NewFile("torn");
    BtrFile f;
    ASSERT_EQ(f.Open(p), 0);
    ASSERT_EQ(f.Insert(Row(1)), 0);
    f.Close();
    WIN32_FILE_ATTRIBUTE_DATA before;
    ASSERT_TRUE(GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &before));
    ASSERT_EQ(f.Open(p), 0);
    ASSERT_EQ(f.Insert(Row(2)), 0);
    f.Close();
    WIN32_FILE_ATTRIBUTE_DATA after;
    ASSERT_TRUE(GetFileAttributesExA(p.c_str(), GetFileExInfoStandard, &after));
    const DWORD whole = after.nFileSizeLow, cutStart = before.nFileSizeLow;
    // Keep a copy of the complete file to cut from.
    std::string copy = p + ".whole";
    ASSERT_TRUE(CopyFileA(p.c_str(), copy.c_str(), FALSE));
    for (DWORD size = cutStart; size < whole; size += 7) {
        ASSERT_TRUE(CopyFileA(copy.c_str(), p.c_str(), FALSE));
        HANDLE h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFilePointer(h, static_cast<LONG>(size), nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        BtrFile g;
        ASSERT_EQ(g.Open(p), 0) << "cut at " << size;
        EXPECT_EQ(Ids(g), (std::vector<int32_t>{1})) << "cut at " << size;
        ASSERT_EQ(g.Insert(Row(3)), 0);
        g.Close();
        ASSERT_EQ(g.Open(p), 0);
        EXPECT_EQ(Ids(g), (std::vector<int32_t>{1, 3})) << "cut at " << size;
        g.Close();
    }
    // Garbage after the last whole frame reads the same way.
    ASSERT_TRUE(CopyFileA(copy.c_str(), p.c_str(), FALSE));
    HANDLE h = CreateFileA(p.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD done;
    WriteFile(h, "FRM1\x10\0\0\0garbage", 15, &done, nullptr);
    CloseHandle(h);
    ASSERT_EQ(f.Open(p), 0);
    EXPECT_EQ(Ids(f), (std::vector<int32_t>{1, 2}));
    f.Close();
}
