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

// A dictionary folder given to the build is embedded as "FIELD", "FILE" and "INDEX" byte for
// byte, whatever the case of its file names: the helper module is built from such a folder
// the way setrix.dll is under SETRIX_DICTIONARY_DIR.
TEST(ModuleResourcesTest, AGivenDictionaryFolderIsEmbeddedByteForByte) {
    const std::string folder = ProgramDirectory() + "dictionary-folder\\";
    const HMODULE module =
        LoadLibraryExA((ProgramDirectory() + "dictionary-module.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const struct {
        const char* resource;
        const char* file;
    } embedded[] = {{"FIELD", "field.ddf"}, {"FILE", "File.DDF"}, {"INDEX", "INDEX.DDF"}};
    for (const auto& e : embedded) {
        SCOPED_TRACE(e.resource);
        const HRSRC found = FindResourceA(module, e.resource, MAKEINTRESOURCEA(10));  // RT_RCDATA
        ASSERT_NE(found, nullptr);
        const HGLOBAL loaded = LoadResource(module, found);
        ASSERT_NE(loaded, nullptr);
        const std::string bytes(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
        const std::string expected = ReadFileBytes(folder + e.file);
        ASSERT_EQ(expected.size(), 2 + std::string(e.file).size() + 255);
        EXPECT_EQ(bytes, expected);
    }
    FreeLibrary(module);
}
