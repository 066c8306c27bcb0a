// The dictionary files a Btrieve export installs in a data directory for the time of the
// call: whether the call ends, fails or is killed at any point of its work, once a later
// call has run the directory holds exactly the files it held before (names, sizes, bytes),
// with or without a dictionary of its own.
#include <gtest/gtest.h>

#include <map>

#include "ProductFiles.h"
#include "SetrixLibrary.h"
#include "platform/TestPoints.h"

namespace {

using TextOf2 = const char*(const char*, int);

// Dictionary files a directory holds of its own, by the name the directory spells.
using OwnFiles = std::map<std::string, std::string>;

struct OwnCase {
    const char* label;
    OwnFiles files;
};

// Each file is either the directory's own (set aside and put back) or missing (marked
// absent and its embedded file removed); an own file may be empty or spelt in lower case.
const OwnCase OwnCases[] = {
    {"no dictionary of its own", {}},
    {"two files of its own", {{"FIELD.DDF", std::string(5000, 'f')}, {"file.ddf", ""}}},
};

// Every file of the directory (folders by name only): name as stored -> bytes.
std::map<std::string, std::string> Contents(const std::string& directory) {
    std::map<std::string, std::string> contents;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return contents;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        contents[name] = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "<folder>" : ReadFileBytes(directory + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return contents;
}

class DictionaryInstallation : public ::testing::Test {
protected:
    // Between a killed call and the next one the product's own programs may read the
    // directory: each dictionary name holds the directory's own file or a whole embedded
    // one, never one cut short.
    void ExpectWholeDictionaryFiles(const OwnCase& c, const std::string& when) {
        const HMODULE setrix = GetModuleHandleA("setrix.dll");
        for (const char* resource : {"FIELD", "FILE", "INDEX"}) {
            const std::string name = std::string(resource) + ".DDF";
            if (GetFileAttributesA((dataDir + name).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
            const std::string bytes = ReadFileBytes(dataDir + name);
            const HRSRC found = FindResourceA(setrix, resource, MAKEINTRESOURCEA(10));  // RT_RCDATA
            ASSERT_NE(found, nullptr) << resource;
            const std::string embedded(static_cast<const char*>(LockResource(LoadResource(setrix, found))),
                                       SizeofResource(setrix, found));
            if (bytes == embedded) continue;
            bool own = false;
            for (const auto& [ownName, ownBytes] : c.files)
                own = own || (_stricmp(ownName.c_str(), name.c_str()) == 0 && bytes == ownBytes);
            EXPECT_TRUE(own) << c.label << ", " << when << ": " << name << " holds " << bytes.size() << " bytes";
        }
    }


    void TearDown() override { RemoveTree(dataDir); }

    // A fresh data directory: the product's data files and the case's own dictionary.
    void Prepare(const OwnFiles& own) {
        RemoveTree(dataDir);
        CreateDirectoryA(dataDir.c_str(), nullptr);
        productfiles::Write(dataDir);
        for (const auto& [name, bytes] : own) WriteFileBytes(dataDir + name, bytes);
    }

    // ReadBTI in a host process that is ended at the given point (a number counts the
    // points the process reaches; a name picks the first of that name). True when it was
    // ended there; false when the call ran to its end, answering the field's value.
    bool ReadKilledAt(const std::string& point, TestPointEvents* events = nullptr) {
        std::vector<std::string> environment{"SETRIX_TEST_KILL_AT=" + point};
        if (events) environment.push_back(events->Environment());
        HostProcess host({"ReadBTI", settings, "0"}, environment);
        const std::string output = host.Output();
        if (host.ExitCode() == platform::TestPointKillCode) return true;
        EXPECT_EQ(output, "12") << "point " << point;
        return false;
    }

    // Kills ReadBTI at each of its points in turn, each time on a fresh directory: once a
    // later call ran, the directory must hold what it held before. After a first call
    // killed at `killedBefore` (when given), only the points up to where the killed call's
    // files are all put back. Answers the number of points.
    int KillAtEachPoint(const OwnCase& c, const std::string& killedBefore = "") {
        for (int point = 1; point < 100; ++point) {
            Prepare(c.files);
            const auto before = Contents(dataDir);
            if (!killedBefore.empty() && !ReadKilledAt(killedBefore)) {
                ADD_FAILURE() << "no point " << killedBefore;
                return 0;
            }
            // The installation's first steps come after the put-back.
            TestPointEvents events;
            const std::vector<HANDLE> installing{events.Reached("dictionary.own-set-aside"),
                                                 events.Reached("dictionary.absence-marked")};
            if (!ReadKilledAt(std::to_string(point), &events)) {
                EXPECT_EQ(Contents(dataDir), before) << c.label << ", not killed";
                return point - 1;
            }
            ExpectWholeDictionaryFiles(c, "killed at point " + std::to_string(point));
            EXPECT_STREQ(readBti(settings.c_str(), 0), "12") << c.label << ", killed at point " << point;
            EXPECT_EQ(Contents(dataDir), before) << c.label << ", killed at point " << point;
            if (HasFailure()) return point;
            if (!killedBefore.empty() && WaitForMultipleObjects(2, installing.data(), FALSE, 0) != WAIT_TIMEOUT)
                return point;
        }
        ADD_FAILURE() << "the call never ended";
        return 0;
    }

    SetrixLibrary dll;
    std::string dataDir = TempDirectory();
    std::string settings = dataDir + "TRFIL008.DAT";
    TextOf2* readBti = dll.Fn<TextOf2>("ReadBTI");
};

TEST_F(DictionaryInstallation, ACallKilledAtAnyPointLeavesTheDirectoryAsItWasOnceAnotherCallRan) {
    for (const OwnCase& c : OwnCases) {
        // The lock, the three files set aside or marked absent, written and placed, the
        // alias, and the three put back.
        EXPECT_GE(KillAtEachPoint(c), 20) << c.label;
        if (HasFailure()) return;
    }
}

TEST_F(DictionaryInstallation, TheCallPuttingBackAKilledCallsFilesCanBeKilledAsWell) {
    // The first call is killed with all three embedded files in place.
    for (const OwnCase& c : OwnCases) {
        // The lock, each file's embedded one removed and its own one or its absence put
        // back, and the first step after.
        EXPECT_GE(KillAtEachPoint(c, "editor-alias.written"), 8) << c.label;
        if (HasFailure()) return;
    }
}

TEST_F(DictionaryInstallation, AFileThatCannotBeWrittenLeavesTheDirectoryAsItWas) {
    for (const OwnCase& c : OwnCases) {
        SCOPED_TRACE(c.label);
        Prepare(c.files);
        // The last embedded file cannot be written: a folder holds its scratch name.
        ASSERT_TRUE(CreateDirectoryA((dataDir + "INDEX.DDF.setrix-new").c_str(), nullptr));
        const auto before = Contents(dataDir);
        EXPECT_STREQ(readBti(settings.c_str(), 0), "");
        EXPECT_EQ(Contents(dataDir), before);
        RemoveDirectoryA((dataDir + "INDEX.DDF.setrix-new").c_str());
        EXPECT_STREQ(readBti(settings.c_str(), 0), "12");
    }
}

}  // namespace
