#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Fixtures.h"
#include "oracle/core/Assertion.h"
#include "oracle/core/MemDataSet.h"
#include "platform/Application.h"
#include "platform/DateTime.h"
#include "platform/Field.h"
#include "platform/ScopeExit.h"

namespace oracle {
namespace {

using namespace platform;
using test::FieldSpec;

// A dataset over an in-memory store with fixed descriptors; counts the built-in
// apply operations.
class TestDataSet : public TMemDataSet {
public:
    explicit TestDataSet(const std::vector<FieldSpec>& fields) : TMemDataSet(nullptr) {
        Data()->AutoInitFields = false;
        for (const FieldSpec& f : fields) test::AddField(*Data(), f);
    }
    ~TestDataSet() override { CloseDataSet(); }
    int updates = 0, inserts = 0, deletes = 0;
    bool failApply = false;

protected:
    void ApplyUpdate() override {
        ++updates;
        if (failApply) DatabaseError("apply failed");
    }
    void ApplyInsert() override { ++inserts; }
    void ApplyDelete() override { ++deletes; }
};

std::vector<FieldSpec> PeopleFields() {
    return {{"ID", dtInteger}, {"NAME", dtString, 10}, {"F", dtFloat, 5, 2}, {"DT", dtDateTime}, {"OK", dtBoolean},
            {"NOTE", dtMemo}};
}

void AppendPerson(TDataSet& ds, int id, const char* name) {
    ds.BeginAppend();
    ds.FieldNamed("ID")->WriteAsInteger(id);
    if (name) ds.FieldNamed("NAME")->WriteAsString(name);
    ds.PostChanges();
}

std::vector<int> IdsInOrder(TDataSet& ds) {
    std::vector<int> ids;
    for (ds.MoveToFirst(); !ds.Eof(); ds.MoveToNext()) ids.push_back(ds.FieldNamed("ID")->ReadAsInteger());
    return ids;
}

TEST(MemDataSet, AppendBrowseAndReadBack) {
    TestDataSet ds(PeopleFields());
    ds.OpenDataSet();
    EXPECT_EQ(ds.CountRecords(), 0);
    for (int id = 1; id <= 5; ++id) AppendPerson(ds, id, id == 3 ? nullptr : ("P" + std::to_string(id)).c_str());
    EXPECT_EQ(ds.inserts, 5);
    EXPECT_EQ(ds.CountRecords(), 5);
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 2, 3, 4, 5}));

    ds.MoveToFirst();
    ds.MoveToNext();
    EXPECT_EQ(ds.FieldNamed("NAME")->ReadAsString(), "P2");
    EXPECT_EQ(ds.CurrentRecordNumber(), 2);
    ds.MoveToNext();
    EXPECT_TRUE(ds.FieldNamed("NAME")->IsNull());
    const platform::TBookmark third = ds.CurrentBookmarkString();
    ds.MoveToLast();
    EXPECT_EQ(ds.FieldNamed("ID")->ReadAsInteger(), 5);
    ds.GotoBookmark(third);
    EXPECT_EQ(ds.FieldNamed("ID")->ReadAsInteger(), 3);
    ds.MoveToRecordNumber(4);
    EXPECT_EQ(ds.FieldNamed("ID")->ReadAsInteger(), 4);

    ds.BeginEdit();
    ds.FieldNamed("F")->WriteAsFloat(2.3456);
    ds.FieldNamed("DT")->WriteAsDateTime(36526.25);
    ds.FieldNamed("OK")->WriteAsBoolean(true);
    ds.PostChanges();
    EXPECT_EQ(ds.updates, 1);
    EXPECT_DOUBLE_EQ(ds.FieldNamed("F")->ReadAsFloat(), 2.35);
    EXPECT_DOUBLE_EQ(ds.FieldNamed("DT")->ReadAsDateTime(), 36526.25);
    EXPECT_TRUE(ds.FieldNamed("OK")->ReadAsBoolean());

    ds.DeleteRecord();
    EXPECT_EQ(ds.deletes, 1);
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 2, 3, 5}));
}

