#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "Fixtures.h"
#include "oracle/core/Assertion.h"
#include "oracle/core/Blob.h"

namespace oracle {
namespace {

using test::TestStore;

std::vector<int32_t> Ids(const std::vector<std::pair<int32_t, int>>& visible) {
    std::vector<int32_t> ids;
    for (const auto& v : visible) ids.push_back(v.first);
    return ids;
}

// Visible numbers must run 1..RecordCount in list order.
void ExpectConsecutive(TestStore& store) {
    const auto visible = store.Visible();
    for (size_t i = 0; i < visible.size(); ++i) ASSERT_EQ(visible[i].second, static_cast<int>(i) + 1) << "at " << i;
    ASSERT_EQ(store.GetRecordCount(), static_cast<int>(visible.size()));
}

struct ModelRecord {
    int32_t id;
    TUpdateStatus status;
};

// Random inserts, deletes, updates and moves against a plain list, with and
// without cached updates and with a filter that hides some records.
class RecordListModel : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(RecordListModel, NumbersAndContentsFollowTheModel) {
    const auto [cached, filtered] = GetParam();
    TestStore store({{"ID", dtInteger}, {"V", dtInteger}});
    store.Open();
    std::vector<ModelRecord> model;
    int32_t nextId = 1;
    auto hidden = [](int32_t id) { return id % 5 == 0; };
    // Hidden records sit among the visible ones from the start.
    for (int i = 0; i < 30; ++i) {
        const int32_t id = nextId++;
        store.AppendInt(1, id);
        model.push_back({id, usUnmodified});
    }
    if (filtered) {
        store.FilterFunc = [&store, hidden](const void* record) { return !hidden(store.IntOf(record)); };
        store.FilterUpdated();
    }
    store.SetCachedUpdates(cached);

    auto visibleModel = [&] {
        std::vector<int32_t> ids;
        for (const ModelRecord& r : model)
            if (!(filtered && hidden(r.id)) && !(cached && r.status == usDeleted)) ids.push_back(r.id);
        return ids;
    };
    auto modelIndex = [&](int32_t id) {
        return std::find_if(model.begin(), model.end(), [id](const ModelRecord& r) { return r.id == id; });
    };

