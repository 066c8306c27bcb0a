// GetOrvelBtrieveConfig, GetOrvelOracleConfig, SetOrvelOracleParams and MoveOrvelConfig:
// the product's settings carried from its Btrieve files or the Oracle table
// ORVEL_CONFIGURATION to orvel_data.ini, and from orvel_data.ini or the Btrieve files to
// that table. Every UPDATE runs through ExecSQL, each in a session of its own and committed
// by itself.
#include <utility>
#include <vector>

#include "btrieve/engines/QbTable.h"
#include "platform/DataSet.h"
#include "platform/Field.h"
#include "platform/FormatSettings.h"
#include "platform/IniFiles.h"
#include "platform/TextFile.h"
#include "setup/BtrieveDictionary.h"
#include "setup/BtrieveWorkspace.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/FilePaths.h"
#include "setup/OracleAccess.h"
#include "setup/PersistentFields.h"

using namespace setrix;
using platform::AnsiString;

namespace {

constexpr int Failed = 0;
constexpr int Succeeded = 1;

constexpr const char* IniSection = "ORVEL_DATA";
constexpr const char* IniFileName = "orvel_data.ini";

// The five directory settings, in the order the INI keys and the Oracle updates take them.
constexpr const char* DirectoryKeys[] = {"EXCHANGE_DIRECTORY", "CASHE_DIRECTORY", "ARCHIVE_DIRECTORY",
                                         "DUMP_DIRECTORY", "REPORT_DIRECTORY"};

// Field positions of TRFIL008.DAT.
constexpr int TransitIssuer = 0;   // "Эмитент транзита"
constexpr int ReportFile = 2;      // "Файл отчета"
constexpr int DefaultService = 4;  // "ID услуги привязки"
// Field positions of TRFIL023.DAT.
constexpr int ExchangeDir = 0;        // "Каталог обмена"
constexpr int DumpDir = 1;            // "Каталог для STE"
constexpr int CacheDir = 2;           // "Каталог кэша"
constexpr int Background = 7;         // "Фоновый режим"
constexpr int CallPeriod = 8;         // "Период вызова"
constexpr int ProcessAfterGet = 10;   // "Обработка после прие"
constexpr int TimeOrPeriod = 11;      // "Время/период"
constexpr int SchemeFlag = 12;        // scheme flag
constexpr int BranchScheme = 14;      // "Схема с филиалами"
constexpr int ControlAfterStart = 18; // "Контроль после старт"
constexpr int UseMailSender = 19;     // "Использовать встроен"

// The orvel_data.ini keys and the ORVEL_CONFIGURATION columns they are read from.
constexpr std::pair<const char*, const char*> OracleSettings[] = {
    {"ORVELNUM", "ORVEL_NUMBER"},
    {"ORVELTYPE", "ORVEL_TYPE"},
    {"DEFSERV", "DEFAULT_SERVICE"},
    {"EXCHANGE_DIRECTORY", "EXCHANGE_DIRECTORY"},
    {"CASHE_DIRECTORY", "CASHE_DIRECTORY"},
    {"ARCHIVE_DIRECTORY", "ARCHIVE_DIRECTORY"},
    {"DUMP_DIRECTORY", "DUMP_DIRECTORY"},
    {"REPORT_DIRECTORY", "REPORT_DIRECTORY"},
};

// The product's settings as its Btrieve files hold them.
struct BtrieveSettings {
    AnsiString Number, Service, ReportDirectory;
    AnsiString ExchangeDirectory, DumpDirectory, CacheDirectory, SchemeType;
    AnsiString ExchangeWay, ExchangePeriod;
    bool ProcessAfterGet = false, ControlAfterStart = false, UseMailSender = false;
};

// The directory above the data directory, with a trailing backslash.
AnsiString ParentOf(const AnsiString& dataDirectory) {
    return ExtractFilePath(ExcludeTrailingBackslash(dataDirectory));
}

// The cache directory below the parent: one leading and one trailing backslash of the
// stored name dropped, so that the join has exactly one on each side.
AnsiString CacheDirectoryOf(AnsiString name, const AnsiString& parent) {
    if (!name.empty() && name.front() == '\\') name.erase(0, 1);
    if (!name.empty() && name.back() == '\\') name.pop_back();
    return platform::Trim(name).empty() ? parent : parent + name + "\\";
}

// "1" for a scheme with branches (it wins), "3" for the flagged scheme, "2" otherwise.
AnsiString SchemeTypeOf(bool flagged, bool withBranches) {
    if (withBranches) return "1";
    return flagged ? "3" : "2";
}

// A table's first record, its fields made by the persistent-field builder. A settings file
// without its record holds no settings: read on, it would hand empty ones to the INI file
// or the Oracle table in place of those they keep.
btrieve::TQbTable& FirstRecordOf(BtrieveWorkspace& workspace, const AnsiString& fileName) {
    btrieve::TQbTable& table = workspace.Table(fileName);
    CreatePersistentFields(table);
    table.OpenDataSet();
    table.MoveToFirst();
    if (table.IsEmpty()) platform::DatabaseError("The settings file " + fileName + " has no record");
    return table;
}

BtrieveSettings ReadBtrieveSettings(BtrieveWorkspace& workspace, const AnsiString& parent) {
    BtrieveSettings settings;
    {
        btrieve::TQbTable& transit = FirstRecordOf(workspace, "trfil008.dat");
        auto field = [&](int position) { return transit.Fields().FieldAt(position); };
        settings.Number = field(TransitIssuer)->ReadAsString();
        settings.ReportDirectory = ExtractFilePath(field(ReportFile)->ReadAsString());
        settings.Service = field(DefaultService)->ReadAsString();
    }
    btrieve::TQbTable& exchange = FirstRecordOf(workspace, "trfil023.dat");
    auto field = [&](int position) { return exchange.Fields().FieldAt(position); };
    settings.ExchangeDirectory = field(ExchangeDir)->ReadAsString();
    settings.DumpDirectory = field(DumpDir)->ReadAsString();
    settings.CacheDirectory = CacheDirectoryOf(field(CacheDir)->ReadAsString(), parent);
    settings.SchemeType = SchemeTypeOf(field(SchemeFlag)->ReadAsBoolean(), field(BranchScheme)->ReadAsBoolean());
    if (!field(Background)->ReadAsBoolean())
        settings.ExchangeWay = "1";
    else
        settings.ExchangeWay = field(TimeOrPeriod)->ReadAsBoolean() ? "3" : "2";
    settings.ExchangePeriod = field(CallPeriod)->ReadAsString();
    settings.ProcessAfterGet = field(ProcessAfterGet)->ReadAsBoolean();
    settings.ControlAfterStart = field(ControlAfterStart)->ReadAsBoolean();
    settings.UseMailSender = field(UseMailSender)->ReadAsBoolean();
    return settings;
}

// A number's text as an SQL literal: the locale's decimal comma would split it into two
// values. An empty text is no literal.
AnsiString SqlNumber(const AnsiString& text) {
    AnsiString number = platform::Trim(text);
    const char separator = platform::FormatSettings().DecimalSeparator;
    for (char& c : number)
        if (c == separator) c = '.';
    return number;
}

AnsiString SqlFlag(bool value) { return value ? "1" : "0"; }

// The UPDATEs of one export, each through ExecSQL. All of them run even when one fails,
// as each commits by itself; the result tells whether every one succeeded.
class ConfigurationUpdates {
public:
    ConfigurationUpdates(AnsiString user, AnsiString password, AnsiString server)
        : user_(std::move(user)), password_(std::move(password)), server_(std::move(server)) {}

