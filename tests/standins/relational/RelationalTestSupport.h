// Loads our relational engine as the product does (LoadLibrary, entry points by name), and
// writes a database (dictionary and data files) from a fixture description into a fresh
// directory.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "btrieve/engines/RelationalApi.h"
#include "standins/btrieve/FixtureWriter.h"

namespace sqltest {

using Bytes = std::vector<uint8_t>;

template <class Fn>
Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class SqlLibrary {
public:
    SqlLibrary() {
        module_ = LoadLibraryA(btrieve::kSqlStatementLibrary);
        if (!module_) return;
        getSession = Bind<btrieve::XGetSessionIdFn>(module_, "_xGetSessionID");
        putSession = Bind<btrieve::XPutSessionIdFn>(module_, "_xPutSessionID");
        cursor = Bind<btrieve::XqlCursorFn>(module_, "_XQLCursor");
        compile = Bind<btrieve::XqlCompileFn>(module_, "_XQLCompile");
        describe = Bind<btrieve::XqlDescribeFn>(module_, "XQLDescribe");
        exec = Bind<btrieve::XqlExecFn>(module_, "XQLExec");
        fetch = Bind<btrieve::XqlFetchFn>(module_, "_XQLFetch");
        free = Bind<btrieve::XqlFreeFn>(module_, "_XQLFree");
        login = Bind<btrieve::XqlLoginFn>(module_, "_XQLLogin");
        logout = Bind<btrieve::XqlLogoutFn>(module_, "_XQLLogout");
        stop = Bind<btrieve::XqlStopFn>(module_, "_XQLStop");
        subst = Bind<btrieve::XqlSubstFn>(module_, "XQLSubst");
        version = Bind<btrieve::XqlVersionFn>(module_, "XQLVersion");
        xfetch = Bind<btrieve::XFetchFn>(module_, "xFetch");
        xinsert = Bind<btrieve::XInsertFn>(module_, "xInsert");
        xupdate = Bind<btrieve::XUpdateFn>(module_, "xUpdate");
        xremove = Bind<btrieve::XRemoveFn>(module_, "xRemove");
        xreset = Bind<btrieve::XResetFn>(module_, "xReset");
    }
    ~SqlLibrary() {
        if (module_) FreeLibrary(module_);
    }
    SqlLibrary(const SqlLibrary&) = delete;
    SqlLibrary& operator=(const SqlLibrary&) = delete;

    static SqlLibrary& Get() {
        static SqlLibrary library;
        return library;
    }

    HMODULE module_ = nullptr;
    btrieve::XGetSessionIdFn getSession = nullptr;
    btrieve::XPutSessionIdFn putSession = nullptr;
    btrieve::XqlCursorFn cursor = nullptr;
    btrieve::XqlCompileFn compile = nullptr;
    btrieve::XqlDescribeFn describe = nullptr;
    btrieve::XqlExecFn exec = nullptr;
    btrieve::XqlFetchFn fetch = nullptr;
    btrieve::XqlFreeFn free = nullptr;
    btrieve::XqlLoginFn login = nullptr;
    btrieve::XqlLogoutFn logout = nullptr;
    btrieve::XqlStopFn stop = nullptr;
    btrieve::XqlSubstFn subst = nullptr;
    btrieve::XqlVersionFn version = nullptr;
    btrieve::XFetchFn xfetch = nullptr;
    btrieve::XInsertFn xinsert = nullptr;
    btrieve::XUpdateFn xupdate = nullptr;
    btrieve::XRemoveFn xremove = nullptr;
    btrieve::XResetFn xreset = nullptr;
};

// A fresh directory under the temporary folder, removed with its files at the end.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& tag) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "sqltest-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount());
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempDirectory() {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileA((path_ + "\\" + found.cFileName).c_str());
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path_.c_str());
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Writes the described tables and the dictionary that describes them.
inline void WriteDatabase(const std::string& directory, const std::string& description) {
    const auto tables = wbtrv::ParseFixtureDescription(description);
    wbtrv::FixtureWriter writer(directory);
    for (const auto& table : tables) writer.WriteTable(table);
    writer.WriteDictionary(tables);
}

}  // namespace sqltest
