#include <gtest/gtest.h>

#include <cstring>

#include "TestEngine.h"
#include "btrieve/base/VirtEng.h"

using namespace btrieve;
using namespace testengine;

namespace {

// An engine error with a native status, as the engines raise them.
class TNativeError : public EQuillonEngineError {
public:
    TNativeError(uint16_t code, int32_t native, const AnsiString& message) : EQuillonEngineError(code, message) {
        SetNativeCode(native);
    }
    AnsiString GetNativeText() const override { return "native says no"; }
};

// Raises whatever the test puts in place when asked for a record by key.
class TRaisingCursor : public TTestCursor {
public:
    using TTestCursor::TTestCursor;
    void GetRecordForKey(bool, uint16_t, uint16_t, const void*, uint8_t*) override { raise(); }
    void PhysLast() override { RaiseEOF(); }
    void SetToBegin() override { RaiseEngineError(0x2801); }
    std::function<void()> raise = [] {};
};

class FacadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["T"] = {Row(1, "one"), Row(2, "two"), Row(3, "three")};
        ASSERT_EQ(eng_.StartResult(), 0);
        ASSERT_EQ(eng_.OpenDatabase("C:\\DATA", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, database_), 0);
        ASSERT_EQ(eng_.OpenTable(database_, "T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor_), 0);
    }
    TRaisingCursor* Raising() {
        return MakeHandle<TRaisingCursor>(database_, &database_->Cursors(), "T", 0, 0);
    }
    AnsiString EntryText(int n, DBIResult* code = nullptr) {
        char text[261] = {};
        int32_t native = 0;
        const DBIResult c = eng_.GetErrorEntry(n, native, text);
        if (code) *code = c;
        return text;
    }

    TVirtEng eng_{CreateSessionOf<TTestSession>};
    TBaseDatabase* database_ = nullptr;
    TBaseTable* cursor_ = nullptr;
    TRow row_{};
    uint8_t* rec() { return reinterpret_cast<uint8_t*>(&row_); }
};

}  // namespace

TEST_F(FacadeTest, FailuresLeaveExactlyOneEntryAndSuccessLeavesTheStack) {
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    EXPECT_EQ(row_.id, 1);
    EXPECT_EQ(eng_.OpenTable(database_, "NOSUCH", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor_),
              0x2704);
    EXPECT_EQ(eng_.OpenTable(database_, "NOSUCH2", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, cursor_),
              0x2704);
    ASSERT_EQ(eng_.ErrorStack().Count(), 1);
    TErrorEntry entry;
    eng_.ErrorStack().EntryAt(1, entry);
    EXPECT_EQ(entry.resultCode, 0x2704);
    EXPECT_STREQ(entry.context[0], "NOSUCH2");
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    EXPECT_EQ(eng_.ErrorStack().Count(), 1);

    // Failures outside the engine family pass through untouched.
    TBaseTable* other = nullptr;
    EXPECT_THROW(eng_.OpenTable(database_, "PLATFORM-ERROR", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr,
                                other),
                 platform::EConvertError);
    EXPECT_EQ(eng_.ErrorStack().Count(), 1);
}

TEST_F(FacadeTest, PriorMovesReportTheBeginning) {
    EXPECT_EQ(eng_.SetToBegin(cursor_), 0);
    EXPECT_EQ(eng_.GetPriorRecord(cursor_, 0, rec(), nullptr), rc::Bof);
    TRaisingCursor* raising = Raising();
    raising->OpenCursor();
    EXPECT_EQ(eng_.GetPriorRecord(raising, 0, rec(), nullptr), rc::Bof);  // its EOF is given as BOF
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    EXPECT_EQ(eng_.SetToEnd(cursor_), 0);
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), rc::Eof);
}

TEST_F(FacadeTest, PositioningCallsAreGuardedToo) {
    TRaisingCursor* raising = Raising();
    EXPECT_EQ(eng_.SetToBegin(raising), 0x2801);
    EXPECT_EQ(eng_.ErrorStack().Count(), 1);
    EXPECT_EQ(eng_.SetToBegin(nullptr), rc::InvalidHandle);
    EXPECT_EQ(eng_.SetToEnd(nullptr), rc::InvalidHandle);
}

