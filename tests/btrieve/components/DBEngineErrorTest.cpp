#include <gtest/gtest.h>

#include "btrieve/base/BaseSession.h"
#include "btrieve/base/VirtEng.h"
#include "btrieve/components/CallHelpers.h"
#include "btrieve/components/DBEngineError.h"
#include "tests/btrieve/base/TestEngine.h"

using namespace btrieve;
using namespace testengine;

namespace {

// An engine failure with a native code equal to its result code and no native text.
class TStatusError : public EQuillonEngineError {
public:
    TStatusError(uint16_t code, const AnsiString& message) : EQuillonEngineError(code, message) {
        SetNativeCode(-static_cast<int32_t>(code));
    }
};

class TFailingCursor : public TTestCursor {
public:
    using TTestCursor::TTestCursor;
    void SetToBegin() override { throw TStatusError(9, "T"); }
};

class DBEngineErrorTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTestStore::Get().Reset();
        TTestStore::Get().tables["T"] = {Row(1, "one")};
        ASSERT_EQ(eng_.OpenDatabase("C:\\DATA", nullptr, 0, 0, nullptr, 0, nullptr, nullptr, database_), 0);
    }
    TVirtEng eng_{CreateSessionOf<TTestSession>};
    TBaseDatabase* database_ = nullptr;
};

}  // namespace

TEST_F(DBEngineErrorTest, MessageComesFromTheErrorStackOnce) {
    auto* cursor = MakeHandle<TFailingCursor>(database_, &database_->Cursors(), "T", 0, 0);
    const uint16_t code = eng_.SetToBegin(cursor);
    ASSERT_EQ(code, 9);
    try {
        Check(eng_, code);
        FAIL() << "no exception";
    } catch (const platform::EDatabaseError& caught) {
        const auto& error = dynamic_cast<const ETDBEngineError&>(caught);
        ASSERT_EQ(error.ErrorCount(), 2);
        EXPECT_EQ(error.ErrorAt(0).ErrorCode(), 9);
        EXPECT_EQ(error.ErrorAt(1).ErrorCode(), 9);
        EXPECT_EQ(error.ErrorAt(1).NativeError(), -9);
        // The same entry text reached twice (found by code, then walked) shows once.
        EXPECT_EQ(error.Message(), platform::Trim(error.ErrorAt(1).Message()));
        EXPECT_NE(error.Message().find("DBI Error Code = "), AnsiString::npos);
        EXPECT_NE(error.Message().find("\r\nT"), AnsiString::npos);
    }
}

TEST_F(DBEngineErrorTest, CodeWithoutEntryGivesTheInterfaceText) {
    TVirtEng fresh(CreateSessionOf<TTestSession>);
    try {
        RaiseDatasetError(fresh, 0x2a04);
    } catch (const ETDBEngineError& error) {
        EXPECT_EQ(error.Message(), "Quillon Interface Error: ( 2A04 )");
        EXPECT_EQ(error.ErrorCount(), 1);
        EXPECT_EQ(error.ErrorCode(), 0x2a04);
    }
    EXPECT_NO_THROW(Check(fresh, 0));
}

TEST_F(DBEngineErrorTest, AliasTextTakesLinesWithValues) {
    struct Case {
        std::vector<const char*> lines;
        const char* text;
    } cases[] = {
        {{"PATH=C:\\DIR", "USER NAME="}, "PATH:\"C:\\DIR\""},
        {{"A=1", "NOEQUALS", "B=2"}, "A:\"1\";B:\"2\""},
        {{"USER NAME="}, ""},
        {{}, ""},
        // A quote of a value is doubled; colons and semicolons stay as they are.
        {{"PATH=C:\\A \"B\";X:Y", "Q=\""}, "PATH:\"C:\\A \"\"B\"\";X:Y\";Q:\"\"\"\""},
    };
    for (const auto& c : cases) {
        platform::TStringList list;
        for (const char* line : c.lines) list.Add(line);
        AnsiString text = "x";
        ParamsToAliasText(list, text);
        EXPECT_EQ(text, c.text);
    }
    platform::TStringList list;
    list.Add("P=" + AnsiString(300, 'v'));
    list.Add("DIR=C:\\\"quoted\";a:b;\"");
    list.Add("Q=\"\"");
    AnsiString written;
    ParamsToAliasText(list, written);
    // What is written reads back value for value, the first value cut at 255 characters.
    using P = std::vector<std::pair<AnsiString, AnsiString>>;
    EXPECT_EQ(ParseParamText(written.c_str()),
              (P{{"P", AnsiString(255, 'v')}, {"DIR", "C:\\\"quoted\";a:b;\""}, {"Q", "\"\""}}));
    list.Clear();
    list.Add("P=" + AnsiString(300, 'v'));
    AnsiString text;
    ParamsToAliasText(list, text);
    EXPECT_EQ(text, "P:\"" + AnsiString(255, 'v') + "\"");
}

TEST_F(DBEngineErrorTest, NativeBufferIsCutAndTerminated) {
    char buffer[40] = {};
    std::memset(buffer, 'z', sizeof buffer);
    AnsiToNativeBuf(eng_, nullptr, AnsiString(40, 'a'), 31, buffer);
    EXPECT_EQ(AnsiString(buffer), AnsiString(31, 'a'));
    AnsiString back;
    NativeToAnsiStr(eng_, nullptr, "abc", back);
    EXPECT_EQ(back, "abc");
}

TEST_F(DBEngineErrorTest, PropertyHelpersNeverRaise) {
    EXPECT_EQ(GetIntProp(eng_, nullptr, 0x50014), 0);
    EXPECT_FALSE(SetBoolProp(eng_, nullptr, 0x50014, 1));
}
