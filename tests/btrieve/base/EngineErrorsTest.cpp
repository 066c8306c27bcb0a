#include <gtest/gtest.h>

#include <map>

#include "btrieve/base/EngineErrors.h"

using namespace btrieve;

TEST(ResultCodes, TableHoldsEveryCategoryInItsFixedOrder) {
    std::map<int, int> perCategory;
    for (size_t i = 0; i < kResultCodeCount; ++i) ++perCategory[ResultCodeAt(i) >> 8];
    EXPECT_EQ(perCategory[0x2E], 161);
    EXPECT_EQ(perCategory[0x27], 81);
    EXPECT_EQ(perCategory[0x2B], 36);
    EXPECT_EQ(ResultCodeAt(14), 0x2204);
    EXPECT_EQ(ResultCodeAt(15), 0x2204);
    EXPECT_EQ(ResultCodeAt(470), 0x2D02);
    EXPECT_STREQ(ResultNameById(14470), "INVALIDOPTPARAM");
    EXPECT_EQ(ResultNameById(14471), nullptr);
}

TEST(ResultCodes, NamesAndNumericTexts) {
    const struct {
        uint16_t code;
        size_t max;
        const char* text;
    } cases[] = {
        {0x0000, 255, "DBIERR_NONE"},
        {0x2202, 255, "DBIERR_EOF"},
        {0x2204, 255, "DBIERR_RECDELETED"},
        {0x2B65, 255, "DBIERR_OSNETERR"},
        {0x1234, 255, "Quillon (BDE) Error 4660."},
        {0xFFFF, 255, "Quillon (BDE) Error 65535."},
        {0x3001, 10, "DBIERR_NOT"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetErrorName(c.code, c.max), c.text) << c.code;
}

TEST(EngineExceptions, BoundaryErrorsShareOneHandler) {
    int caught = 0;
    for (int i = 0; i < 2; ++i) {
        try {
            if (i == 0) RaiseEOF();
            RaiseBOF();
        } catch (const EQuillonBoundryError& e) {
            EXPECT_EQ(e.Code(), i == 0 ? rc::Eof : rc::Bof);
            ++caught;
        }
    }
    EXPECT_EQ(caught, 2);
    EXPECT_THROW(RaiseEOF(), EQuillonEngineError);
    EXPECT_THROW(RaiseEngineError(rc::InvalidParam), platform::EAbort);  // silent for the runtime
    try {
        RaiseUnsupported(9040);
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::NotSupported);
        EXPECT_EQ(e.ErrorMessage(), "");
        EXPECT_STREQ(e.what(), "");
    }
}

TEST(EngineExceptions, ChecksRaiseTheirCodes) {
    int value = 0;
    EXPECT_EQ(CheckParam(&value), &value);
    try {
        CheckParam(static_cast<int*>(nullptr));
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::InvalidParam);
    }
    try {
        CheckHandle(static_cast<int*>(nullptr));
        FAIL();
    } catch (const EQuillonEngineError& e) {
        EXPECT_EQ(e.Code(), rc::InvalidHandle);
    }
    EXPECT_TRUE(CheckOrRaise(true, 1));
    EXPECT_THROW(CheckOrRaise(false, rc::Eof), EQuillonEngineError);
}

TEST(EngineExceptions, MapStatus) {
    const TStatusPair pairs[] = {{4, 0x2206}, {9, 0x2202}};
    EXPECT_EQ(MapStatus(pairs, 2, 0), 0);
    EXPECT_EQ(MapStatus(pairs, 2, 9), 0x2202);
    EXPECT_EQ(MapStatus(pairs, 2, 77), 77);
    EXPECT_EQ(MapStatus(pairs, 0, 9), 9);
    EXPECT_EQ(MapStatus(pairs, 2, 0x12345), 0xFFFF);
    // A negative status is a failure with or without pairs, never success.
    for (int count : {2, 0, -1}) {
        EXPECT_EQ(MapStatus(pairs, count, -5), 0xFFFF) << count;
        EXPECT_EQ(MapStatus(nullptr, count, -5), 0xFFFF) << count;
    }
}

namespace {
TErrorEntry EntryWithCode(uint16_t code) {
    TErrorEntry e{};
    e.resultCode = code;
    return e;
}
}  // namespace

TEST(ErrorStack, KeepsTheNewestFirstAndDropsTheOldest) {
    TErrorStack big(50);
    EXPECT_EQ(big.Capacity(), 20);
    TErrorStack stack(10);
    TErrorEntry out;
    EXPECT_FALSE(stack.EntryAt(1, out));
    for (uint16_t i = 1; i <= 11; ++i) stack.Push(EntryWithCode(i));
    EXPECT_EQ(stack.Count(), 10);
    ASSERT_TRUE(stack.EntryAt(1, out));
    EXPECT_EQ(out.resultCode, 11);
    ASSERT_TRUE(stack.EntryAt(10, out));
    EXPECT_EQ(out.resultCode, 2);
    EXPECT_FALSE(stack.EntryAt(0, out));
    EXPECT_FALSE(stack.EntryAt(11, out));
    stack.Clear();
    EXPECT_FALSE(stack.HasEntries());
}

TEST(ErrorStack, EntriesFromExceptions) {
    const TErrorEntry unsupported = TErrorStack::EntryFor(EQuillonEngineError(rc::NotSupported));
    EXPECT_STREQ(unsupported.errorText, "DBIERR_NOTSUPPORTED");
    for (const auto& c : unsupported.context) EXPECT_STREQ(c, "");
    const TErrorEntry unknown = TErrorStack::EntryFor(EQuillonEngineError(0x1234, "boom"));
    EXPECT_STREQ(unknown.errorText, "Quillon (BDE) Error 0.");
    EXPECT_STREQ(unknown.context[0], "boom");
}

TEST(ErrorStack, LongMessageIsSplitAcrossTerminatedContextSlots) {
    // Each slot must end inside itself, or a reader of slot 1 runs on into slot 2.
    const AnsiString message = AnsiString(127, 'a') + AnsiString(73, 'b');
    const TErrorEntry entry = TErrorStack::EntryFor(EQuillonEngineError(rc::Eof, message));
    EXPECT_EQ(AnsiString(entry.context[0]), AnsiString(127, 'a'));
    EXPECT_EQ(AnsiString(entry.context[1]), AnsiString(73, 'b'));
    EXPECT_STREQ(entry.context[2], "");
}
