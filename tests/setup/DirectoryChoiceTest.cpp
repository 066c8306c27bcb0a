// The directory chooser and the shell's folder browser, driven through their windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <winioctl.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <vector>

#include "DialogDriver.h"
#include "SetrixLibrary.h"
#include "tests/support/ImportPatch.h"

namespace {

using testsupport::ImportPatch;
using TextOf1 = const char*(const char*);
using TreeFn = const char*(const char*, const char*, HWND, int);

// The chooser's texts, code page 1251.
const std::string kChooser = "\xD3\xEA\xE0\xE6\xE8\xF2\xE5 \xE4\xE8\xF0\xE5\xEA\xF2\xEE\xF0\xE8\xFE";
const std::string kOk = "\xCE\xCA";
const std::string kCancel = "\xCE\xF2\xEC\xE5\xED\xE0";
const std::string kErrorCaption = "\xCE\xF8\xE8\xE1\xEA\xE0";
const std::string kMessageCaption = "\xD1\xEE\xEE\xE1\xF9\xE5\xED\xE8\xE5";
const std::string kBadPath = "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xEF\xF3\xF2\xFC";
const std::string kCreateQuestion =
    "\xD3\xEA\xE0\xE7\xE0\xED\xED\xFB\xE9 \xEA\xE0\xF2\xE0\xEB\xEE\xE3 \xED\xE5 "
    "\xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2. \xD1\xEE\xE7\xE4\xE0\xF2\xFC?";
const std::string kCannotCreate =
    "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xF1\xEE\xE7\xE4\xE0\xF2\xFC \xEA\xE0\xF2\xE0\xEE\xEB\xE3";
const std::string kNoWriteAccess =
    "\xCD\xE5\xF2 \xE4\xEE\xF1\xF2\xF3\xEF\xE0 \xED\xE0 \xE7\xE0\xEF\xE8\xF1\xFC \xE2 "
    "\xF3\xEA\xE0\xE7\xE0\xED\xED\xFB\xE9 \xEA\xE0\xF2\xE0\xEB\xEE\xE3";
const std::string kRemovableRefused =
    "\xD3\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 \xED\xE0 \xEF\xE5\xF0\xE5\xED\xEE\xF1\xED\xFB\xE5 "
    "\xE4\xE8\xF1\xEA\xE8 \xE8 \xE4\xE8\xF1\xEA\xE8 \xE2 \xEE\xEF\xE5\xF0\xE0\xF2\xE8\xE2\xED\xEE\xE9 "
    "\xEF\xE0\xEC\xFF\xF2\xE8 \xE7\xE0\xEF\xF0\xE5\xF9\xE5\xED\xE0";
const std::string kUnknownMedia =
    "\xCD\xE5\xE8\xE7\xE2\xE5\xF1\xF2\xED\xFB\xE9 \xF2\xE8\xEF \xED\xEE\xF1\xE8\xF2\xE5\xEB\xFF";
const std::string kDriveReadError =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xEF\xF0\xE8 \xF7\xF2\xE5\xED\xE8\xE8 \xED\xEE\xF1\xE8\xF2\xE5\xEB\xFF";
const std::string kNotFound = "\xCA\xE0\xF2\xE0\xEB\xEE\xE3 \xED\xE5 \xED\xE0\xE9\xE4\xE5\xED";
const std::string kDirectoryMissing =
    "\xD3\xEA\xE0\xE7\xE0\xED\xED\xE0\xFF \xE4\xE8\xF0\xE5\xEA\xF2\xEE\xF0\xE8\xFF \xED\xE5 "
    "\xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2";

std::string WithoutSlash(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

// A drive letter of the given type over a directory, for the test's lifetime. Wine keeps
// its drives in its mount manager, which defines them on request.
class TemporaryDrive {
public:
    TemporaryDrive(char letter, ULONG type, const std::string& directory) : letter_(letter) {
        using UnixName = char*(CDECL*)(const WCHAR*);
        auto unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        std::wstring wide(directory.begin(), directory.end());
        char* unixPath = unixName ? unixName(wide.c_str()) : nullptr;
        defined_ = unixPath && Define(type, unixPath);
        if (unixPath) HeapFree(GetProcessHeap(), 0, unixPath);
    }
    ~TemporaryDrive() {
        if (defined_) Define(0, nullptr);
    }
    bool Defined() const { return defined_; }

private:
    // The mount manager's request: a fixed header, then the mount point's Unix path.
    struct UnixDrive {
        ULONG size, type, fsType;
        DWORD serial;
        ULONGLONG unixDevice;
        WCHAR letter;
        USHORT mountPoint, device, label;
    };
    bool Define(ULONG type, const char* unixPath) {
        const HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (manager == INVALID_HANDLE_VALUE) return false;
        std::string request(sizeof(UnixDrive), '\0');
        UnixDrive header{};
        header.type = type;
        header.letter = static_cast<WCHAR>(std::tolower(letter_));
        if (unixPath) {
            header.mountPoint = static_cast<USHORT>(request.size());
            request.append(unixPath).push_back('\0');
        }
        header.size = static_cast<ULONG>(request.size());
        std::memcpy(request.data(), &header, sizeof header);
        DWORD got = 0;
        const DWORD defineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
        const BOOL ok = DeviceIoControl(manager, defineUnixDrive, request.data(), static_cast<DWORD>(request.size()),
                                        nullptr, 0, &got, nullptr);
        CloseHandle(manager);
        return ok != FALSE;
    }

    char letter_;
    bool defined_ = false;
};

// The drive U: as the replacements below of setrix.dll's imports make the system answer for
// it, answers Wine never gives (a drive of unknown kind, a medium that goes away).
bool IsDriveU(LPCSTR path) { return path && (path[0] == 'U' || path[0] == 'u') && std::strcmp(path + 1, ":\\") == 0; }

UINT WINAPI DriveUOfUnknownKind(LPCSTR root) { return IsDriveU(root) ? DRIVE_UNKNOWN : GetDriveTypeA(root); }

// U:\ shows as a directory to this many more checks, then is gone (-1: as it is).
std::atomic<int> driveUChecksLeft{-1};
DWORD WINAPI DriveUThatGoesAway(LPCSTR path) {
    if (!IsDriveU(path) || driveUChecksLeft < 0) return GetFileAttributesA(path);
    if (driveUChecksLeft == 0) {
        SetLastError(ERROR_NOT_READY);
        return INVALID_FILE_ATTRIBUTES;
    }
    --driveUChecksLeft;
    return FILE_ATTRIBUTE_DIRECTORY;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The controls of the chooser's form.
struct Chooser {
    Chooser(DialogDriver& d) : form(d.Window(kChooser)) {
        edit = d.Child(form, "Edit");
        list = d.Child(form, "ListBox");
        drives = d.Child(form, "ComboBox");
        ok = d.Button(form, kOk);
        cancel = d.Button(form, kCancel);
    }
    HWND form, edit, list, drives, ok, cancel;
};

// The line of the drive list that shows the drive ("c:").
int DriveLine(HWND drives, const char* drive) {
    return static_cast<int>(
        SendMessageA(drives, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(drive)));
}

std::vector<std::string> ListLines(HWND list) {
    std::vector<std::string> lines;
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[MAX_PATH] = {};
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(text);
    }
    return lines;
}

// The text of the selected item of the first tree view below the window (the browser
// runs on a thread of this process, so its items can be read directly).
std::string SelectedTreeItem(HWND window) {
    HWND tree = FindWindowExA(window, nullptr, "SysTreeView32", nullptr);
    for (HWND child = FindWindowExA(window, nullptr, nullptr, nullptr); !tree && child;
         child = FindWindowExA(window, child, nullptr, nullptr))
        tree = FindWindowExA(child, nullptr, "SysTreeView32", nullptr);
    if (!tree) return std::string();
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return std::string();
    char text[MAX_PATH] = {};
    TVITEMA info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
    return text;
}

class DirectoryChoice : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA((dir + "beta").c_str(), nullptr);
        CreateDirectoryA((dir + "alpha").c_str(), nullptr);
    }
    void TearDown() override { RemoveTree(dir); }

