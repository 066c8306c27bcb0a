#include <gtest/gtest.h>

#include <functional>

#include "platform/ScreenCursors.h"

using namespace platform;

namespace {

// A cursor of the test's own, as a program would make one.
TCursorHandle MakeCursor() {
    BYTE andMask[32 * 4];
    BYTE xorMask[32 * 4] = {};
    std::fill(std::begin(andMask), std::end(andMask), BYTE(0xFF));
    return TCursorHandle(CreateCursor(GetModuleHandleA(nullptr), 0, 0, 32, 32, andMask, xorMask));
}

// Whether the handle still names a cursor.
bool CursorAlive(HCURSOR cursor) {
    ICONINFO info{};
    if (!GetIconInfo(cursor, &info)) return false;
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return true;
}

HCURSOR Arrow() { return LoadCursor(nullptr, IDC_ARROW); }

}  // namespace

TEST(ScreenCursorsTest, IdsWithoutACursorOfTheirOwnShowTheArrow) {
    TScreenCursors cursors;
    TCursorHandle own = MakeCursor();
    const HCURSOR handle = own.get();
    cursors.Set(-30, std::move(own));
    for (int id : {0, -17, -29, -31, 1}) {
        EXPECT_FALSE(cursors.Contains(id)) << id;
        EXPECT_EQ(cursors.Get(id), Arrow()) << id;
    }
    EXPECT_TRUE(cursors.Contains(-30));
    EXPECT_EQ(cursors.Get(-30), handle);
}

TEST(ScreenCursorsTest, ACursorLeavingTheListIsDestroyed) {
    struct Case {
        const char* how;
        std::function<void(TScreenCursors&)> drop;
        bool stillListed;
    };
    const Case cases[] = {
        {"replaced by another", [](TScreenCursors& c) { c.Set(-30, MakeCursor()); }, true},
        {"removed", [](TScreenCursors& c) { c.Remove(-30); }, false},
        {"set to no cursor", [](TScreenCursors& c) { c.Set(-30, TCursorHandle()); }, false},
    };
    for (const Case& test : cases) {
        TScreenCursors cursors;
        TCursorHandle own = MakeCursor();
        const HCURSOR handle = own.get();
        ASSERT_TRUE(CursorAlive(handle)) << test.how;
        cursors.Set(-30, std::move(own));
        test.drop(cursors);
        EXPECT_FALSE(CursorAlive(handle)) << test.how;
        EXPECT_EQ(cursors.Contains(-30), test.stillListed) << test.how;
        EXPECT_NE(cursors.Get(-30), handle) << test.how;
        if (!test.stillListed) {
            EXPECT_EQ(cursors.Get(-30), Arrow()) << test.how;
        }
    }
}

TEST(ScreenCursorsTest, TheListDestroysItsCursorsWhenItEnds) {
    HCURSOR first = nullptr, second = nullptr;
    {
        TScreenCursors cursors;
        TCursorHandle a = MakeCursor(), b = MakeCursor();
        first = a.get();
        second = b.get();
        cursors.Set(-30, std::move(a));
        cursors.Set(5, std::move(b));
    }
    EXPECT_FALSE(CursorAlive(first));
    EXPECT_FALSE(CursorAlive(second));
}

TEST(ScreenCursorsTest, SettingTheCursorAnIdAlreadyHasKeepsItAlive) {
    TScreenCursors cursors;
    TCursorHandle own = MakeCursor();
    const HCURSOR handle = own.get();
    cursors.Set(-30, std::move(own));
    cursors.Set(-30, TCursorHandle(handle));
    EXPECT_TRUE(CursorAlive(handle));
    EXPECT_EQ(cursors.Get(-30), handle);
}

TEST(ScreenCursorsTest, AMissingCursorResourceLoadsNothing) {
    EXPECT_FALSE(LoadCursorResource(GetModuleHandleA(nullptr), "NOSUCHCURSOR"));
}
