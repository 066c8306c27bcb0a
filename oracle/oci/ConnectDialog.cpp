#include "oracle/oci/ConnectDialog.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "oracle/core/Parser.h"
#include "oracle/oci/OciLoader.h"
#include "platform/Registry.h"
#include "platform/TextFile.h"

namespace oracle {

using namespace platform;

namespace {

const char* const TnsNamesFile = "tnsnames.ora";

AnsiString JoinTnsPath(const AnsiString& directory) {
    if (!directory.empty() && directory.back() == '\\') return directory + TnsNamesFile;
    return directory + "\\" + TnsNamesFile;
}

AnsiString EnvironmentValue(const char* name) {
    char buffer[32767];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? AnsiString(buffer, n) : AnsiString();
}

// TNS_ADMIN of the home in use, from its key under HKLM\SOFTWARE\ORACLE; empty when the
// home is not in the home list.
AnsiString HomeTnsAdmin() {
    const TOciClientState& client = OciClient();
    int index = client.SelectedHome == ohDefault ? client.DefaultHome : client.SelectedHome - ohHome0;
    if (index < 0 || static_cast<size_t>(index) >= client.HomeList.size()) return AnsiString();
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    const AnsiString& keyName = client.HomeList[static_cast<size_t>(index)].KeyName;
    if (!registry.EnterKeyReadOnly("SOFTWARE\\ORACLE\\" + keyName) || !registry.ValueExists("TNS_ADMIN"))
        return AnsiString();
    return registry.GetString("TNS_ADMIN");
}

bool IsNamePart(int code, const std::string& token) {
    return code == lcIdent || code == lcNumber || token == "-" || code > 0 && !token.empty() &&
                                                                   std::isalpha(static_cast<unsigned char>(token[0]));
}

}  // namespace

const TClassInfo& TConnectDialog::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TConnectDialog>("TConnectDialog", &TCustomConnectDialog::StaticClassInfo());
        i.FieldProperty("ReadAliases", &TConnectDialog::ReadAliases);
        return i;
    }();
    return info;
}

AnsiString FindTnsNamesFile(AnsiString& lastTried) {
    const AnsiString home = OciClient().HomePath;
    // A place without a directory is skipped: a bare name would read whatever
    // tnsnames.ora the current directory holds, ahead of the client's own.
    const std::vector<AnsiString> directories = {EnvironmentValue("TNS_ADMIN"), HomeTnsAdmin(),
                                                 home + "\\network\\admin\\", home + "\\net80\\admin\\"};
    for (const AnsiString& directory : directories) {
        if (directory.empty()) continue;
        lastTried = JoinTnsPath(directory);
        if (FileExists(lastTried)) return lastTried;
    }
    return AnsiString();
}

void ReadTnsAliases(const AnsiString& text, TStrings& list) {
    TParser parser(text);
    parser.OmitBlank = true;
    parser.OmitComment = true;
    parser.Uppercase = false;
    parser.LineComment = "#";
    std::string token;
    AnsiString name;
    int depth = 0;
    bool afterDot = false;
    // An IFILE entry's value is a path to the end of its line, not the start of an alias.
    size_t includedPathEnd = 0;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
        if (static_cast<size_t>(parser.PrevPos()) < includedPathEnd) continue;
        if (token == "(") {
            ++depth;
        } else if (token == ")") {
            if (depth > 0) --depth;
        } else if (depth == 0) {
            if (token == "=" || token == ",") {
                // "A, B = (...)" defines two aliases; an IFILE line includes another file.
                if (token == "=" && AnsiSameText(name, "IFILE"))
                    includedPathEnd = std::min(text.find_first_of("\r\n", static_cast<size_t>(parser.CurrPos())), text.size());
                else if (!name.empty() && !AnsiSameText(name, "IFILE"))
                    list.Add(name);
                name.clear();
            } else if (token == ".") {
                afterDot = true;
                continue;
            } else if (IsNamePart(code, token)) {
                if (afterDot) {
                    if (!AnsiSameText(token, "WORLD")) name += "." + token;
                } else {
                    name += token;
                }
            }
        }
        afterDot = false;
    }
}

void TConnectDialog::ReadServerList(TStrings& list, TOraSession*) {
    if (!ReadAliases) {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (!registry.EnterKeyReadOnly(RegistryPath() + "Connect")) return;
        for (int n = 1;; ++n) {
            const AnsiString valueName = ServerValueName() + IntToStr(n);
            if (!registry.ValueExists(valueName)) break;
            list.Add(registry.GetString(valueName));
        }
        return;
    }
    DetectOCI();
    if (OciClient().HomePath.empty()) return;
    AnsiString lastTried;
    const AnsiString file = FindTnsNamesFile(lastTried);
    if (file.empty()) {
        MessageBoxA(nullptr, ("Cannot find " + lastTried).c_str(), "Error", MB_OK | MB_ICONERROR);
        return;
    }
    ReadTnsAliases(ReadFileText(file), list);
}

}  // namespace oracle