TEST(MemDataSet, InsertGoesBeforeTheCurrentRecordAndCancelLeavesNothing) {
    TestDataSet ds(PeopleFields());
    ds.OpenDataSet();
    for (int id = 1; id <= 3; ++id) AppendPerson(ds, id, "X");
    ds.MoveToFirst();
    ds.MoveToNext();
    ds.BeginInsert();
    ds.FieldNamed("ID")->WriteAsInteger(10);
    ds.PostChanges();
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 10, 2, 3}));
    ds.BeginInsert();
    ds.FieldNamed("ID")->WriteAsInteger(11);
    ds.CancelChanges();
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 10, 2, 3}));
}

// A persistent field of the dataset.
template <class F>
F* AddPersistentField(TDataSet& ds, const char* name, TFieldKind kind = fkData) {
    auto* field = NewComponent<F>(ds);
    field->SetFieldName(name);
    field->SetFieldKind(kind);
    field->BindToDataSet(&ds);
    return field;
}

// The calculated field DOUBLED is twice ID.
void CalculateDoubled(TDataSet& ds) {
    ds.FieldNamed("DOUBLED")->WriteAsInteger(ds.FieldNamed("ID")->ReadAsInteger() * 2);
}

TEST(MemDataSet, CalculatedFieldsLiveBehindTheStoreRecord) {
    TestDataSet ds({{"ID", dtInteger}, {"NAME", dtString, 10}});
    auto* id = AddPersistentField<TIntegerField>(ds, "ID");
    auto* doubled = AddPersistentField<TIntegerField>(ds, "DOUBLED", fkCalculated);
    ds.OnCalcFields = CalculateDoubled;
    ds.OpenDataSet();
    for (int value = 1; value <= 3; ++value) {
        ds.BeginAppend();
        id->WriteAsInteger(value);
        ds.PostChanges();
    }
    ds.MoveToFirst();
    EXPECT_EQ(doubled->ReadAsInteger(), 2);
    ds.MoveToLast();
    EXPECT_EQ(doubled->ReadAsInteger(), 6);
    ds.BeginEdit();
    id->WriteAsInteger(21);
    EXPECT_EQ(doubled->ReadAsInteger(), 42);
    ds.CancelChanges();
    EXPECT_EQ(id->ReadAsInteger(), 3);
}

TEST(MemDataSet, FieldDefinitionsFollowTheDescriptors) {
    TestDataSet ds({{"A", dtString, 0}, {"B", dtInteger, 6}, {"C", dtString, 4}, {"D", dtFloat}});
    TFieldDescs& descs = ds.Data()->Fields();
    descs.Items(0)->Required = true;
    descs.Items(1)->ReadOnly = true;
    descs.Items(2)->Hidden = true;
    descs.Items(2)->Fixed = true;
    ds.PrepareDataSet();
    TFieldDefs& defs = ds.FieldDefs();
    ASSERT_EQ(defs.Count(), 4);
    EXPECT_EQ(defs.Items(0).Size(), 1);
    EXPECT_TRUE(defs.Items(0).Required());
    EXPECT_EQ(defs.Items(1).DataType(), ftInteger);
    EXPECT_EQ(defs.Items(1).Precision(), 6);
    EXPECT_EQ(defs.Items(1).Attributes(), faReadonly);
    EXPECT_EQ(defs.Items(2).Attributes(), faHiddenCol | faFixed);
    EXPECT_EQ(defs.Items(2).FieldNo(), 3);
    ds.UnprepareDataSet();

    ds.LocalConstraints = false;
    ds.PrepareDataSet();
    EXPECT_FALSE(ds.FieldDefs().Items(0).Required());
}