    // SelectDirectory(initial) while the script plays the user; the script must pass.
    std::string Choose(const std::string& initial, const std::function<void(DialogDriver&)>& script) {
        std::string result = "<no result>";
        const std::string failure = RunWithDialogs(script, [&] { result = selectDirectory(initial.c_str()); });
        EXPECT_EQ(failure, "");
        return result;
    }

    SetrixLibrary dll;
    SetrixLibrary::Stdcall<TextOf1>::Type selectDirectory = dll.Fn<TextOf1>("SelectDirectory");
    std::string dir = TempDirectory();
};

}  // namespace

TEST_F(DirectoryChoice, StartsAtTheInitialDirectoryAndOkReturnsIt) {
    std::vector<std::string> lines;
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        EXPECT_EQ(d.Text(c.edit), WithoutSlash(dir));
        lines = ListLines(c.list);
        d.Click(c.ok);
    });
    EXPECT_EQ(result, WithoutSlash(dir));
    // The tree ends with the subdirectories, indented below the current one, sorted.
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "C:\\");
    EXPECT_EQ(lines[lines.size() - 2].substr(lines[lines.size() - 2].find_first_not_of(' ')), "alpha");
    EXPECT_EQ(lines.back().substr(lines.back().find_first_not_of(' ')), "beta");
    EXPECT_GT(lines.back().find_first_not_of(' '), lines[lines.size() - 3].find_first_not_of(' '));
}

