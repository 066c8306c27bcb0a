// ReadBTI, WriteBTI, UpdateFixedPrice and SetLSK: one field of a data file's first record,
// and the two fixed upgrades of the limit-scheme and settings files.
#include "btrieve/engines/QbTable.h"
#include "platform/DateTime.h"
#include "platform/Field.h"
#include "platform/FieldDefs.h"
#include "setup/BtrieveDictionary.h"
#include "setup/BtrieveWorkspace.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/FileContents.h"
#include "setup/FilePaths.h"
#include "setup/PersistentFields.h"

using namespace setrix;
using platform::AnsiString;
using platform::TField;

namespace {

constexpr int Failed = 0;
constexpr int Succeeded = 1;

// Field positions of the product's tables.
constexpr int SchemeFlag = 3;          // ECFIL016: "Флаг активности"
constexpr int FixedPriceFlag = 21;     // ECFIL075: "ФЦ"
constexpr int CombinedSchemeFlag = 27; // ECFIL075: "Резерк"
constexpr int StorageDays = 2;         // ECFIL154: "Кол-во дней врем. кр"

// The combined limit scheme SetLSK adds: number and description (code page 1251, the
// field's full 40 characters).
constexpr int CombinedScheme = 9;
constexpr const char* CombinedSchemeDescription =
    "\xCB\xD1\xCA     (\xEB\xE8\xEC\xE8\xF2\xED\xE0\xFF \xF1\xF5\xE5\xEC\xE0 "
    "\xEA\xEE\xEC\xE1\xE8\xED\xE8\xF0\xEE\xE2\xE0\xED\xED\xE0\xFF)";

// Opens a table of the workspace with the library's own field objects.
btrieve::TQbTable& OpenWithPersistentFields(BtrieveWorkspace& workspace, const AnsiString& fileName) {
    btrieve::TQbTable& table = workspace.Table(fileName);
    CreatePersistentFields(table);
    table.OpenDataSet();
    return table;
}

// The limit-scheme table, located by scheme number on its key field.
class LimitSchemes {
public:
    explicit LimitSchemes(BtrieveWorkspace& workspace)
        : table_(OpenWithPersistentFields(workspace, "ecfil016.dat")),
          keyField_(table_.FieldDefs().Items(0).Name()) {}

    bool Locate(int scheme) { return table_.LocateByValues(keyField_, platform::Variant(int32_t{scheme}), 0); }
    TField& Field(int position) { return *table_.Fields().FieldAt(position); }
    btrieve::TQbTable& Table() { return table_; }

private:
    btrieve::TQbTable& table_;
    AnsiString keyField_;
};

// Sets a flag of the first record of the settings file.
void SetSettingsFlag(BtrieveWorkspace& workspace, int position, bool value) {
    btrieve::TQbTable& settings = OpenWithPersistentFields(workspace, "ecfil075.dat");
    settings.MoveToFirst();
    settings.BeginEdit();
    settings.Fields().FieldAt(position)->WriteAsBoolean(value);
    settings.PostChanges();
}

// The first record of a data file, its fields made by the persistent-field builder.
btrieve::TQbTable& OpenAtFirstRecord(BtrieveWorkspace& workspace, const AnsiString& path) {
    btrieve::TQbTable& table = workspace.Table(ExtractFileName(path));
    table.OpenDataSet();
    CreatePersistentFields(table);
    table.OpenDataSet();
    table.MoveToFirst();
    return table;
}

}  // namespace

SETRIX_API const char* ReadBTI(const char* dataFile, int position) {
    return Guarded<const char*>("", [&]() -> const char* {
        const AnsiString path = PathArg(dataFile);
        BtrieveWorkspace workspace(DataDirectoryOfFile(path));
        if (!workspace.Prepared()) return "";
        btrieve::TQbTable& table = OpenAtFirstRecord(workspace, path);
        UseEditorDateTimeFormats();
        return ReturnText(table.Fields().FieldAt(position)->ReadAsString());
    });
}

