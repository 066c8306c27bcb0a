#include "setup/BtrieveDictionary.h"

#include <windows.h>

#include "platform/CommandLine.h"
#include "platform/FormatSettings.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/Streams.h"
#include "platform/TestPoints.h"
#include "setup/FileContents.h"
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

bool ExtractDictionary(const AnsiString& directory) {
    const AnsiString base = IncludeTrailingBackslash(directory);
    for (const DictionaryFile& file : DictionaryFiles) {
        try {
            platform::TResourceStream resource(platform::HInstance(), file.Resource);
            resource.SaveToFile(base + file.FileName);
        } catch (...) {
            return false;
        }
    }
    return true;
}

void RemoveDictionary(const AnsiString& directory) noexcept {
    const AnsiString base = IncludeTrailingBackslash(directory);
    for (const DictionaryFile& file : DictionaryFiles) DeleteFileA((base + file.FileName).c_str());
}

DictionaryInstallation::DictionaryInstallation(const AnsiString& directory) : directory_(directory) {
    const AnsiString base = IncludeTrailingBackslash(directory);
    for (const DictionaryFile& file : DictionaryFiles) {
        std::vector<unsigned char> contents;
        if (ReadWholeFile(base + file.FileName, contents)) saved_.emplace_back(base + file.FileName, std::move(contents));
    }
    written_ = ExtractDictionary(directory);
}

DictionaryInstallation::~DictionaryInstallation() {
    if (written_) RemoveDictionary(directory_);
    for (const auto& [path, contents] : saved_) {
        try {
            platform::TFileStream file(path, platform::fmCreate);
            file.WriteBuffer(contents.data(), static_cast<int32_t>(contents.size()));
        } catch (...) {
            // Nothing more can be done for it here.
        }
    }
}

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