TEST_F(DirectoryChoice, CancelAndEscapeGiveEmptyAndTheSystemMenuKeepsThePath) {
    EXPECT_EQ(Choose(dir, [](DialogDriver& d) { d.Click(Chooser(d).cancel); }), "");
    EXPECT_EQ(Choose(dir, [](DialogDriver& d) { d.Type(Chooser(d).edit, 27); }), "");
    EXPECT_EQ(Choose(dir, [](DialogDriver& d) { d.Type(Chooser(d).list, 27); }), "");
    // Closed by the frame: the path as it stands, not checked.
    EXPECT_EQ(Choose(dir,
                     [](DialogDriver& d) {
                         Chooser c(d);
                         d.SetText(c.edit, "Q:\\not\\checked");
                         PostMessageA(c.form, WM_CLOSE, 0, 0);
                     }),
              "Q:\\not\\checked");
}

TEST_F(DirectoryChoice, CyrillicLettersNeverEnterThePath) {
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        d.SetText(c.edit, "C:\\\xCF\xE0\xEF\xEA\xE0x\xB8y\xA8");  // pasted: "Папка", ё, Ё dropped
        d.WaitUntil([&] { return d.Text(c.edit) == "C:\\xy"; }, "pasted text filtered");
        SendMessageA(c.edit, EM_SETSEL, 5, 5);
        for (char typed : {'\xC6', '\xB8', 'z'}) d.Type(c.edit, typed);  // Ж, ё, z
        d.WaitUntil([&] { return d.Text(c.edit) == "C:\\xyz"; }, "typed letter kept");
        PostMessageA(c.form, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, "C:\\xyz");
}

TEST_F(DirectoryChoice, EnterChecksThePathAndShowsTheDirectory) {
    const std::string result = Choose("C:\\", [&](DialogDriver& d) {
        Chooser c(d);
        // No drive letter or a drive that does not exist: a bad path.
        for (const char* bad : {"relative\\dir", "Q:\\nowhere"}) {
            d.SetText(c.edit, bad);
            d.Type(c.edit, '\r');
            EXPECT_EQ(d.Acknowledge(kErrorCaption), kBadPath) << bad;
        }
        // An existing directory is accepted and shown in the tree.
        d.SetText(c.edit, dir + "alpha\\");
        d.Type(c.edit, '\r');
        d.WaitUntil([&] { return d.Text(c.edit) == dir + "alpha"; }, "tree moved to alpha");
        const auto lines = ListLines(c.list);
        EXPECT_EQ(lines.back().substr(lines.back().find_first_not_of(' ')), "alpha");
        d.Click(c.ok);
    });
    EXPECT_EQ(result, dir + "alpha");
}

TEST_F(DirectoryChoice, DrivesThatCannotHoldTheInstallationAreRefused) {
    struct Case {
        char letter;
        ULONG type;
        std::string message;  // "" when the path is accepted
    };
    const std::vector<Case> cases = {
        {'R', DRIVE_CDROM, kNoWriteAccess},
        {'S', DRIVE_REMOVABLE, kRemovableRefused},
        {'T', DRIVE_RAMDISK, kRemovableRefused},
        {'N', DRIVE_REMOTE, ""},
    };
    for (const Case& c : cases) {
        TemporaryDrive drive(c.letter, c.type, dir + "alpha");
        ASSERT_TRUE(drive.Defined()) << c.letter;
        ASSERT_EQ(GetDriveTypeA((std::string(1, c.letter) + ":\\").c_str()), c.type);
        const std::string path = std::string(1, c.letter) + ":\\";
        Choose(dir, [&](DialogDriver& d) {
            Chooser chooser(d);
            d.SetText(chooser.edit, path);
            d.Type(chooser.edit, '\r');
            if (c.message.empty()) {
                d.WaitUntil([&] { return ListLines(chooser.list).front() == path; }, "tree on the drive");
            } else {
                EXPECT_EQ(d.Acknowledge(kErrorCaption), c.message) << c.letter;
            }
            d.Click(chooser.cancel);
        });
    }
}