    std::mt19937 random(cached * 2 + filtered + 11);
    for (int step = 0; step < 1500; ++step) {
        SCOPED_TRACE(step);
        const std::vector<int32_t> visible = visibleModel();
        const int count = static_cast<int>(visible.size());
        const int op = static_cast<int>(random() % 6);
        const int k = count ? static_cast<int>(random() % count) + 1 : 0;
        if (op <= 1 || count == 0) {
            int32_t id = nextId++;
            while (filtered && hidden(id)) id = nextId++;
            if (op == 0 && count) {
                store.SetRecordNo(k);
                TRecordBuffer r = store.NewRecord();
                store.PutField(1, r.data(), &id);
                store.InsertRecord(r.data());
                model.insert(modelIndex(visible[static_cast<size_t>(k - 1)]), {id, usInserted});
            } else {
                store.AppendInt(1, id);
                model.push_back({id, usInserted});
            }
            if (!cached) model[static_cast<size_t>(modelIndex(id) - model.begin())].status = usUnmodified;
            ASSERT_EQ(store.CurrentInt(), id);
        } else if (op == 2) {
            store.SetRecordNo(k);
            auto it = modelIndex(visible[static_cast<size_t>(k - 1)]);
            store.DeleteRecord();
            if (!cached || it->status == usInserted)
                model.erase(it);
            else
                it->status = usDeleted;
        } else if (op == 3) {
            store.SetRecordNo(k);
            TRecordBuffer r = store.AllocRecBuf();
            store.GetRecord(r.data());
            const int32_t v = step;
            store.PutField(2, r.data(), &v);
            store.UpdateRecord(r.data());
            auto it = modelIndex(visible[static_cast<size_t>(k - 1)]);
            if (cached && it->status == usUnmodified) it->status = usModified;
        } else if (op == 4) {
            store.SetRecordNo(k);
            ASSERT_EQ(store.GetRecordNo(), k);
            ASSERT_EQ(store.CurrentInt(), visible[static_cast<size_t>(k - 1)]);
            store.GetNextRecord(nullptr);
            if (k == count)
                ASSERT_TRUE(store.Eof());
            else
                ASSERT_EQ(store.CurrentInt(), visible[static_cast<size_t>(k)]);
        } else {
            store.SetRecordNo(k);
            store.GetPriorRecord(nullptr);
            if (k == 1)
                ASSERT_TRUE(store.Bof());
            else
                ASSERT_EQ(store.GetRecordNo(), k - 1);
        }
        ASSERT_EQ(Ids(store.Visible()), visibleModel());
        ExpectConsecutive(store);
    }
    if (cached) {
        store.CancelUpdates();
        std::vector<int32_t> expected;
        for (const ModelRecord& r : model)
            if (r.status != usInserted && !(filtered && hidden(r.id))) expected.push_back(r.id);
        EXPECT_EQ(Ids(store.Visible()), expected);
        ExpectConsecutive(store);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RecordListModel, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST(RecordList, InsertInTheFirstHalfShiftsTheOffsetInsteadOfRenumberingTheRest) {
    TestStore store({{"ID", dtInteger}});
    store.Open();
    for (int32_t id = 1; id <= 100; ++id) store.AppendInt(1, id);
    store.SetRecordNo(10);
    TRecordBuffer r = store.NewRecord();
    const int32_t id = 1000;
    store.PutField(1, r.data(), &id);
    store.InsertRecord(r.data());
    EXPECT_EQ(store.RecordNoOffset(), 1);
    EXPECT_EQ(store.GetRecordNo(), 10);
    ExpectConsecutive(store);
}

// A cached store of records 1..5 whose apply handler follows a script of actions.
class CachedUpdates : public ::testing::Test {
protected:
    CachedUpdates() : store({{"ID", dtInteger}, {"V", dtInteger}}) {
        store.Open();
        for (int32_t id = 1; id <= 5; ++id) store.AppendInt(1, id);
        store.SetCachedUpdates(true);
        newBuf = store.AllocRecBuf();
        oldBuf = store.AllocRecBuf();
        store.SetCacheRecBuf(newBuf.data(), oldBuf.data());
        store.ApplyRecordHandler = [this](TUpdateKind kind, TUpdateAction& action) {
            applied.push_back({store.IntOf(newBuf.data()), kind});
            if (script.empty()) {
                action = urApplied;
                return;
            }
            const int next = script.front();
            script.erase(script.begin());
            if (next == -1) throw platform::Exception("apply failed");
            if (next == -2) {
                store.RevertRecord();
                return;
            }
            action = static_cast<TUpdateAction>(next);
        };
    }
    void Update(int recordNo, int32_t value) {
        store.SetRecordNo(recordNo);
        TRecordBuffer r = store.AllocRecBuf();
        store.GetRecord(r.data());
        store.PutField(2, r.data(), &value);
        store.UpdateRecord(r.data());
    }
    void Insert(int32_t id) {
        TRecordBuffer r = store.NewRecord();
        store.PutField(1, r.data(), &id);
        store.AppendRecord(r.data());
    }
    void Delete(int recordNo) {
        store.SetRecordNo(recordNo);
        store.DeleteRecord();
    }
    std::vector<int32_t> Ids() { return oracle::Ids(store.Visible()); }

    TestStore store;
    TRecordBuffer newBuf, oldBuf;
    std::vector<int> script;
    std::vector<std::pair<int32_t, TUpdateKind>> applied;
};

TEST_F(CachedUpdates, TwoUpdatesKeepTheFirstVersionForRollback) {
    Update(2, 10);
    Update(2, 20);
    EXPECT_EQ(store.GetUpdateStatus(), usModified);
    EXPECT_EQ(store.ChangeCount(), 1);
    TRecordBuffer old = store.AllocRecBuf();
    store.GetOldRecord(old.data());
    EXPECT_EQ(store.IntOf(old.data(), 2), -1);  // V was null before
    EXPECT_EQ(store.CurrentInt(2), 20);
    store.RevertRecord();
    EXPECT_EQ(store.CurrentInt(2), -1);
    EXPECT_EQ(store.ChangeCount(), 0);
}

TEST_F(CachedUpdates, DeletingAnUnappliedInsertLeavesNoTrace) {
    Insert(6);
    EXPECT_EQ(store.ChangeCount(), 1);
    store.DeleteRecord();
    EXPECT_EQ(store.ChangeCount(), 0);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
}

TEST_F(CachedUpdates, DeletedRecordsAreHiddenAndNotCounted) {
    Delete(3);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 4, 5}));
    ExpectConsecutive(store);
    store.SetFilterItemTypes(AllItemTypes);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
}

TEST_F(CachedUpdates, RevertingAnInsertOrDeleteKeepsTheCountRight) {
    Insert(6);
    store.RevertRecord();
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
    Delete(2);
    store.SetFilterItemTypes(AllItemTypes);
    store.SetRecordNo(2);
    store.RevertRecord();
    store.SetFilterItemTypes(DefaultCachedItemTypes);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
}

TEST_F(CachedUpdates, ApplyFollowsTheHandlersActions) {
    struct Case {
        std::vector<int> script;
        std::vector<int32_t> appliedIds;      // records handed to the handler, in order
        std::vector<TUpdateResult> results;   // of records 2, 4 and 6 afterwards
        bool raises;
    } cases[] = {
        {{}, {2, 4, 6}, {urApplied, urApplied, urApplied}, false},
        {{urFail, urSkip, urAbort}, {2, 4, 6}, {urFail, urSkip, urAbort}, false},
        {{urRetry, urRetry, urApplied}, {2, 2, 2, 4, 6}, {urApplied, urApplied, urApplied}, false},
        {{urApplied, -1}, {2, 4}, {urApplied, urNone, urNone}, true},
    };
    for (const Case& c : cases) {
        store.RestoreUpdates();
        store.CancelUpdates();
        applied.clear();
        Update(2, 1);
        Delete(4);  // record 5 moves to number 4
        Insert(6);
        script = c.script;
        store.SetRecordNo(1);
        if (c.raises) {
            EXPECT_THROW(store.ApplyUpdates(), platform::Exception);
            EXPECT_EQ(store.GetUpdateStatus(), usDeleted);  // the failing record stays current
        } else {
            store.ApplyUpdates();
            EXPECT_EQ(store.CurrentInt(), 1);
        }
        std::vector<int32_t> ids;
        for (const auto& a : applied) ids.push_back(a.first);
        EXPECT_EQ(ids, c.appliedIds);
        store.SetFilterItemTypes(AllItemTypes);
        for (size_t i = 0; i < 3; ++i) {
            store.SetRecordNo(static_cast<int>(2 * i + 2));
            EXPECT_EQ(store.GetUpdateResult(), c.results[i]) << i;
        }
        store.SetFilterItemTypes(DefaultCachedItemTypes);
    }
}

TEST_F(CachedUpdates, CommitKeepsFailedEntriesInOrder) {
    Update(1, 1);
    Update(2, 2);
    Update(3, 3);
    script = {urApplied, urFail, urFail};
    store.CommitUpdates();
    EXPECT_EQ(store.ChangeCount(), 2);
    applied.clear();
    store.ApplyUpdates();
    ASSERT_EQ(applied.size(), 2u);
    EXPECT_EQ(applied[0].first, 2);
    EXPECT_EQ(applied[1].first, 3);
    store.CommitUpdates();
    EXPECT_EQ(store.ChangeCount(), 0);
    store.SetRecordNo(3);
    EXPECT_EQ(store.GetUpdateStatus(), usUnmodified);
    EXPECT_EQ(store.CurrentInt(2), 3);
}

TEST_F(CachedUpdates, CommittedDeletesFreeTheirRecords) {
    Delete(1);
    store.CommitUpdates();
    store.SetFilterItemTypes(AllItemTypes);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{2, 3, 4, 5}));
}

