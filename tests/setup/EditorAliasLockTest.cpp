// Two programs at once on the editor alias, one registry key for the whole machine: an
// export of setrix.dll in one host process is held right after it wrote the alias, while
// another export or ecdump starts. Each must still work in its own directory: the second
// waits for the first (or, were there no lock, writes the alias over the first's before the
// first opens by it).
#include <gtest/gtest.h>

#include <memory>

#include "ProductFiles.h"
#include "SetrixLibrary.h"

namespace {

using TextOf2 = const char*(const char*, int);

// One program of a case: WriteBTI of a value into a field of TRFIL008.DAT in a data
// directory, or ecdump in its own directory.
struct Participant {
    enum { Export, Ecdump } program;
    int directory;  // 0, 1: data directories; 2: ecdump's directory
    int position = 0;
    const char* value = "";

    const char* AliasWritten() const { return program == Export ? "editor-alias.written" : "ecdump.alias-written"; }
};

struct OverlapCase {
    const char* label;
    Participant first, second;
};

const OverlapCase Cases[] = {
    {"two directories", {Participant::Export, 0, 4, "101"}, {Participant::Export, 1, 4, "202"}},
    {"one directory", {Participant::Export, 0, 4, "101"}, {Participant::Export, 0, 0, "77"}},
    {"an export, then ecdump", {Participant::Export, 0, 4, "101"}, {Participant::Ecdump, 2}},
    {"ecdump, then an export", {Participant::Ecdump, 2}, {Participant::Export, 0, 4, "101"}},
};

// "ID эмитента" of section "Конфигурация" in code page 1251: ecdump's first identifier.
constexpr const char* IssuerSection = "\xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF";
constexpr const char* IssuerKey = "ID \xFD\xEC\xE8\xF2\xE5\xED\xF2\xE0";

class EditorAliasLock : public ::testing::Test {
protected:
    // Fresh directories for a case: the product's files in each.
    void Prepare() {
        for (const std::string& directory : directories) {
            RemoveTree(directory);
            CreateDirectoryA(directory.c_str(), nullptr);
            productfiles::Write(directory);
        }
        // ecdump works beside the product's own dictionary, on an issuer of its own: read
        // from another directory, the identifier would be another.
        const std::string ecdumpDir = directories[2];
        productfiles::Write(ecdumpDir,
                            productfiles::WithRows(productfiles::Description(), {{"ECFIL003", "row 1 2 4321 \"\" 5 77\n"}}));
        wbtrv::FixtureWriter(ecdumpDir).WriteDictionary(wbtrv::ParseFixtureDescription(productfiles::Description()));
        for (const char* file : {"ecdump.exe", "wbtrv32.dll"})
            ASSERT_TRUE(CopyFileA((ProgramDirectory() + file).c_str(), (ecdumpDir + file).c_str(), FALSE));
    }
    void TearDown() override { RemoveTree(root); }

    std::unique_ptr<HostProcess> Start(const Participant& p, const TestPointEvents& events) {
        const std::string& directory = directories[p.directory];
        if (p.program == Participant::Ecdump)
            return std::make_unique<HostProcess>(std::vector<std::string>{directory + "out.ini"},
                                                 std::vector<std::string>{events.Environment()},
                                                 directory + "ecdump.exe");
        return std::make_unique<HostProcess>(
            std::vector<std::string>{"WriteBTI", directory + "TRFIL008.DAT", std::to_string(p.position), p.value},
            std::vector<std::string>{events.Environment()});
    }

    // The participant's work landed in its own directory, and nothing of the dictionary's
    // installation is left there.
    void ExpectDone(const Participant& p, HostProcess& process) {
        const std::string& directory = directories[p.directory];
        const std::string output = process.Output();
        if (p.program == Participant::Ecdump) {
            char issuer[64] = {};
            GetPrivateProfileStringA(IssuerSection, IssuerKey, "<none>", issuer, sizeof issuer,
                                     (directory + "out.ini").c_str());
            EXPECT_STREQ(issuer, "4321") << "ecdump";
            return;
        }
        EXPECT_EQ(output, "1\n") << "WriteBTI in directory " << p.directory;
        EXPECT_STREQ(readBti((directory + "TRFIL008.DAT").c_str(), p.position), p.value)
            << "WriteBTI in directory " << p.directory;
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((directory + "*.DDF*").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left in directory " << p.directory << ": " << found.cFileName;
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }

    SetrixLibrary dll;
    std::string root = TempDirectory();
    std::string directories[3] = {root + "A\\", root + "B\\", root + "Ecdump\\"};
    TextOf2* readBti = dll.Fn<TextOf2>("ReadBTI");
};

TEST_F(EditorAliasLock, ASecondProgramWaitsUntilTheFirstIsDoneWithTheAlias) {
    for (const OverlapCase& c : Cases) {
        SCOPED_TRACE(c.label);
        ASSERT_NO_FATAL_FAILURE(Prepare());
        TestPointEvents firstEvents, secondEvents;
        firstEvents.Hold(c.first.AliasWritten());
        auto first = Start(c.first, firstEvents);
        ASSERT_EQ(FirstSignalled({firstEvents.Reached(c.first.AliasWritten()), first->Handle()}), 0);

        // The second one either waits for the lock, or writes the alias over the first's.
        auto second = Start(c.second, secondEvents);
        ASSERT_GE(FirstSignalled({secondEvents.Reached("alias-lock.contended"),
                                  secondEvents.Reached(c.second.AliasWritten()), second->Handle()}),
                  0);
        firstEvents.Release(c.first.AliasWritten());
        ExpectDone(c.first, *first);
        ExpectDone(c.second, *second);
    }
}

TEST_F(EditorAliasLock, AProgramWaitingForOneKilledWhileHoldingTheLockTakesOver) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const Participant killed{Participant::Export, 0, 4, "101"}, next{Participant::Export, 0, 0, "77"};
    TestPointEvents killedEvents, nextEvents;
    killedEvents.Hold(killed.AliasWritten());
    auto holder = Start(killed, killedEvents);
    ASSERT_EQ(FirstSignalled({killedEvents.Reached(killed.AliasWritten()), holder->Handle()}), 0);
    auto waiting = Start(next, nextEvents);
    ASSERT_EQ(FirstSignalled({nextEvents.Reached("alias-lock.contended"), waiting->Handle()}), 0);
    holder->Kill();
    // The waiting one does its work, and puts back the directory the killed one left with
    // its dictionary installed.
    ExpectDone(next, *waiting);
    EXPECT_STREQ(readBti((directories[0] + "TRFIL008.DAT").c_str(), killed.position), "3");
}

}  // namespace