SETRIX_API int WriteBTI(const char* dataFile, int position, const char* text) {
    return Guarded(Failed, [&] {
        const AnsiString path = PathArg(dataFile), value = Arg(text);
        const AnsiString directory = DataDirectoryOfFile(path);
        // The data file as the table opens it: a bare name lies in the program's directory.
        ClearReadOnly(directory + ExtractFileName(path));
        BtrieveWorkspace workspace(directory);
        if (!workspace.Prepared()) return Failed;
        btrieve::TQbTable& table = OpenAtFirstRecord(workspace, path);
        table.BeginEdit();
        UseEditorDateTimeFormats();
        TField& field = *table.Fields().FieldAt(position);
        if (field.DataType() == platform::ftDateTime || field.DataType() == platform::ftDate)
            field.WriteAsVariant(platform::Variant::FromDateTime(platform::StrToDate(value)));
        else
            field.WriteAsString(value);
        table.PostChanges();
        return Succeeded;
    });
}

SETRIX_API int UpdateFixedPrice(const char* dataDirectory) {
    return Guarded(Failed, [&] {
        const AnsiString directory = DataDirectoryOf(PathArg(dataDirectory));
        ClearReadOnly(directory + "ecfil075.dat");
        ClearReadOnly(directory + "ecfil154.dat");
        BtrieveWorkspace workspace(directory);
        if (!workspace.Prepared()) return Failed;

        bool bothFound = false, fixedPrice = false;
        {
            LimitSchemes schemes(workspace);
            const bool found2 = schemes.Locate(2);
            if (found2) fixedPrice = schemes.Field(SchemeFlag).ReadAsBoolean();
            const bool found7 = schemes.Locate(7);
            if (found7) fixedPrice = schemes.Field(SchemeFlag).ReadAsBoolean() || fixedPrice;
            bothFound = found2 && found7;
        }
        int result = Failed;
        if (bothFound) {
            SetSettingsFlag(workspace, FixedPriceFlag, fixedPrice);
            result = Succeeded;
        }

        btrieve::TQbTable& storage = OpenWithPersistentFields(workspace, "ecfil154.dat");
        if (storage.Fields().FieldAt(StorageDays)->ReadAsInteger() == 0) {
            storage.BeginEdit();
            storage.Fields().FieldAt(StorageDays)->WriteAsInteger(7);
            storage.PostChanges();
        }
        return result;
    });
}

SETRIX_API int SetLSK(const char* dataDirectory) {
    return Guarded(Failed, [&] {
        const AnsiString directory = DataDirectoryOf(PathArg(dataDirectory));
        ClearReadOnly(directory + "ecfil075.dat");
        BtrieveWorkspace workspace(directory);
        if (!workspace.Prepared()) return Failed;

        bool combined = false;
        {
            LimitSchemes schemes(workspace);
            if (schemes.Locate(1)) combined = schemes.Field(SchemeFlag).ReadAsBoolean();
            for (int scheme : {3, 8})
                if (schemes.Locate(scheme) && !combined) combined = schemes.Field(SchemeFlag).ReadAsBoolean();

            if (!schemes.Locate(CombinedScheme)) {
                schemes.Table().BeginInsert();
                schemes.Field(0).WriteAsInteger(CombinedScheme);
                schemes.Field(1).WriteAsString(CombinedSchemeDescription);
                schemes.Field(2).WriteAsString("");
                schemes.Field(SchemeFlag).WriteAsBoolean(combined);
                schemes.Table().PostChanges();
            }
            // Without the scheme the edit would change whatever record is current.
            if (!schemes.Locate(CombinedScheme)) return Failed;
            schemes.Table().BeginEdit();
            schemes.Field(SchemeFlag).WriteAsBoolean(combined);
            schemes.Table().PostChanges();
        }
        SetSettingsFlag(workspace, CombinedSchemeFlag, combined);
        return Succeeded;
    });
}
