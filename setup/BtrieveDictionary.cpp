#include "setup/BtrieveDictionary.h"

#include <windows.h>

#include "platform/CommandLine.h"
#include "platform/FormatSettings.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/Streams.h"
#include "platform/TestPoints.h"
#include "setup/FilePaths.h"

namespace setrix {

using platform::AnsiString;

namespace {

// Resource names of the embedded files and the names they are written under, in order.
struct DictionaryFile {
    const char* Resource;
    const char* FileName;
};
constexpr DictionaryFile DictionaryFiles[] = {
    {"FIELD", "FIELD.DDF"},
    {"FILE", "FILE.DDF"},
    {"INDEX", "INDEX.DDF"},
};

AnsiString ProgramDirectory() { return IncludeTrailingBackslash(ExtractFilePath(platform::ParamStr(0))); }

}  // namespace

AnsiString DataDirectoryOfFile(const AnsiString& path) {
    const AnsiString directory = ExtractFilePath(path);
    return directory.empty() ? ProgramDirectory() : directory;
}

AnsiString DataDirectoryOf(const AnsiString& directory) {
    if (platform::Trim(directory).empty()) return ProgramDirectory();
    return IncludeTrailingBackslash(directory);
}

namespace {

// What an installation leaves beside a dictionary file's name (see the header).
constexpr const char* OwnSuffix = ".setrix-own";
constexpr const char* NoneSuffix = ".setrix-none";
constexpr const char* NewSuffix = ".setrix-new";

bool Exists(const AnsiString& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The name of an existing file as the directory spells it (the case of its letters).
AnsiString StoredName(const AnsiString& path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return ExtractFileName(path);
    FindClose(search);
    return found.cFileName;
}

// A rename that is on the disk when it returns.
bool Rename(const AnsiString& from, const AnsiString& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

// False only when the file is there and stays there.
bool Remove(const AnsiString& path) { return DeleteFileA(path.c_str()) || !Exists(path); }

// Writes the bytes as a new file and flushes them to the disk.
bool WriteFlushed(const AnsiString& path, const char* data, int64_t size) {
    try {
        platform::TFileStream file(path, platform::fmCreate);
        platform::TestPoint("dictionary.file-created");
        if (size > 0) file.WriteBuffer(data, static_cast<int32_t>(size));
        return FlushFileBuffers(file.Handle()) != 0;
    } catch (const platform::Exception&) {
        return false;
    }
}

// Puts a dictionary name back as the directory had it before an installation, whether that
// one ended or was killed: its own file under its own name, or no file. False when that
// cannot be done now (the marker names stay for a later call).
bool PutBack(const AnsiString& directory, const DictionaryFile& file) {
    const AnsiString path = directory + file.FileName;
    // A scratch file that cannot go carries no dictionary name; writing one under its name
    // fails later.
    if (Exists(path + NewSuffix) && Remove(path + NewSuffix)) platform::TestPoint("dictionary.unplaced-removed");
    if (Exists(path + OwnSuffix)) {
        if (Exists(path)) {
            if (!Remove(path)) return false;
            platform::TestPoint("dictionary.embedded-removed");
        }
        const AnsiString own = StoredName(path + OwnSuffix);
        if (!Rename(path + OwnSuffix, directory + own.substr(0, own.size() - std::char_traits<char>::length(OwnSuffix))))
            return false;
        platform::TestPoint("dictionary.own-put-back");
    } else if (Exists(path + NoneSuffix)) {
        if (Exists(path)) {
            if (!Remove(path)) return false;
            platform::TestPoint("dictionary.embedded-removed");
        }
        if (!Remove(path + NoneSuffix)) return false;
        platform::TestPoint("dictionary.absence-unmarked");
    }
    return true;
}

// Sets the directory's own file aside (or marks that it has none), then puts the embedded
// file in its place.
bool Place(const AnsiString& directory, const DictionaryFile& file) {
    const AnsiString path = directory + file.FileName;
    if (Exists(path)) {
        if (!Rename(path, directory + StoredName(path) + OwnSuffix)) return false;
        platform::TestPoint("dictionary.own-set-aside");
    } else {
        if (!WriteFlushed(path + NoneSuffix, nullptr, 0)) return false;
        platform::TestPoint("dictionary.absence-marked");
    }
    try {
        const platform::TResourceStream embedded(platform::HInstance(), file.Resource);
        if (!WriteFlushed(path + NewSuffix, embedded.Memory(), embedded.DataSize())) return false;
    } catch (const platform::Exception&) {
        return false;
    }
    platform::TestPoint("dictionary.file-written");
    if (!Rename(path + NewSuffix, path)) return false;
    platform::TestPoint("dictionary.placed");
    return true;
}

bool PutBackAll(const AnsiString& directory) {
    bool all = true;
    for (const DictionaryFile& file : DictionaryFiles) all = PutBack(directory, file) && all;
    return all;
}

}  // namespace

DictionaryInstallation::DictionaryInstallation(const AnsiString& directory)
    : directory_(IncludeTrailingBackslash(directory)) {
    // What a killed call left goes first: its embedded files would pass for the
    // directory's own.
    if (!PutBackAll(directory_)) return;
    for (const DictionaryFile& file : DictionaryFiles)
        if (!Place(directory_, file)) return;
    written_ = true;
}

DictionaryInstallation::~DictionaryInstallation() { PutBackAll(directory_); }

void SetEditorAlias(const AnsiString& directory) {
    platform::TRegistry reg(KEY_ALL_ACCESS);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!reg.EnterKey(AnsiString("\\SOFTWARE\\Quillon\\Btrieve\\ALIASES\\") + EditorAlias, true)) return;
    reg.PutString("Description", "Btrieve eidtor database alias");
    reg.PutString("PhysicalName", ExcludeTrailingBackslash(directory));
    platform::TestPoint("editor-alias.written");
}

void UseEditorDateTimeFormats() {
    platform::TFormatSettings& settings = platform::FormatSettings();
    settings.ShortDateFormat = "DD/MM/YYYY";
    settings.ShortTimeFormat = "HH:MM:SS";
}

}  // namespace setrix
