#include "setup/VersionList.h"

#include <cctype>
#include <vector>

#include "platform/Registry.h"
#include "platform/TextFile.h"
#include "setup/Crc32.h"
#include "setup/FilePaths.h"

namespace setrix {

using platform::AnsiString;

const char* const kUnknownVersion = "\xCD\xE5\xE8\xE7\xE2.";

namespace {

const char* const kProductKey = "\\SOFTWARE\\Quarn\\Orvel";

AnsiString AsciiUpperCase(AnsiString text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The leading dotted numbers of a version ("5.12.0.0" gives 5, 12, 0, 0); empty when
// the text does not start with a digit.
std::vector<unsigned long long> VersionNumbers(const AnsiString& text) {
    std::vector<unsigned long long> numbers;
    size_t i = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        unsigned long long n = 0;
        // Saturate instead of overflowing: an absurd component still compares as large.
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (n < 1000000000000ull) n = n * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
        }
        numbers.push_back(n);
        if (i + 1 < text.size() && text[i] == '.' && std::isdigit(static_cast<unsigned char>(text[i + 1])))
            ++i;
        else
            break;
    }
    return numbers;
}

// The instance part of a subkey name: from its first "_" on ("_2", "_12"); "" without one.
AnsiString InstanceSuffixOf(const AnsiString& keyName) {
    const size_t underscore = keyName.find('_');
    return underscore == AnsiString::npos ? AnsiString() : keyName.substr(underscore);
}

// The subkey names of the product key; none when it is missing or unreadable.
void ProductInstanceKeys(platform::TRegistry& reg, platform::TStringList& names) {
    if (reg.EnterKeyReadOnly(kProductKey)) reg.GetKeyNames(names);
    reg.CloseKey();
}

AnsiString InstallDirOf(platform::TRegistry& reg, const AnsiString& keyName) {
    AnsiString dir;
    if (reg.EnterKeyReadOnly(AnsiString(kProductKey) + "\\" + keyName)) {
        try {
            dir = reg.GetString("InstallDir");
        } catch (const platform::Exception&) {
            dir.clear();  // a value of another type belongs to no installation
        }
    }
    reg.CloseKey();
    return ExcludeTrailingBackslash(dir);
}

}  // namespace

AnsiString InstallationDirectoryOf(const AnsiString& path) {
    const AnsiString fileDir = ExcludeTrailingBackslash(ExtractFilePath(path));
    return ExcludeTrailingBackslash(ExtractFilePath(fileDir));
}

AnsiString VersionOfListLine(const AnsiString& line) {
    const size_t dash = line.find('-');
    if (dash == AnsiString::npos) return line;
    return platform::Trim(line.substr(dash + 1));
}

bool IsInstanceVersion(const AnsiString& version) {
    static const unsigned long long kFirst[] = {5, 12, 0, 0};
    const std::vector<unsigned long long> numbers = VersionNumbers(platform::Trim(version));
    if (numbers.empty()) return false;
    for (size_t i = 0; i < 4; ++i) {
        const unsigned long long n = i < numbers.size() ? numbers[i] : 0;
        if (n != kFirst[i]) return n > kFirst[i];
    }
    // Equal to 5.12.0.0 in its first four numbers; further numbers only add to it.
    return true;
}

AnsiString AppendInstanceSuffix(const AnsiString& version, const AnsiString& path) {
    if (!IsInstanceVersion(version)) return version;
    const AnsiString trimmed = platform::Trim(version);
    const AnsiString installDir = InstallationDirectoryOf(path);
    platform::TRegistry reg(KEY_READ);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    platform::TStringList names;
    ProductInstanceKeys(reg, names);
    for (int i = 0; i < names.Count(); ++i) {
        if (names[i].find(trimmed) == AnsiString::npos) continue;
        if (platform::AnsiSameText(InstallDirOf(reg, names[i]), installDir))
            return trimmed + InstanceSuffixOf(names[i]);
    }
    return trimmed;
}

AnsiString LookupVersionByCRC(const AnsiString& path, const AnsiString& listPath) {
    try {
        if (!platform::FileExists(listPath)) return kUnknownVersion;
        const AnsiString crc = AsciiUpperCase(platform::Trim(FileCRC32Hex(path)));
        // An unreadable file has no CRC text, and the empty text matches no line.
        if (crc.empty()) return kUnknownVersion;
        platform::TTextFile list(listPath);
        AnsiString line;
        while (list.ReadLine(line)) {
            line = AsciiUpperCase(platform::Trim(line));
            if (!line.empty() && line.find(crc) != AnsiString::npos)
                return AppendInstanceSuffix(VersionOfListLine(line), path);
        }
    } catch (const std::exception&) {
        // An unreadable list or registry leaves the version unknown.
    }
    return kUnknownVersion;
}

}  // namespace setrix