// A drive whose kind the system cannot tell is refused, whether its root is typed or chosen
// in the drive list: the choice puts the root in the path and checks it the same way.
TEST_F(DirectoryChoice, ADriveOfUnknownKindIsRefused) {
    TemporaryDrive drive('U', DRIVE_FIXED, dir + "alpha");
    ASSERT_TRUE(drive.Defined());
    ImportPatch unknown("setrix.dll", "GetDriveTypeA", reinterpret_cast<const void*>(&DriveUOfUnknownKind));
    ASSERT_TRUE(unknown.Applied());
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        d.SetText(c.edit, "U:\\");
        d.Type(c.edit, '\r');
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kUnknownMedia);
        d.Click(c.ok);
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kUnknownMedia);
        d.SetText(c.edit, dir);
        d.Choose(c.drives, DriveLine(c.drives, "u:"));
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kUnknownMedia);
        EXPECT_EQ(d.Text(c.edit), "U:\\");
        EXPECT_EQ(ListLines(c.list).back().substr(ListLines(c.list).back().find_first_not_of(' ')), "beta");
        d.Click(c.cancel);
    });
    EXPECT_EQ(result, "");
}

// A medium that is there when the drive is chosen but gone when its tree is read: the
// chooser says it could not read it, and the tree stays where it was.
TEST_F(DirectoryChoice, AMediumGoneWhenItsTreeIsReadIsReported) {
    TemporaryDrive drive('U', DRIVE_FIXED, dir + "alpha");
    ASSERT_TRUE(drive.Defined());
    ImportPatch goesAway("setrix.dll", "GetFileAttributesA", reinterpret_cast<const void*>(&DriveUThatGoesAway));
    ASSERT_TRUE(goesAway.Applied());
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        driveUChecksLeft = 1;
        d.Choose(c.drives, DriveLine(c.drives, "u:"));
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kDriveReadError);
        EXPECT_EQ(d.Text(c.edit), "U:\\");
        EXPECT_EQ(ListLines(c.list).back().substr(ListLines(c.list).back().find_first_not_of(' ')), "beta");
        driveUChecksLeft = -1;
        // Readable again, the same choice moves the tree to it.
        d.SetText(c.edit, dir);
        d.Choose(c.drives, DriveLine(c.drives, "u:"));
        d.WaitUntil([&] { return ListLines(c.list).front() == "U:\\"; }, "tree on the drive");
        d.Click(c.cancel);
    });
    EXPECT_EQ(result, "");
}

TEST_F(DirectoryChoice, MissingDirectoryIsCreatedOnYes) {
    const std::string wanted = dir + "new\\deeper";
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        d.SetText(c.edit, wanted);
        d.Click(c.ok);
        const HWND question = d.Window(kMessageCaption);
        EXPECT_EQ(d.MessageText(question), kCreateQuestion);
        d.Answer(question, IDYES);
    });
    EXPECT_EQ(result, wanted);
    EXPECT_TRUE(Exists(wanted));
}

TEST_F(DirectoryChoice, MissingDirectoryLeftOnNoCannotBeWrittenTo) {
    const std::string wanted = dir + "never";
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        d.SetText(c.edit, wanted);
        d.Click(c.ok);
        d.Answer(d.Window(kMessageCaption), IDNO);
        // Accepted as it is, but OK needs a directory it can write to.
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kNoWriteAccess);
        // Enter with No accepts the path without a further message.
        d.Type(c.edit, '\r');
        d.Answer(d.Window(kMessageCaption), IDNO);
        d.Click(c.cancel);
    });
    EXPECT_EQ(result, "");
    EXPECT_FALSE(Exists(wanted));
}

TEST_F(DirectoryChoice, DirectoriesThatCannotBeCreatedAreRefused) {
    // A name Windows refuses, and a path beyond MAX_PATH.
    const std::string tooLong = dir + std::string(150, 'a') + "\\" + std::string(150, 'b');
    for (const std::string& wanted : {dir + "bad<name>", tooLong}) {
        const std::string result = Choose(dir, [&](DialogDriver& d) {
            Chooser c(d);
            d.SetText(c.edit, wanted);
            d.Click(c.ok);
            d.Answer(d.Window(kMessageCaption), IDYES);
            EXPECT_EQ(d.Acknowledge(kErrorCaption), kCannotCreate);
            d.Click(c.cancel);
        });
        EXPECT_EQ(result, "");
    }
}

