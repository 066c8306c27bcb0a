#include "ecdump/MainForm.h"

#include <windows.h>

#include <cstdio>

#include "platform/FormReader.h"
#include "platform/IniFiles.h"
#include "platform/Registry.h"
#include "platform/TestPoints.h"

namespace ecdump {

namespace {

const char* const kIntlKey = "\\SOFTWARE\\Quillon\\Btrieve\\Configuration\\Intl";
const char* const kAliasKey = "\\SOFTWARE\\Quillon\\Btrieve\\ALIASES\\BTI_edit";
const char* const kAliasName = "BTI_edit";
// "Конфигурация" and "Эмитент владелец" in code page 1251.
const char* const kConfigurationSection = "\xCA\xEE\xED\xF4\xE8\xE3\xF3\xF0\xE0\xF6\xE8\xFF";
const char* const kOwnerSection = "\xDD\xEC\xE8\xF2\xE5\xED\xF2 \xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6";

// The short (8.3) form of an existing path; the path itself where there is none.
AnsiString ShortPathOf(const AnsiString& path) {
    char shortPath[MAX_PATH] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    if (length == 0 || length >= sizeof shortPath) return path;
    return AnsiString(shortPath, length);
}

// A failed step ends the run without output; the installation relies on the exit code 0,
// so the reason goes to the error stream only.
void Report(const char* step, const std::exception& error) {
    std::fprintf(stderr, "ecdump: %s: %s\n", step, error.what());
}

}  // namespace

const platform::TClassInfo& TForm1::StaticClassInfo() {
    static const platform::TClassInfo info =
        platform::TClassInfo::Of<TForm1>("TForm1", &platform::TComponent::StaticClassInfo());
    return info;
}

TForm1::~TForm1() {
    // The tables close before the database they use goes.
    if (Table1) Table1->CloseDataSet();
    if (Table2) Table2->CloseDataSet();
    if (DB) DB->CloseConnection();
}

template <class T>
T* TForm1::Declared(const AnsiString& name) {
    T* component = dynamic_cast<T*>(FindComponent(name));
    if (!component) throw platform::EComponentError("The form declares no " + name);
    return component;
}

void TForm1::LoadFromResource() {
    platform::ReadComponentResource(*this, GetModuleHandleA(nullptr));
    DB = Declared<btrieve::TQbDatabase>("DB");
    Table1 = Declared<btrieve::TQbTable>("Table1");
    Table2 = Declared<btrieve::TQbTable>("Table2");
    Table1ID = Declared<platform::TFloatField>("Table1ID");
    Table1ID2 = Declared<platform::TFloatField>("Table1ID2");
    Table2ID = Declared<platform::TFloatField>("Table2ID");
}

void SetBtrieveIntlOptions() {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.EnterKey(kIntlKey, true)) return;
    registry.PutInteger("IgnoreAnsiOEM", 1);
    registry.PutInteger("IgnoreOEMAnsi", 1);
}

void SetDatabaseAlias(const AnsiString& directory) {
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.EnterKey(kAliasKey, true)) return;
    registry.PutString("Description", "Marlo5 database alias");
    registry.PutString("PhysicalName", directory);
    platform::TestPoint("ecdump.alias-written");
}

void TForm1::FormCreate(const AnsiString& programDirectory, const AnsiString& iniPath) {
    SetBtrieveIntlOptions();
    try {
        aliasLock_.emplace(kAliasName);
        SetDatabaseAlias(ShortPathOf(programDirectory));
        DB->SetAliasName(kAliasName);
        DB->OpenConnection();
    } catch (const std::exception& error) {
        return Report("connect", error);
    }
    for (btrieve::TQbTable* table : {Table1, Table2}) {
        try {
            table->OpenDataSet();
        } catch (const std::exception& error) {
            return Report(table->TableName().c_str(), error);
        }
    }
    if (iniPath.empty()) return;
    if (!Table1->Active() || !Table2->Active() || !DB->Connected()) return;
    // A table without records has no first record to export: existing values stay.
    if (Table1->IsEmpty() || Table2->IsEmpty()) {
        std::fprintf(stderr, "ecdump: no record to export\n");
        return;
    }
    // The three keys reach the file together or not at all: a failed write (a full disk)
    // leaves the file as it was, and its error ends the run as any other.
    platform::TIniFile ini(iniPath);
    ini.PutString(kConfigurationSection, Table1ID->FieldName(), Table1ID->ReadAsString());
    ini.PutString(kConfigurationSection, Table1ID2->FieldName(), Table1ID2->ReadAsString());
    ini.PutString(kOwnerSection, Table2ID->FieldName(), Table2ID->ReadAsString());
    ini.FlushFile();
}

}  // namespace ecdump