TEST(MemDataSet, NumberRangesStayWithinTheFieldTypes) {
    TestDataSet ds({{"I5", dtInteger, 5}, {"I12", dtInteger, 12}, {"I0", dtInteger, 0}, {"F", dtFloat, 5, 2}});
    ds.NumberRange = true;
    ds.OpenDataSet();
    auto* i5 = dynamic_cast<TIntegerField*>(ds.FieldNamed("I5"));
    auto* i12 = dynamic_cast<TIntegerField*>(ds.FieldNamed("I12"));
    auto* i0 = dynamic_cast<TIntegerField*>(ds.FieldNamed("I0"));
    auto* f = dynamic_cast<TFloatField*>(ds.FieldNamed("F"));
    ASSERT_TRUE(i5 && i12 && i0 && f);
    EXPECT_EQ(i5->MaxValue(), 99999);
    EXPECT_EQ(i5->MinValue(), -99999);
    EXPECT_EQ(i12->MaxValue(), 2147483647);
    EXPECT_EQ(i12->MinValue(), -2147483647);
    EXPECT_EQ(i0->MaxValue(), 0);  // no range
    EXPECT_DOUBLE_EQ(f->MaxValue(), 999.99);
    EXPECT_DOUBLE_EQ(f->MinValue(), -999.99);
}

TEST(MemDataSet, CopiesItsOptionsToAnotherDataSet) {
    TestDataSet source(PeopleFields()), target(PeopleFields());
    source.SetCachedUpdates(true);
    source.LocalConstraints = false;
    source.LocalUpdate = true;
    target.CopyFromSource(&source);
    EXPECT_TRUE(target.CachedUpdates());
    EXPECT_TRUE(target.Data()->CachedUpdates());
    EXPECT_FALSE(target.LocalConstraints);
    EXPECT_TRUE(target.LocalUpdate);
    EXPECT_FALSE(source.Prepared());
    EXPECT_THROW(source.CheckPrepared(), EDatabaseError);
}

TEST(MemDataSet, TypeMappings) {
    EXPECT_EQ(FieldTypeForDataType(dtString), ftString);
    EXPECT_EQ(FieldTypeForDataType(dtTable), ftDataSet);
    EXPECT_EQ(FieldTypeForDataType(dtUnknown), ftUnknown);
    for (TDataType code : {dtSmallint, dtWord, dtLargeint, dtCurrency, TDataType{40}}) {
        try {
            FieldTypeForDataType(code);
            ADD_FAILURE() << code;
        } catch (const EAssertionFailed& e) {
            EXPECT_EQ(e.Unit(), "MemDS");
            EXPECT_NE(std::string(e.what()).find("Unknown data type"), std::string::npos);
        }
    }
    EXPECT_EQ(DataTypeForFieldType(ftFixedChar), dtString);
    EXPECT_EQ(DataTypeForFieldType(ftWord), dtInteger);
    EXPECT_EQ(DataTypeForFieldType(ftTime), dtDateTime);
    EXPECT_EQ(DataTypeForFieldType(ftGraphic), dtUnknown);
}

class FilteredDataSet : public ::testing::Test {
protected:
    FilteredDataSet() : ds(PeopleFields()) {
        ds.OpenDataSet();
        const char* names[] = {"ANNA", "BORIS", "ALEX", "VERA", "ANTON"};
        for (int id = 1; id <= 5; ++id) AppendPerson(ds, id, names[id - 1]);
    }
    TestDataSet ds;
};

TEST_F(FilteredDataSet, FilterTextAndHandlerSelectRecords) {
    ds.SetFilter("NAME = 'A*'");
    EXPECT_EQ(IdsInOrder(ds).size(), 5u);  // not filtered yet
    ds.SetFiltered(true);
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(ds.CountRecords(), 3);
    ds.SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldNamed("ID")->ReadAsInteger() != 3; });
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 5}));
    ds.SetFiltered(false);
    EXPECT_EQ(IdsInOrder(ds).size(), 5u);
}