TEST_F(DirectoryChoice, MissingInitialDirectoryIsReportedAndKeptInThePath) {
    const std::string missing = dir + "gone";
    const std::string result = Choose(missing, [&](DialogDriver& d) {
        EXPECT_EQ(d.Acknowledge(kErrorCaption), kNotFound);
        Chooser c(d);
        d.WaitUntil([&] { return d.Text(c.edit) == missing; }, "initial path shown");
        EXPECT_EQ(ListLines(c.list).front(), "C:\\");
        PostMessageA(c.form, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, missing);
}

TEST_F(DirectoryChoice, WritableCheckProbesAFreeNameAndLeavesOtherFilesAlone) {
    WriteFileBytes(dir + "temp.tmp", "one");
    WriteFileBytes(dir + "_temp.tmp", "two");
    const std::string result = Choose(dir, [](DialogDriver& d) { d.Click(Chooser(d).ok); });
    EXPECT_EQ(result, WithoutSlash(dir));
    EXPECT_TRUE(Exists(dir + "temp.tmp"));
    EXPECT_TRUE(Exists(dir + "_temp.tmp"));
    EXPECT_FALSE(Exists(dir + "__temp.tmp"));
}

TEST_F(DirectoryChoice, ChoosingADriveMovesToItsRootUnlessAlreadyThere) {
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        const int driveC = static_cast<int>(SendMessageA(c.drives, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                                         reinterpret_cast<LPARAM>("c:")));
        ASSERT_GE(driveC, 0);
        d.Choose(c.drives, driveC);
        d.WaitUntil([&] { return d.Text(c.edit) == "C:\\"; }, "moved to the root");
        // Already the root, written differently: nothing changes.
        d.SetText(c.edit, " c:\\ ");
        d.Choose(c.drives, driveC);
        d.Settle(c.form);
        EXPECT_EQ(d.Text(c.edit), " c:\\ ");
        PostMessageA(c.form, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, " c:\\ ");
}

TEST_F(DirectoryChoice, OpeningALineOfTheTreeMakesItThePath) {
    const std::string result = Choose(dir, [&](DialogDriver& d) {
        Chooser c(d);
        const int beta = static_cast<int>(SendMessageA(c.list, LB_GETCOUNT, 0, 0)) - 1;
        SendMessageA(c.list, LB_SETCURSEL, static_cast<WPARAM>(beta), 0);
        d.Type(c.list, '\r');
        d.WaitUntil([&] { return d.Text(c.edit) == dir + "beta"; }, "moved to beta");
        d.Click(c.ok);
    });
    EXPECT_EQ(result, dir + "beta");
}

TEST_F(DirectoryChoice, FolderBrowserStartsAtTheDirectoryAndReturnsTheChoice) {
    auto selectTree = dll.Fn<TreeFn>("SelectDirectoryTree");
    std::string result;
    std::string failure = RunWithDialogs(
        [&](DialogDriver& d) {
            const HWND browser = d.WindowOfClass("#32770");
            // The start folder is selected by a posted message: wait until the tree shows it.
            const std::string folder = WithoutSlash(dir).substr(WithoutSlash(dir).find_last_of('\\') + 1);
            d.WaitUntil([&] { return SelectedTreeItem(browser) == folder; }, "start folder selected");
            d.Answer(browser, IDOK);
        },
        [&] { result = selectTree(dir.c_str(), "Pick", nullptr, 1); });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(WithoutSlash(result), WithoutSlash(dir));

    failure = RunWithDialogs([](DialogDriver& d) { d.Answer(d.WindowOfClass("#32770"), IDCANCEL); },
                             [&] { result = selectTree(dir.c_str(), "Pick", nullptr, 1); });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(result, "");
}

TEST_F(DirectoryChoice, FolderBrowserReportsAMissingStartDirectoryWhenAsked) {
    auto selectTree = dll.Fn<TreeFn>("SelectDirectoryTree");
    const std::string missing = dir + "gone";
    std::string result = "<none>";
    std::string failure = RunWithDialogs(
        [&](DialogDriver& d) {
            EXPECT_EQ(d.Acknowledge(kMessageCaption), kDirectoryMissing);
            d.Answer(d.WindowOfClass("#32770"), IDCANCEL);
        },
        [&] { result = selectTree(missing.c_str(), "Pick", nullptr, 1); });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(result, "");

    // Without the flag the browser comes up at once.
    failure = RunWithDialogs(
        [&](DialogDriver& d) {
            const HWND browser = d.WindowOfClass("#32770");
            EXPECT_EQ(FindWindowExA(browser, nullptr, "Static", kDirectoryMissing.c_str()), nullptr);
            d.Answer(browser, IDCANCEL);
        },
        [&] { result = selectTree(missing.c_str(), "Pick", nullptr, 0); });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(result, "");
}