TEST_F(FacadeTest, ErrorEntryTexts) {
    TVirtEng fresh(CreateSessionOf<TTestSession>);
    char text[261] = "untouched";
    int32_t native = 77;
    EXPECT_EQ(fresh.GetErrorEntry(1, native, text), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(native, 77);

    TRaisingCursor* raising = Raising();
    raising->raise = [] { RaiseEOF(); };
    eng_.GetRecordForKey(raising, false, 0, 0, nullptr, rec());
    DBIResult code = 0;
    EXPECT_EQ(EntryText(1, &code), "DBIERR_EOF");
    EXPECT_EQ(code, rc::Eof);

    raising->raise = [] { throw TNativeError(9, -9, "context"); };
    eng_.GetRecordForKey(raising, false, 0, 0, nullptr, rec());
    EXPECT_EQ(EntryText(1, &code), "native says no\r\nDBI Error Code = Quillon (BDE) Error -9.\r\ncontext");
    EXPECT_EQ(code, 9);

    char found[261];
    EXPECT_EQ(eng_.FindErrorEntry(9, found), 0);
    EXPECT_NE(std::strstr(found, "context"), nullptr);
    EXPECT_EQ(eng_.FindErrorEntry(rc::Bof, found), rc::Bof);
    EXPECT_STREQ(found, "");
}

TEST_F(FacadeTest, LongMessagesAreShownOnce) {
    const AnsiString message = AnsiString(127, 'a') + AnsiString(73, 'b');
    TRaisingCursor* raising = Raising();
    raising->raise = [&] { RaiseEngineErrorMsg(rc::NoSuchTable, message); };
    eng_.GetRecordForKey(raising, false, 0, 0, nullptr, rec());
    const AnsiString text = EntryText(1);
    EXPECT_EQ(text, "DBIERR_NOSUCHTABLE\r\n" + AnsiString(127, 'a') + "\r\n" + AnsiString(73, 'b'));
}

TEST_F(FacadeTest, ClosingTheLastSessionLeavesNoCurrentSession) {
    TBaseSession* session = eng_.CurrentSession();
    EXPECT_EQ(eng_.CloseSession(session), rc::InvalidHandle);
    EXPECT_EQ(eng_.CurrentSession(), nullptr);
    EXPECT_EQ(eng_.Sessions().Count(), 0);
    TSessionInfo info;
    EXPECT_EQ(eng_.GetSesInfo(info), rc::InvalidHandle);
    EXPECT_EQ(eng_.SetCurrSession(session), rc::InvalidHandle);
    EXPECT_EQ(eng_.SetPrivateDir("C:\\X"), 0);
    // The database and cursor went with the session.
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), rc::InvalidHandle);

    TBaseSession* second = nullptr;
    EXPECT_EQ(eng_.StartSession(nullptr, second, nullptr), 0);
    EXPECT_EQ(eng_.CurrentSession(), second);
}

TEST_F(FacadeTest, HandlesOfAFreedDatabaseAreRefused) {
    TBaseDatabase* closed = database_;
    EXPECT_EQ(eng_.CloseDatabase(database_), 0);
    EXPECT_EQ(database_, nullptr);
    EXPECT_EQ(eng_.CurrentDatabase(), nullptr);
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), rc::InvalidHandle);
    EXPECT_EQ(eng_.CloseCursor(cursor_), rc::InvalidHandle);
    EXPECT_EQ(eng_.CloseDatabase(closed), rc::InvalidHandle);
    // A handle of the wrong kind is refused as well.
    TBaseTable* notACursor = reinterpret_cast<TBaseTable*>(eng_.CurrentSession());
    EXPECT_EQ(eng_.GetNextRecord(notACursor, 0, rec(), nullptr), rc::InvalidHandle);
}