TEST_F(FilteredDataSet, AFilterHandlerGetsTheBookmarkOfTheRecordUnderTest) {
    std::map<int, platform::TBookmark> seen;
    ds.SetOnFilterRecord([&](TDataSet& d, bool& accept) {
        const int id = d.FieldNamed("ID")->ReadAsInteger();
        seen[id] = d.CurrentBookmarkString();
        accept = id % 2 == 1;
    });
    ds.SetFiltered(true);
    ASSERT_EQ(seen.size(), 5u);
    for (int id : {1, 3, 5}) {
        ds.GotoBookmark(seen[id]);
        EXPECT_EQ(ds.FieldNamed("ID")->ReadAsInteger(), id);
    }
}

// Notes and closes the message boxes the thread that made it shows, from a thread of
// its own, until it goes.
class MessageBoxCloser {
public:
    MessageBoxCloser() : target_(GetCurrentThreadId()), watcher_([this] { Watch(); }) {}
    ~MessageBoxCloser() {
        stop_ = true;
        watcher_.join();
    }
    std::vector<std::string> Texts() {
        const std::lock_guard<std::mutex> hold(lock_);
        return texts_;
    }
    std::vector<std::string> Captions() {
        const std::lock_guard<std::mutex> hold(lock_);
        return captions_;
    }

private:
    void Watch() {
        while (!stop_) {
            EnumThreadWindows(target_, &MessageBoxCloser::Visit, reinterpret_cast<LPARAM>(this));
            Sleep(10);
        }
    }
    static BOOL CALLBACK Visit(HWND w, LPARAM self) {
        char kind[32] = {};
        GetClassNameA(w, kind, sizeof(kind));
        if (std::string(kind) != "#32770" || !IsWindowVisible(w)) return TRUE;
        auto* closer = reinterpret_cast<MessageBoxCloser*>(self);
        // A box is noted once; answering it again until it goes does no harm.
        if (closer->answered_.insert(w).second) {
            char text[256] = {}, caption[256] = {};
            GetWindowTextA(GetDlgItem(w, 0xFFFF), text, sizeof(text));
            GetWindowTextA(w, caption, sizeof(caption));
            const std::lock_guard<std::mutex> hold(closer->lock_);
            closer->texts_.push_back(text);
            closer->captions_.push_back(caption);
        }
        PostMessageA(w, WM_COMMAND, IDOK, 0);
        return TRUE;
    }

    DWORD target_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::string> texts_, captions_;
    std::set<HWND> answered_;
    std::thread watcher_;
};

TEST_F(FilteredDataSet, FailuresOfTheFilterHandlerReachTheApplicationAndTheRecordKeepsItsVerdict) {
    ds.SetOnFilterRecord([](TDataSet& d, bool& accept) {
        const int id = d.FieldNamed("ID")->ReadAsInteger();
        if (id == 2) {
            accept = false;
            throw EDatabaseError("row 2 is bad");
        }
        if (id == 4) throw EDatabaseError("row 4 is bad");
    });

    std::set<std::string> reported;
    std::set<platform::TComponent*> senders;
    SetApplicationOnException([&](platform::TComponent* sender, const std::exception& error) {
        reported.insert(error.what());
        senders.insert(sender);
    });
    ds.SetFiltered(true);
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 3, 4, 5}));
    SetApplicationOnException(nullptr);
    EXPECT_EQ(reported, (std::set<std::string>{"row 2 is bad", "row 4 is bad"}));
    EXPECT_EQ(senders, (std::set<platform::TComponent*>{&ds}));

    // Without a handler the platform shows them.
    std::vector<std::string> texts, captions;
    {
        MessageBoxCloser closer;
        int failures = 0;
        ds.SetOnFilterRecord([&](TDataSet& d, bool&) {
            if (d.FieldNamed("ID")->ReadAsInteger() == 4 && failures++ == 0) throw EDatabaseError("row 4 is bad");
        });
        EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 2, 3, 4, 5}));
        texts = closer.Texts();
        captions = closer.Captions();
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"row 4 is bad"}));
    ASSERT_EQ(captions.size(), 1u);
    EXPECT_EQ(captions[0], "test_oracle_core");
}

