#include <gtest/gtest.h>

#include "platform/Registry.h"

using namespace platform;

namespace {

// Each test works below its own key so parallel test processes never meet.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = AnsiString("\\SOFTWARE\\SetrixTests\\Registry_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        reg_.SetRootKey(HKEY_LOCAL_MACHINE);
        reg_.RemoveKey(base_);
    }
    void TearDown() override { reg_.RemoveKey(base_); }

    TRegistry reg_;
    AnsiString base_;
};

}  // namespace

TEST_F(RegistryTest, ValuesRoundTripAndMissingValuesReadEmpty) {
    ASSERT_TRUE(reg_.EnterKey(base_ + "\\a\\b", true));
    reg_.PutString("Name", "\xC8\xEC\xFF");
    reg_.PutInteger("Count", -5);
    EXPECT_EQ(reg_.GetString("Name"), "\xC8\xEC\xFF");
    EXPECT_EQ(reg_.GetInteger("Count"), -5);
    EXPECT_EQ(reg_.GetString("Missing"), "");
    EXPECT_TRUE(reg_.ValueExists("name"));
    EXPECT_THROW(reg_.GetString("Count"), ERegistryException);
    EXPECT_TRUE(reg_.RemoveValue("Name"));
    EXPECT_FALSE(reg_.RemoveValue("Name"));
    EXPECT_FALSE(reg_.ValueExists("Name"));
}

TEST_F(RegistryTest, KeysWithAndWithoutLeadingBackslashAreOne) {
    ASSERT_TRUE(reg_.MakeKey(base_ + "\\Beta"));
    ASSERT_TRUE(reg_.MakeKey(base_.substr(1) + "\\alpha"));
    EXPECT_TRUE(reg_.MakeKey(base_ + "\\BETA"));  // existing key counts as made
    ASSERT_TRUE(reg_.EnterKey(base_, false));
    TStringList names;
    reg_.GetKeyNames(names);
    EXPECT_EQ(names.JoinedText(), "alpha\r\nBeta\r\n");
    EXPECT_TRUE(reg_.HasSubKeys());
}

TEST_F(RegistryTest, RemoveKeyTakesSubkeysAndReportsMissingKey) {
    ASSERT_TRUE(reg_.MakeKey(base_ + "\\x\\y\\z"));
    ASSERT_TRUE(reg_.MakeKey(base_ + "\\x\\w"));
    EXPECT_TRUE(reg_.RemoveKey(base_ + "\\x"));
    EXPECT_FALSE(reg_.KeyExists(base_ + "\\x"));
    EXPECT_FALSE(reg_.RemoveKey(base_ + "\\x"));
    EXPECT_EQ(reg_.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reg_.EnterKey(base_ + "\\x", false));
}
