// TForm1: the main form of ecdump, read from its form description. It never shows a
// window: its components (the database "baza" on the alias "BTI_edit" and the tables
// ecfil003.dat and ecfil154.dat with their persistent fields) do the work of FormCreate.
#pragma once

#include <optional>

#include "btrieve/engines/AliasLock.h"
#include "btrieve/engines/QbDatabase.h"
#include "btrieve/engines/QbTable.h"
#include "platform/Classes.h"
#include "platform/Field.h"

namespace ecdump {

using platform::AnsiString;

class TForm1 : public platform::TComponent {
public:
    explicit TForm1(platform::TComponent* owner) : platform::TComponent(owner) {}
    ~TForm1() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // Reads the form description from the program's resources and finds the components.
    void LoadFromResource();
    // The whole work: registry values, alias, connect, open, and the INI file named by
    // `iniPath` (nothing is written when it is empty or a step fails).
    void FormCreate(const AnsiString& programDirectory, const AnsiString& iniPath);

    btrieve::TQbDatabase* DB = nullptr;
    btrieve::TQbTable* Table1 = nullptr;
    btrieve::TQbTable* Table2 = nullptr;
    platform::TFloatField* Table1ID = nullptr;
    platform::TFloatField* Table1ID2 = nullptr;
    platform::TFloatField* Table2ID = nullptr;

private:
    // Held from writing the alias until the tables and the database are closed with the
    // form: a setrix.dll export setting the alias to its directory in between would send
    // this program's reads there (setrix.dll holds the same lock).
    std::optional<btrieve::TAliasLock> aliasLock_;

    template <class T>
    T* Declared(const AnsiString& name);
};

// HKEY_LOCAL_MACHINE values this program writes on every run: the Btrieve library's
// Intl options, and the editor alias for `directory`. A key that cannot be opened is
// left alone.
void SetBtrieveIntlOptions();
void SetDatabaseAlias(const AnsiString& directory);

}  // namespace ecdump