// A handler that cancels with the silent abort rejects the record and says nothing: no
// report to the program's handler, no message box waiting for a click.
TEST_F(FilteredDataSet, ASilentAbortOfTheFilterHandlerStaysSilent) {
    ds.SetOnFilterRecord([](TDataSet& d, bool& accept) {
        if (d.FieldNamed("ID")->ReadAsInteger() != 2) return;
        accept = false;
        Abort();
    });
    int reported = 0;
    SetApplicationOnException([&](platform::TComponent*, const std::exception&) { ++reported; });
    const TScopeExit noHandler([] { SetApplicationOnException(nullptr); });
    ds.SetFiltered(true);
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(reported, 0);

    SetApplicationOnException(nullptr);
    std::vector<std::string> texts;
    {
        MessageBoxCloser closer;
        EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 3, 4, 5}));
        texts = closer.Texts();
    }
    EXPECT_EQ(texts, std::vector<std::string>{});
}

TEST_F(FilteredDataSet, ABadFilterLeavesTheOldOneInForce) {
    ds.SetFilter("NAME = 'A*'");
    ds.SetFiltered(true);
    EXPECT_THROW(ds.SetFilter("NAME = 'B*' AND"), Exception);
    EXPECT_EQ(ds.Filter(), "NAME = 'A*'");
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1, 3, 5}));
    ds.SetFilterOptions(foCaseInsensitive);
    ds.SetFilter("NAME = 'anna'");
    EXPECT_EQ(IdsInOrder(ds), (std::vector<int>{1}));
}

TEST(MemDataSetCachedUpdates, UpdateEventsChooseTheAction) {
    struct Case {
        int eventAction;  // -1: no OnUpdateRecord
        bool failApply;
        int errorAction;  // -1: no OnUpdateError
        int updates;
        TUpdateResult result;
        bool raises;
    } cases[] = {
        {-1, false, -1, 1, urApplied, false},
        {uaFail, false, -1, 0, urFail, false},
        {uaSkip, false, -1, 0, urSkip, false},
        {uaDefault, false, -1, 1, urApplied, false},
        {-1, true, uaSkip, 1, urSkip, false},
        {-1, true, uaFail, 1, urNone, true},
        {-1, true, -1, 1, urNone, true},
    };
    for (const Case& c : cases) {
        TestDataSet ds(PeopleFields());
        ds.SetCachedUpdates(true);
        ds.OpenDataSet();
        AppendPerson(ds, 1, "A");
        ds.Data()->CommitUpdates();
        ds.MoveToFirst();
        ds.BeginEdit();
        ds.FieldNamed("NAME")->WriteAsString("B");
        ds.PostChanges();
        EXPECT_EQ(ds.RecordUpdateStatus(), platform::usModified);
        ds.failApply = c.failApply;
        if (c.eventAction >= 0)
            ds.OnUpdateRecord = [&c](TDataSet&, platform::TUpdateKind kind, int& action) {
                EXPECT_EQ(kind, platform::ukModify);
                action = c.eventAction;
            };
        if (c.errorAction >= 0)
            ds.OnUpdateError = [&c](TDataSet&, const EDatabaseError&, platform::TUpdateKind, int& action) {
                action = c.errorAction;
            };
        const int updatesBefore = ds.updates;
        if (c.raises)
            EXPECT_THROW(ds.Data()->ApplyUpdates(), EDatabaseError);
        else
            ds.Data()->ApplyUpdates();
        EXPECT_EQ(ds.updates - updatesBefore, c.updates);
        EXPECT_EQ(ds.Data()->GetUpdateResult(), c.result);
    }
}

class LocateDataSet : public ::testing::Test {
protected:
    LocateDataSet() : ds(PeopleFields()) {
        FormatSettings().ShortDateFormat = "dd.mm.yyyy";
        FormatSettings().DateSeparator = '.';
        ds.OpenDataSet();
        const char* names[] = {"abcdef", "ABC", "xyz", nullptr, "abc"};
        for (int id = 1; id <= 5; ++id) {
            AppendPerson(ds, id, names[id - 1]);
            ds.BeginEdit();
            ds.FieldNamed("DT")->WriteAsDateTime(36526 + id + 0.5);
            ds.PostChanges();
        }
        ds.MoveToFirst();
        ds.MoveToNext();  // record 2 is current
    }
    ~LocateDataSet() override { FormatSettings() = saved; }
    int CurrentId() { return ds.FieldNamed("ID")->ReadAsInteger(); }