    // An empty number is no setting to move: the column keeps the value it holds (NULL
    // would clear it), and the move is reported as incomplete.
    void SetNumber(const AnsiString& column, const AnsiString& value) {
        const AnsiString number = SqlNumber(value);
        if (number.empty())
            allSucceeded_ = false;
        else
            Run(column + "=" + number);
    }
    void SetText(const AnsiString& column, const AnsiString& value) {
        Run(column + "='" + QuoteSQLString(value) + "'");
    }
    bool AllSucceeded() const { return allSucceeded_; }

private:
    void Run(const AnsiString& assignment) {
        const AnsiString statement = "UPDATE ORVEL_CONFIGURATION SET " + assignment;
        if (ExecSQL(user_.c_str(), password_.c_str(), server_.c_str(), statement.c_str()) != 1) allSucceeded_ = false;
    }

    AnsiString user_, password_, server_;
    bool allSucceeded_ = true;
};

}  // namespace

SETRIX_API int GetOrvelBtrieveConfig(const char* dataDirectory) {
    return Guarded(Failed, [&] {
        const AnsiString directory = DataDirectoryOf(platform::Trim(PathArg(dataDirectory)));
        const AnsiString parent = ParentOf(directory);
        BtrieveWorkspace workspace(directory);
        if (!workspace.Prepared()) return Failed;
        const BtrieveSettings settings = ReadBtrieveSettings(workspace, parent);
        const AnsiString dump = platform::Trim(settings.DumpDirectory).empty() ? parent + "Backup"
                                                                              : settings.DumpDirectory;

        platform::TIniFile ini(parent + "Data\\" + IniFileName);
        ini.PutString(IniSection, "ORVELNUM", settings.Number);
        ini.PutString(IniSection, "ORVELTYPE", settings.SchemeType);
        ini.PutString(IniSection, "DEFSERV", settings.Service);
        ini.PutString(IniSection, "EXCHANGE_DIRECTORY", settings.ExchangeDirectory);
        ini.PutString(IniSection, "CASHE_DIRECTORY", settings.CacheDirectory);
        ini.PutString(IniSection, "ARCHIVE_DIRECTORY", parent + "Archive");
        ini.PutString(IniSection, "DUMP_DIRECTORY", dump);
        ini.PutString(IniSection, "REPORT_DIRECTORY", settings.ReportDirectory);
        ini.FlushFile();
        return Succeeded;
    });
}

