#include <gtest/gtest.h>

#include "oracle/core/WaitCursor.h"
#include "oracle/oci/OraSession.h"
#include "platform/ModuleUnits.h"
#include "platform/ScreenCursors.h"

using namespace platform;

// This program embeds the cursor resource "SQLARROW" as the DLL does.
TEST(OraSessionUnitTest, TheUnitLoadsTheBackgroundCursorFromTheModuleAndDestroysItAtStop) {
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    ASSERT_FALSE(ScreenCursors().Contains(oracle::crBackground));

    TModuleUnits units;
    oracle::AddOraSessionUnit(units);
    units.Start();
    ASSERT_TRUE(ScreenCursors().Contains(oracle::crBackground));
    const HCURSOR cursor = ScreenCursors().Get(oracle::crBackground);
    EXPECT_NE(cursor, arrow);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    // The picture's hot spot: a cursor, with the arrow's tip at the top left.
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 0u);
    EXPECT_EQ(info.yHotspot, 0u);

    units.Stop();
    EXPECT_FALSE(ScreenCursors().Contains(oracle::crBackground));
    EXPECT_EQ(ScreenCursors().Get(oracle::crBackground), arrow);
    EXPECT_FALSE(GetIconInfo(cursor, &info));
}