    TFormatSettings saved = FormatSettings();
    TestDataSet ds;
};

TEST_F(LocateDataSet, FindsByKeysAndOptions) {
    struct Case {
        const char* fields;
        Variant values;
        TLocateOptions options;
        int expected;  // 0: not found, the position stays
    } cases[] = {
        {"NAME", Variant("abc"), loPartialKey, 1},
        {"NAME", Variant("abc"), 0, 5},
        {"NAME", Variant("ABC"), loCaseInsensitive, 2},
        {"NAME", Variant("ab"), loCaseInsensitive | loPartialKey, 1},
        {"NAME", Variant::Null(), 0, 4},
        {"ID;NAME", Variant::ArrayOf({Variant(5), Variant("abc")}), 0, 5},
        {"ID;NAME", Variant::ArrayOf({Variant(4), Variant("abc")}), 0, 0},
        {"ID", Variant(3), 0, 3},
        {"DT", Variant("04.01.2000"), 0, 3},
        {"NAME", Variant("none"), 0, 0},
    };
    for (const Case& c : cases) {
        ds.MoveToFirst();
        ds.MoveToNext();
        const bool found = ds.LocateByValues(c.fields, c.values, c.options);
        EXPECT_EQ(found, c.expected != 0) << c.fields;
        EXPECT_EQ(CurrentId(), c.expected ? c.expected : 2) << c.fields;
    }
    EXPECT_THROW(ds.LocateByValues("OK", Variant(true), 0), EConvertError);
    try {
        ds.LocateByValues("NOPE", Variant(1), 0);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Filed NOPE not found");
    }
}

TEST_F(LocateDataSet, LookupAnswersValuesWithoutMoving) {
    EXPECT_EQ(ds.LookupValues("ID", Variant(3), "NAME").AsString(), "xyz");
    const Variant both = ds.LookupValues("NAME", Variant("abc"), "ID;NAME");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[0].AsInteger(), 5);
    EXPECT_TRUE(ds.LookupValues("ID", Variant(9), "NAME").IsNull());
    EXPECT_EQ(CurrentId(), 2);
}

// The looked-up values are those the fields show for the record found: memo texts
// and calculated fields included.
TEST(MemDataSetLookup, AnswersMemoAndCalculatedFieldsOfTheRecordFound) {
    TestDataSet ds({{"ID", dtInteger}, {"NOTE", dtMemo}});
    auto* id = AddPersistentField<TIntegerField>(ds, "ID");
    auto* note = AddPersistentField<TMemoField>(ds, "NOTE");
    auto* doubled = AddPersistentField<TIntegerField>(ds, "DOUBLED", fkCalculated);
    ds.OnCalcFields = CalculateDoubled;
    ds.OpenDataSet();
    for (int value = 1; value <= 3; ++value) {
        ds.BeginAppend();
        id->WriteAsInteger(value);
        note->WriteAsString("note " + std::to_string(value));
        ds.PostChanges();
    }
    ds.MoveToFirst();

    EXPECT_EQ(ds.LookupValues("ID", Variant(3), "NOTE").AsString(), "note 3");
    EXPECT_EQ(ds.LookupValues("ID", Variant(2), "DOUBLED").AsInteger(), 4);
    const Variant both = ds.LookupValues("ID", Variant(3), "DOUBLED;NOTE");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[0].AsInteger(), 6);
    EXPECT_EQ(both[1].AsString(), "note 3");
    // The current record and its calculated field are those from before.
    EXPECT_EQ(id->ReadAsInteger(), 1);
    EXPECT_EQ(doubled->ReadAsInteger(), 2);
    EXPECT_EQ(note->ReadAsString(), "note 1");
}

