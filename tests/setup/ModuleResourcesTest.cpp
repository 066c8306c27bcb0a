#include <gtest/gtest.h>

#include "SetrixLibrary.h"

// Resources that the libraries inside the DLL load from their own module at start.
TEST(ModuleResourcesTest, TheDllCarriesTheOracleBackgroundCursor) {
    SetrixLibrary library;
    const HMODULE module = GetModuleHandleA("setrix.dll");
    ASSERT_NE(module, nullptr);
    const HANDLE cursor = LoadImageA(module, "SQLARROW", IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
    ASSERT_NE(cursor, nullptr);
    DestroyCursor(static_cast<HCURSOR>(cursor));
}
