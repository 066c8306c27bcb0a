#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "SetrixLibrary.h"

namespace {

using IntOf1 = int(const char*);

class ProcessExports : public ::testing::Test {
protected:
    void TearDown() override {
        if (!childName.empty()) EndChildren();
        RemoveTree(dir);
    }

    // Kills what still runs of the test's child program and waits until it has ended, so
    // that its program file can be removed.
    void EndChildren() {
        std::vector<HANDLE> running;
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            if (lstrcmpiA(entry.szExeFile, childName.c_str()) != 0) continue;
            if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) running.push_back(process);
        }
        CloseHandle(snapshot);
        killProcess(childName.c_str());
        for (const HANDLE process : running) {
            EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0) << childName << " still runs";
            CloseHandle(process);
        }
    }

    // A copy of a test child program under a name no other process has.
    std::string UniqueChild(const char* program) {
        childName = "stxchild" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++copies) + ".exe";
        const std::string path = dir + childName;
        EXPECT_TRUE(CopyFileA((ProgramDirectory() + program).c_str(), path.c_str(), FALSE));
        return path;
    }
    static std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

    // Polls the export until it answers `wanted` or five seconds have passed.
    bool Becomes(const std::string& name, int wanted) {
        for (int i = 0; i < 100; ++i) {
            if (processExists(name.c_str()) == wanted) return true;
            Sleep(50);
        }
        return false;
    }

    SetrixLibrary dll;
    std::string dir = TempDirectory();
    std::string childName;
    int copies = 0;
    decltype(dll.Fn<IntOf1>("")) processExists = dll.Fn<IntOf1>("ProcessExists");
    decltype(processExists) killProcess = dll.Fn<IntOf1>("KillProcess");
    decltype(processExists) executeProgram = dll.Fn<IntOf1>("ExecuteProgram");
    decltype(processExists) executeProgramWait = dll.Fn<IntOf1>("ExecuteProgramWait");
};

}  // namespace

TEST_F(ProcessExports, WaitsForTheExitCode) {
    const std::string child = Quoted(UniqueChild("setrix-exit-child.exe"));
    EXPECT_EQ(executeProgramWait((child + " exit 7").c_str()), 7);
    EXPECT_EQ(executeProgramWait((child + " exit 0").c_str()), 0);
    EXPECT_EQ(executeProgramWait((child + " exit -3").c_str()), -3);
    EXPECT_EQ(executeProgramWait((Quoted(dir + "missing.exe") + " exit 7").c_str()), -1);
    EXPECT_EQ(executeProgramWait(""), -1);
    EXPECT_EQ(executeProgramWait(nullptr), -1);
    // Up to 512 characters the program starts; beyond them nothing is started.
    std::string longest = child + " exit 5 ";
    longest += std::string(512 - longest.size(), 'a');
    EXPECT_EQ(executeProgramWait(longest.c_str()), 5);
    EXPECT_EQ(executeProgramWait((longest + "a").c_str()), -1);
}

TEST_F(ProcessExports, StartsFindsAndKillsByFileName) {
    const std::string path = UniqueChild("setrix-wait-child.exe");
    EXPECT_GT(executeProgram((Quoted(path) + " 30000").c_str()), 31);
    ASSERT_TRUE(Becomes(childName, 1));
    std::string upper = childName;
    CharUpperA(upper.data());
    EXPECT_EQ(processExists(upper.c_str()), 1);
    EXPECT_EQ(processExists(path.c_str()), 0);  // the file name only, never a path
    EXPECT_EQ(processExists(""), 0);
    EXPECT_EQ(processExists(nullptr), 0);

    EXPECT_EQ(killProcess(childName.c_str()), 1);
    EXPECT_TRUE(Becomes(childName, 0));
    EXPECT_EQ(killProcess(childName.c_str()), 0);
    EXPECT_EQ(killProcess(""), 0);

    EXPECT_LE(executeProgram((Quoted(dir + "missing.exe") + " 1").c_str()), 31);
}

// A host that asks to kill the processes of its own program's name survives it.
TEST_F(ProcessExports, KillProcessSparesTheCaller) {
    const std::string child = Quoted(UniqueChild("setrix-exit-child.exe"));
    // The child loads setrix.dll from beside this test and reports KillProcess's answer + 10.
    const std::string dllDir = ProgramDirectory();
    ASSERT_TRUE(CopyFileA((dllDir + "setrix.dll").c_str(), (dir + "setrix.dll").c_str(), FALSE));
    EXPECT_EQ(executeProgramWait((child + " killself").c_str()), 10);
}