TEST_F(LocateDataSet, FindNextUsesTheFilterWithoutFiltering) {
    ds.SetFilter("NAME = 'abc*'");
    EXPECT_TRUE(ds.FindFirst());
    EXPECT_EQ(CurrentId(), 1);
    EXPECT_TRUE(ds.FindNext());
    EXPECT_EQ(CurrentId(), 5);
    EXPECT_FALSE(ds.FindNext());
    EXPECT_EQ(ds.CountRecords(), 5);
}

class BlobStreams : public ::testing::Test {
protected:
    BlobStreams() : ds(PeopleFields()) {
        ds.OpenDataSet();
        AppendPerson(ds, 1, "A");
        ds.BeginEdit();
        Write(bmWrite, 0, "Hello, world");
        ds.PostChanges();
    }
    void Write(TBlobStreamMode mode, int64_t position, const std::string& text) {
        auto stream = ds.OpenBlobStream(ds.FieldNamed("NOTE"), mode);
        stream->SetPosition(position);
        stream->WriteBuffer(text.data(), static_cast<int32_t>(text.size()));
    }
    std::string Read() {
        auto stream = ds.OpenBlobStream(ds.FieldNamed("NOTE"), bmRead);
        std::string text(static_cast<size_t>(stream->Size()), '\0');
        stream->SetPosition(0);
        text.resize(static_cast<size_t>(stream->StreamRead(text.data(), static_cast<int32_t>(text.size()))));
        return text;
    }
    TestDataSet ds;
};

TEST_F(BlobStreams, WriteModeEmptiesAndReadWriteKeepsTheRest) {
    EXPECT_EQ(Read(), "Hello, world");
    ds.BeginEdit();
    Write(bmReadWrite, 7, "WORLD");
    EXPECT_EQ(Read(), "Hello, WORLD");
    ds.CancelChanges();
    EXPECT_EQ(Read(), "Hello, world");

    ds.BeginEdit();
    Write(bmWrite, 0, "new");
    ds.PostChanges();
    EXPECT_EQ(Read(), "new");
}

// The change notice runs when the stream is done with; a handler that fails there cannot
// reach the writer, so the failure goes where the dataset reports its handlers' failures.
// The written value stays in the record and is posted with it.
TEST_F(BlobStreams, AFailingChangeNoticeIsReportedAndTheWrittenValueStays) {
    ds.FieldNamed("NOTE")->OnChange = [](TField&) { throw EDatabaseError("note refused"); };
    std::vector<std::string> reported;
    std::set<platform::TComponent*> senders;
    SetApplicationOnException([&](platform::TComponent* sender, const std::exception& error) {
        reported.push_back(error.what());
        senders.insert(sender);
    });
    const TScopeExit noHandler([] { SetApplicationOnException(nullptr); });
    ds.BeginEdit();
    Write(bmWrite, 0, "changed");
    EXPECT_EQ(reported, (std::vector<std::string>{"note refused"}));
    EXPECT_EQ(senders, (std::set<platform::TComponent*>{&ds}));
    EXPECT_EQ(Read(), "changed");
    ds.PostChanges();
    EXPECT_EQ(Read(), "changed");
}

TEST_F(BlobStreams, PositionsNeverGoNegativeAndWritesNeedEditMode) {
    auto stream = ds.OpenBlobStream(ds.FieldNamed("NOTE"), bmRead);
    EXPECT_EQ(stream->Reposition(-5, soBeginning), 0);
    EXPECT_EQ(stream->Reposition(-100, soEnd), 0);
    EXPECT_EQ(stream->Reposition(-1, soEnd), 11);
    char c = 0;
    EXPECT_EQ(stream->StreamRead(&c, 1), 1);
    EXPECT_EQ(c, 'd');
    // The value written before the fixture's post does not let a write by.
    try {
        ds.OpenBlobStream(ds.FieldNamed("NOTE"), bmWrite);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Dataset not in edit or insert mode");
    }
}

}  // namespace
}  // namespace oracle
