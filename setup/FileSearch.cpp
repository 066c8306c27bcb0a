#include "setup/FileSearch.h"

#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "platform/TextFile.h"
#include "setup/FilePaths.h"

namespace setrix {

using platform::AnsiString;

namespace {

bool IsDirectory(const WIN32_FIND_DATAA& entry) { return entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }

bool IsDotEntry(const WIN32_FIND_DATAA& entry) {
    const char* n = entry.cFileName;
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Where a directory lives: its volume and its number there. The same directory reached by
// two paths (a symbolic link, a mount) has one identity.
using TDirectoryIdentity = std::array<unsigned char, 24>;

// The file-id form (volume and 128-bit id) where the system has it; else the older
// 32-bit volume serial and 64-bit file index.
bool IdentityOf(const AnsiString& dir, TDirectoryIdentity& identity) {
    platform::THandleOwner handle(CreateFileA(dir.c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid()) return false;
    identity.fill(0);
    struct {
        ULONGLONG volume;
        unsigned char id[16];
    } fileId{};
    constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
    if (GetFileInformationByHandleEx(handle.Get(), kFileIdInfo, &fileId, sizeof fileId)) {
        std::memcpy(identity.data(), &fileId.volume, sizeof fileId.volume);
        std::memcpy(identity.data() + 8, fileId.id, sizeof fileId.id);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.Get(), &info)) return false;
    identity[0] = 1;  // never equal to a file-id form
    std::memcpy(identity.data() + 4, &info.dwVolumeSerialNumber, 4);
    std::memcpy(identity.data() + 8, &info.nFileIndexHigh, 4);
    std::memcpy(identity.data() + 12, &info.nFileIndexLow, 4);
    return true;
}

// One directory of the walk: its sub-directories still to visit.
struct TWalkFrame {
    AnsiString dir;  // with a trailing backslash
    std::vector<AnsiString> subdirectories;
    size_t next = 0;
};

class TTreeWalk {
public:
    TTreeWalk(const AnsiString& name, platform::TStrings& list) : name_(name), list_(list) {}

    void Run(const AnsiString& root) {
        std::vector<TWalkFrame> stack;
        Enter(IncludeTrailingBackslash(root), stack);
        while (!stack.empty()) {
            TWalkFrame& top = stack.back();
            if (top.next < top.subdirectories.size()) {
                const AnsiString sub = top.dir + top.subdirectories[top.next++] + "\\";
                Enter(sub, stack);  // may reallocate the stack: `top` is not used after it
                continue;
            }
            AddMatchingFiles(top.dir);
            stack.pop_back();
        }
    }

private:
    void Enter(const AnsiString& dir, std::vector<TWalkFrame>& stack) {
        // A path the ANSI find API cannot hold ends the descent here.
        if (dir.size() + 1 >= MAX_PATH) return;
        TDirectoryIdentity identity;
        if (IdentityOf(dir, identity) && !visited_.insert(identity).second) return;
        TWalkFrame frame;
        frame.dir = dir;
        WIN32_FIND_DATAA entry;
        TFindHandle find(dir + "*", entry);
        if (find.Valid()) {
            do {
                if (!IsDirectory(entry) || IsDotEntry(entry)) continue;
                // Junctions and directory links lead elsewhere, possibly back up the tree.
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
                frame.subdirectories.emplace_back(entry.cFileName);
            } while (find.Next(entry));
        }
        stack.push_back(std::move(frame));
    }

    void AddMatchingFiles(const AnsiString& dir) {
        WIN32_FIND_DATAA entry;
        TFindHandle find(dir + name_, entry);
        if (!find.Valid()) return;
        do {
            if (!IsDirectory(entry)) list_.Add(dir + entry.cFileName);
        } while (find.Next(entry));
    }

    const AnsiString& name_;
    platform::TStrings& list_;
    std::set<TDirectoryIdentity> visited_;
};

}  // namespace

bool AnyFileMatches(const AnsiString& mask) {
    WIN32_FIND_DATAA entry;
    TFindHandle find(mask, entry);
    if (!find.Valid()) return false;
    do {
        if (!IsDirectory(entry)) return true;
    } while (find.Next(entry));
    return false;
}

void FindFilesRecursive(const AnsiString& dir, const AnsiString& name, platform::TStrings& list) {
    // The name is one file name, never a path.
    if (name.empty() || name.find_first_of("\\/:") != AnsiString::npos) return;
    TTreeWalk(name, list).Run(dir);
}

void GetFixedDrives(platform::TStrings& roots) {
    const DWORD mask = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (1u << letter))) continue;
        const AnsiString root = AnsiString(1, static_cast<char>('A' + letter)) + ":\\";
        if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED) roots.Add(root);
    }
}

}  // namespace setrix