TEST_F(CachedUpdates, AHandlerThatRevertsItsRecordEndsThatEntry) {
    Insert(6);
    Update(1, 1);
    script = {-2, urApplied};
    store.ApplyUpdates();
    EXPECT_EQ(applied.size(), 2u);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
    EXPECT_FALSE(store.UpdatesPending());
}

TEST_F(CachedUpdates, CancelRestoresEverything) {
    Update(1, 1);
    Delete(2);
    Insert(7);
    store.CancelUpdates();
    EXPECT_EQ(Ids(), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    ExpectConsecutive(store);
    store.SetRecordNo(1);
    EXPECT_EQ(store.CurrentInt(2), -1);
    EXPECT_EQ(store.ChangeCount(), 0);
}

// A cached edit of a blob field, as the dataset posts it: the blob is written in
// place, then the record is posted.
class CachedBlobs : public ::testing::Test {
protected:
    CachedBlobs() : store({{"ID", dtInteger}, {"NOTE", dtMemo}}) {
        store.Open();
        TRecordBuffer r = store.NewRecord();
        store.CreateComplexFields(r.data(), true);
        store.WriteBlob(2, r.data(), 0, 3, "old");
        store.AppendRecord(r.data());
        store.GetBlob(2, r.data())->Commit();
        store.SetCachedUpdates(true);
        store.SetRecordNo(1);
        TRecordBuffer edit = store.AllocRecBuf();
        store.GetRecord(edit.data());
        store.EditRecord(edit.data());
        store.TruncateBlob(2, edit.data(), 0);
        store.WriteBlob(2, edit.data(), 0, 3, "new");
        store.PostRecord(edit.data());
    }
    std::string Note(void* record) { return store.GetBlob(2, record)->AsString(); }
    std::string CurrentNote() {
        TRecordBuffer r = store.AllocRecBuf();
        store.GetRecord(r.data());
        return Note(r.data());
    }
    TestStore store;
};

TEST_F(CachedBlobs, TheOldVersionKeepsTheOldValue) {
    EXPECT_EQ(CurrentNote(), "new");
    TRecordBuffer old = store.AllocRecBuf();
    store.GetOldRecord(old.data());
    EXPECT_EQ(Note(old.data()), "old");
}

TEST_F(CachedBlobs, RevertBringsTheValueBack) {
    store.RevertRecord();
    EXPECT_EQ(CurrentNote(), "old");
}

TEST_F(CachedBlobs, CancelUpdatesBringsTheValueBack) {
    store.CancelUpdates();
    store.SetRecordNo(1);
    EXPECT_EQ(CurrentNote(), "old");
}

TEST_F(CachedBlobs, CommitKeepsTheNewValue) {
    store.ApplyRecordHandler = [](TUpdateKind, TUpdateAction& action) { action = urApplied; };
    store.CommitUpdates();
    EXPECT_EQ(CurrentNote(), "new");
    EXPECT_EQ(store.GetUpdateStatus(), usUnmodified);
}

TEST(Bookmarks, NameTheirRecordOrNothing) {
    TestStore store({{"ID", dtInteger}});
    store.Open();
    for (int32_t id = 1; id <= 30; ++id) store.AppendInt(1, id);

    store.SetRecordNo(7);
    TBookmark seven;
    store.GetBookmark(seven);
    store.SetRecordNo(20);
    TBookmark twenty;
    store.GetBookmark(twenty);
    EXPECT_EQ(store.CompareBookmarks(&seven, &twenty), -1);
    EXPECT_EQ(store.CompareBookmarks(&seven, nullptr), -1);
    store.SetToBookmark(seven);
    EXPECT_EQ(store.CurrentInt(), 7);

    // The record is freed and its slot reused: the bookmark must not land on the newcomer.
    store.DeleteRecord();
    store.AppendInt(1, 99);
    store.SetRecordNo(3);
    store.SetToBookmark(seven);
    EXPECT_EQ(store.CurrentInt(), 3);

    // After a reopen the bookmark falls back to the record number.
    store.Close();
    store.Open();
    for (int32_t id = 101; id <= 130; ++id) store.AppendInt(1, id);
    store.SetToBookmark(twenty);
    EXPECT_EQ(store.CurrentInt(), 120);
}

TEST(BlockManager, AllocatesTenItemsABlockAndReturnsEmptyBlocks) {
    TBlockManager manager;
    manager.SetRecordSize(5);
    std::vector<PItemHeader> items;
    for (int i = 0; i < 25; ++i) items.push_back(manager.AllocItem());
    std::vector<PBlockHeader> blocks;
    for (PItemHeader item : items)
        if (std::find(blocks.begin(), blocks.end(), item->Block) == blocks.end()) blocks.push_back(item->Block);
    EXPECT_EQ(blocks.size(), 3u);
    // Items of a block sit at a fixed stride.
    EXPECT_EQ(reinterpret_cast<uint8_t*>(items[0]) - reinterpret_cast<uint8_t*>(items[1]), manager.ItemSize());

    const uint32_t serial = items[0]->Serial;
    for (int i = 0; i < 10; ++i) manager.FreeItem(items[static_cast<size_t>(i)]);
    EXPECT_FALSE(manager.ItemAlive(items[0], serial));
    EXPECT_TRUE(manager.ItemAlive(items[10], items[10]->Serial));
    manager.FreeItem(items[24]);
    EXPECT_THROW(manager.FreeItem(items[24]), EAssertionFailed);
}

TEST(BlockManager, BackEndsFillBlocksOfTheirOwn) {
    TBlockManager manager;
    manager.SetRecordSize(4);
    PBlockHeader block = manager.AllocBlock(3);
    PItemHeader first = manager.ItemAt(block, 0);
    PItemHeader second = manager.ItemAt(block, 1);
    manager.UseItem(first);
    manager.UseItem(second);
    manager.ReleaseToFreeList(manager.ItemAt(block, 2));
    EXPECT_EQ(block->UsedCount, 2);
    EXPECT_NE(first->Serial, second->Serial);
    EXPECT_EQ(manager.AllocItem(), manager.ItemAt(block, 2));
    EXPECT_THROW(manager.UseItem(first), EAssertionFailed);
    const uint32_t serial = first->Serial;
    manager.FreeItem(first);
    manager.FreeItem(second);
    manager.FreeItem(manager.ItemAt(block, 2));  // the last one returns the block
    EXPECT_FALSE(manager.ItemAlive(first, serial));
}

}  // namespace
}  // namespace oracle