// A handle the facade has just accepted is refused all the same once it is freed, however
// it went, and is never taken for a handle of another kind.
TEST_F(FacadeTest, AnAcceptedHandleIsRefusedOnceFreed) {
    ASSERT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    EXPECT_EQ(eng_.SetDirectory(reinterpret_cast<TBaseDatabase*>(cursor_), "C:\\X"), rc::InvalidHandle);
    ASSERT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    bool blank = false;
    int32_t id = 0;
    ASSERT_EQ(eng_.GetField(cursor_, 1, rec(), &id, blank), 0);
    // Freed behind the facade's back, straight after it accepted the cursor.
    FreeHandle(cursor_);
    EXPECT_EQ(eng_.GetField(cursor_, 1, rec(), &id, blank), rc::InvalidHandle);
    EXPECT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), rc::InvalidHandle);
    EXPECT_EQ(eng_.GetRecord(cursor_, 0, rec(), nullptr), rc::InvalidHandle);
    // A handle made afterwards is accepted.
    TBaseTable* fresh = nullptr;
    ASSERT_EQ(eng_.OpenTable(database_, "T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, fresh), 0);
    EXPECT_EQ(eng_.GetNextRecord(fresh, 0, rec(), nullptr), 0);
    EXPECT_EQ(row_.id, 1);
}

TEST_F(FacadeTest, SetToCursorPositionsTheDestinationOnTheSourcesRecord) {
    TBaseTable* other = nullptr;
    ASSERT_EQ(eng_.OpenTable(database_, "T", nullptr, nullptr, nullptr, 0, 0, 0, 0, false, nullptr, other), 0);
    ASSERT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    ASSERT_EQ(eng_.GetNextRecord(cursor_, 0, rec(), nullptr), 0);
    EXPECT_EQ(eng_.SetToCursor(other, cursor_), 0);
    EXPECT_EQ(eng_.GetRecord(other, 0, rec(), nullptr), 0);
    EXPECT_EQ(row_.id, 2);
    // A missing destination is the source cursor's own parameter error; a missing source has no handle.
    EXPECT_EQ(eng_.SetToCursor(nullptr, cursor_), rc::InvalidParam);
    EXPECT_EQ(eng_.SetToCursor(other, nullptr), rc::InvalidHandle);
}

TEST_F(FacadeTest, PropertiesAndOwners) {
    uint16_t length = 9;
    int32_t value = 0;
    EXPECT_EQ(eng_.GetProp(nullptr, 0, &value, 4, length), rc::InvalidParam);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(eng_.ErrorStack().Count(), 0);
    EXPECT_EQ(eng_.SetProp(&eng_, TVirtEng::kClientValueProp, 1234), 0);
    EXPECT_EQ(eng_.GetProp(&eng_, TVirtEng::kClientValueProp, &value, 4, length), 0);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(eng_.SetProp(cursor_, 0, 1), rc::NotSupported);  // read-only
    uint16_t count = 0;
    EXPECT_EQ(eng_.GetProp(database_, 0, &count, 2, length), 0);
    EXPECT_EQ(count, 27);

    char type[8] = "xxxxxxx";
    EXPECT_EQ(eng_.GetProp(database_, 2, type, 4, length), 0);
    EXPECT_STREQ(type, "STA");  // cut so that it and its terminator fit
    EXPECT_EQ(type[4], 'x');
    EXPECT_EQ(length, 4);

    TBapiListItem* owner = nullptr;
    EXPECT_EQ(eng_.GetObjFromObj(database_, 2, owner), 0);
    EXPECT_EQ(owner, eng_.CurrentSession());
    EXPECT_EQ(eng_.GetObjFromObj(database_, 3, owner), rc::InvalidParam);
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(eng_.RegisterCursorCallBack(nullptr, nullptr), rc::NotAvailable);
}

TEST_F(FacadeTest, DelayedUpdatesThroughTheFacade) {
    TBaseTable* handle = cursor_;
    ASSERT_EQ(eng_.BeginDelayedUpdates(handle), 0);
    EXPECT_NE(handle, cursor_);
    EXPECT_EQ(eng_.GetNextRecord(handle, 0, rec(), nullptr), 0);
    std::strcpy(row_.name, "uno");
    EXPECT_EQ(eng_.ModifyRecord(handle, rec(), true), 0);
    EXPECT_STREQ(TTestStore::Get().tables["T"][0].name, "one");
    EXPECT_EQ(eng_.ApplyDelayedUpdates(handle, 3), 0);
    EXPECT_EQ(eng_.ApplyDelayedUpdates(handle, 0), 0);
    EXPECT_STREQ(TTestStore::Get().tables["T"][0].name, "uno");
    EXPECT_EQ(eng_.EndDelayedUpdates(handle), 0);
    EXPECT_EQ(handle, cursor_);
}

TEST_F(FacadeTest, ReadBlockAndConfigurationLists) {
    std::vector<TRow> block(3);
    uint32_t count = 3;
    EXPECT_EQ(eng_.SetToBegin(cursor_), 0);
    EXPECT_EQ(eng_.ReadBlock(cursor_, count, reinterpret_cast<uint8_t*>(block.data()), sizeof(TRow) * 3), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(block[2].id, 3);

    TBaseTable* rows = nullptr;
    ASSERT_EQ(eng_.OpenCfgInfoList(nullptr, 0, 0, "[x] \\DATABASES\\C:\\DIR\\DB INFO", rows), 0);
    TConfigNode node;
    EXPECT_EQ(eng_.GetNextRecord(rows, 0, reinterpret_cast<uint8_t*>(&node), nullptr), 0);
    EXPECT_STREQ(node.value, "C:\\DIR");
    EXPECT_EQ(eng_.CloseCursor(rows), 0);
}

TEST(FacadeHelpers, StripBracketed) {
    // The bracketed part goes with the blank that parted it from the name, no more.
    const struct {
        const char* source;
        const char* stripped;
    } cases[] = {
        {"[x] word", "word"}, {"word [x]", "word"},  {"a [x] b", "a b"},   {"[x]word", "word"},
        {"a[x]b", "ab"},      {"ALIAS [x]", "ALIAS"}, {"a[b", "a[b"},      {"plain", "plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(TVirtEng::StripBracketed(c.source), c.stripped) << c.source;
    EXPECT_EQ(TVirtEng::StripBracketed(nullptr), "");
}

TEST(FacadeHelpers, DateAndTimeConventions) {
    TVirtEng eng(CreateSessionOf<TTestSession>);
    TFormatConventions c;
    c.dateSeparator = '.';
    c.shortDateFormat = "dd.MM.yyyy";
    c.shortTimeFormat = "h:nn AMPM";
    c.amString = "Morning";
    c.pmString = "PM";
    c.dateOrder = 1;
    eng.InitDateTimeFormats(c);
    EXPECT_EQ(eng.DateFormat().separator[0], '.');
    EXPECT_EQ(eng.DateFormat().dateOrder, 1);
    EXPECT_TRUE(eng.DateFormat().fourDigitYear);
    EXPECT_TRUE(eng.DateFormat().dayLeadingZero);
    EXPECT_FALSE(eng.DateFormat().monthLeadingZero);
    EXPECT_TRUE(eng.TimeFormat().twelveHour);
    EXPECT_STREQ(eng.TimeFormat().amString, "Morni");
    c.shortTimeFormat = "hh:nnAMPM";
    eng.InitDateTimeFormats(c);
    EXPECT_FALSE(eng.TimeFormat().twelveHour);
    EXPECT_STREQ(eng.TimeFormat().amString, "");
}

TEST(FacadeHelpers, ResolvingAPathParameterStripsItInPlace) {
    TTestStore::Get().Reset();
    TVirtEng eng(CreateSessionOf<TTestSession>);
    TEngineFieldDesc param{};
    std::strcpy(param.name, "path");
    char values[] = "[tag] C:\\DATA";
    TBaseDatabase* database = nullptr;
    EXPECT_EQ(eng.OpenDatabase(nullptr, nullptr, 0, 0, nullptr, 1, &param, values, database), 0);
    EXPECT_STREQ(values, "C:\\DATA");
    auto* session = static_cast<TTestSession*>(eng.CurrentSession());
    EXPECT_STREQ(session->lastDesc.physicalName, "C:\\DATA\\");
}

TEST(FacadeHelpers, AFacadeWithoutSessionClassStartsNoSession) {
    TVirtEng eng(nullptr);
    EXPECT_EQ(eng.StartResult(), rc::InvalidParam);
    EXPECT_EQ(eng.CurrentSession(), nullptr);
    TSessionInfo info;
    EXPECT_EQ(eng.GetSesInfo(info), rc::InvalidHandle);
    EXPECT_EQ(eng.SetPrivateDir("C:\\X"), 0);
}