SETRIX_API int GetOrvelOracleConfig(const char* user, const char* password, const char* server,
                                    const char* iniDirectory) {
    return Guarded(Failed, [&] {
        const AnsiString directory = ExcludeTrailingBackslash(platform::Trim(PathArg(iniDirectory)));
        // Without a directory the file would land at the root of the current drive.
        if (platform::Trim(directory).empty()) return Failed;
        const AnsiString path = directory + "\\" + IniFileName;
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::Off);
        session->OpenConnection();
        auto query = OpenQuery(*session,
                               "SELECT ORVEL_NUMBER, ORVEL_TYPE, DEFAULT_SERVICE, EXCHANGE_DIRECTORY, CASHE_DIRECTORY, "
                               "ARCHIVE_DIRECTORY, DUMP_DIRECTORY, REPORT_DIRECTORY FROM ORVEL_CONFIGURATION");
        // A table without its row holds no settings: the file keeps the ones it has.
        if (query->IsEmpty()) return Failed;
        platform::TIniFile ini(path);
        for (const auto& [key, column] : OracleSettings)
            ini.PutString(IniSection, key, query->FieldNamed(column)->ReadAsString());
        ini.FlushFile();
        return Succeeded;
    });
}

SETRIX_API int SetOrvelOracleParams(const char* user, const char* password, const char* server,
                                    const char* iniDirectory) {
    return Guarded(Failed, [&] {
        const AnsiString path = IncludeTrailingBackslash(platform::Trim(PathArg(iniDirectory))) + IniFileName;
        // Without the file every directory column would be emptied.
        if (!platform::FileExists(path)) return Failed;
        const platform::TIniFile ini(path);
        std::vector<AnsiString> values;
        for (const char* key : DirectoryKeys) values.push_back(ini.GetString(IniSection, key));

        ConfigurationUpdates updates(Arg(user), Arg(password), Arg(server));
        for (size_t i = 0; i < values.size(); ++i) updates.SetText(DirectoryKeys[i], values[i]);
        return updates.AllSucceeded() ? Succeeded : Failed;
    });
}

SETRIX_API int MoveOrvelConfig(const char* dataDirectory, const char* user, const char* password,
                               const char* server) {
    return Guarded(Failed, [&] {
        const AnsiString directory = DataDirectoryOf(platform::Trim(PathArg(dataDirectory)));
        const AnsiString parent = ParentOf(directory);
        BtrieveSettings settings;
        {
            // The dictionary files are gone before the first session opens.
            BtrieveWorkspace workspace(directory);
            if (!workspace.Prepared()) return Failed;
            settings = ReadBtrieveSettings(workspace, parent);
        }

        ConfigurationUpdates updates(Arg(user), Arg(password), Arg(server));
        updates.SetNumber("ORVEL_NUM", settings.Number);
        updates.SetNumber("ORVEL_TYPE", settings.SchemeType);
        updates.SetNumber("DEF_SERV", settings.Service);
        updates.SetText("EXCHANGE_DIRECTORY", settings.ExchangeDirectory);
        updates.SetText("CASHE_DIRECTORY", settings.CacheDirectory);
        // The Btrieve files hold no archive directory: the one orvel_data.ini gets.
        updates.SetText("ARCHIVE_DIRECTORY", parent + "Archive");
        updates.SetText("DUMP_DIRECTORY", settings.DumpDirectory);
        updates.SetText("REPORT_DIRECTORY", settings.ReportDirectory);
        updates.SetNumber("EXCHANGE_WAY", settings.ExchangeWay);
        updates.SetNumber("EXCHANGE_PERIOD", settings.ExchangePeriod);
        updates.SetNumber("PROCESS_AFTER_GET", SqlFlag(settings.ProcessAfterGet));
        updates.SetNumber("CONTROL_AFTER_START", SqlFlag(settings.ControlAfterStart));
        updates.SetNumber("USE_MAIL_SENDER", SqlFlag(settings.UseMailSender));
        return updates.AllSucceeded() ? Succeeded : Failed;
    });
}
