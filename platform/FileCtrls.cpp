#include "FileCtrls.h"

#include "TextFile.h"

namespace platform {

namespace {

AnsiString WithoutTrailingBackslash(const AnsiString& path) {
    if (path.size() > 1 && path.back() == '\\') return path.substr(0, path.size() - 1);
    return path;
}

// Length of the root part: "X:\" or "\\server\share\" (0 when the path has neither).
size_t RootLength(const AnsiString& path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return 3;
    if (path.compare(0, 2, "\\\\") != 0) return 0;
    const size_t server = path.find('\\', 2);
    if (server == AnsiString::npos || server == 2) return 0;
    const size_t share = path.find('\\', server + 1);
    return share == AnsiString::npos ? path.size() : share + 1;
}

// The full form of a directory path; "" when the system cannot expand it.
AnsiString FullDirectoryPath(const AnsiString& path) {
    if (path.empty() || !FitsFilePathLimit(path)) return AnsiString();
    char buffer[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return AnsiString();
    const AnsiString full(buffer, length);
    return full.size() > RootLength(full) ? WithoutTrailingBackslash(full) : full;
}

// Errors of drives without media come back as results, not as system dialogs.
class TQuietErrors {
public:
    TQuietErrors() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~TQuietErrors() { SetErrorMode(previous_); }

private:
    UINT previous_;
};

}  // namespace

bool ForceDirectories(const AnsiString& directory) {
    const AnsiString dir = WithoutTrailingBackslash(directory);
    if (dir.empty() || !FitsFilePathLimit(dir)) return false;
    if (DirectoryExists(dir)) return true;
    const size_t cut = dir.find_last_of('\\');
    if (cut != AnsiString::npos && cut + 1 > RootLength(dir)) {
        if (!ForceDirectories(dir.substr(0, cut))) return false;
    }
    return CreateDirectoryA(dir.c_str(), nullptr) || DirectoryExists(dir);
}

// ---- TDirectoryListBox ----

TDirectoryListBox::TDirectoryListBox(TComponent* owner) : TListBox(owner) {
    OnDblClick = [this] { OpenSelected(); };
}

const TClassInfo& TDirectoryListBox::StaticClassInfo() {
    static const TClassInfo info =
        TClassInfo::Of<TDirectoryListBox>("TDirectoryListBox", &TListBox::StaticClassInfo());
    return info;
}

void TDirectoryListBox::SetDirectory(const AnsiString& directory) {
    const AnsiString full = FullDirectoryPath(directory);
    {
        TQuietErrors quiet;
        if (full.empty() || !DirectoryExists(full))
            throw EInOutError("Directory \"" + directory + "\" not found", ERROR_PATH_NOT_FOUND);
    }
    const bool changed = full != directory_;
    directory_ = full;
    Fill();
    if (changed && OnChange) OnChange();
}

void TDirectoryListBox::OpenSelected() {
    const int index = ItemIndex();
    if (index >= 0 && static_cast<size_t>(index) < linePaths_.size()) SetDirectory(linePaths_[static_cast<size_t>(index)]);
}

void TDirectoryListBox::Fill() {
    Clear();
    linePaths_.clear();
    const size_t root = RootLength(directory_);
    AnsiString indent;
    auto addLine = [&](const AnsiString& text, const AnsiString& path) {
        Add(indent + text);
        linePaths_.push_back(path);
    };
    // The root, then one line per directory down to the current one.
    addLine(directory_.substr(0, root), directory_.substr(0, root));
    size_t start = root;
    while (start < directory_.size()) {
        indent += "  ";
        size_t end = directory_.find('\\', start);
        if (end == AnsiString::npos) end = directory_.size();
        addLine(directory_.substr(start, end - start), directory_.substr(0, end));
        start = end + 1;
    }
    const int current = Count() - 1;
    indent += "  ";

    TStringList subdirectories;
    subdirectories.SetSortedFlag(true);
    const AnsiString base = directory_.back() == '\\' ? directory_ : directory_ + '\\';
    WIN32_FIND_DATAA found;
    TQuietErrors quiet;
    const HANDLE search = FindFirstFileA((base + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const AnsiString name = found.cFileName;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
                subdirectories.Add(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (int i = 0; i < subdirectories.Count(); ++i) addLine(subdirectories[i], base + subdirectories[i]);
    SetItemIndex(current);
}

// ---- TDriveComboBox ----

const TClassInfo& TDriveComboBox::StaticClassInfo() {
    static const TClassInfo info = TClassInfo::Of<TDriveComboBox>("TDriveComboBox", &TComboBox::StaticClassInfo());
    return info;
}

TDriveComboBox::TDriveComboBox(TComponent* owner) : TComboBox(owner) {
    const DWORD drives = GetLogicalDrives();
    if (drives == 0) throw EInOutError("The drives cannot be listed", GetLastError());
    TQuietErrors quiet;
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const char letter = static_cast<char>('A' + i);
        const AnsiString root = AnsiString(1, letter) + ":\\";
        AnsiString line = AnsiString(1, static_cast<char>('a' + i)) + ":";
        char label[MAX_PATH + 1] = {};
        if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED &&
            GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0) &&
            label[0] != '\0')
            line += AnsiString(" [") + label + "]";
        Add(line);
        letters_.push_back(letter);
    }
}

char TDriveComboBox::Drive() const {
    const int index = ItemIndex();
    return index >= 0 && static_cast<size_t>(index) < letters_.size() ? letters_[static_cast<size_t>(index)] : 0;
}

void TDriveComboBox::SetDrive(char letter) {
    const char wanted = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    for (size_t i = 0; i < letters_.size(); ++i) {
        if (letters_[i] == wanted) {
            SetItemIndex(static_cast<int>(i));
            return;
        }
    }
    SetItemIndex(-1);
}

}  // namespace platform
