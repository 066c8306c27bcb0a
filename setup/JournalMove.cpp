// MoveJourSh2Oracle: the card journal JOUR.SH of a data directory copied into a new Oracle
// table of the caller's naming, one row per record, committed at the end. The table is
// only ever new: an existing one is left as it is. The database is asked first (log-on,
// the table's existence, its creation); only then is the journal opened.
#include <optional>

#include "btrieve/engines/QbTable.h"
#include "oracle/oci/OraQuery.h"
#include "oracle/oci/OraSession.h"
#include "platform/Field.h"
#include "platform/FormatSettings.h"
#include "platform/TextFile.h"
#include "setup/BtrieveDictionary.h"
#include "setup/BtrieveWorkspace.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/JournalDate.h"
#include "setup/OracleAccess.h"

using namespace setrix;
using platform::AnsiString;

namespace {

constexpr int Failed = 0;
constexpr int Moved = 1;
constexpr int TableExists = 2;
constexpr int NoConnection = 3;
constexpr int NoJournal = 4;

// Field positions of JOUR.SH.
constexpr int DayNumber = 0;     // "Дата"
constexpr int SecondOfDay = 1;   // "Время"
constexpr int CardNumber = 2;    // "Номер карты"
constexpr int ClientNumber = 3;  // "ID клиента"
constexpr int TextLine = 4;      // "Строка"
constexpr int PersonnelId = 5;   // "ID персонала"

// The journal table's name as the caller gives it, pasted into the statements: a plain
// name, or an owner's plain name, a dot and a plain name. Nothing else is taken.
struct JournalTableName {
    AnsiString Owner;  // empty: the logged-on user's own table
    AnsiString Table;
};

std::optional<JournalTableName> ParseTableName(const AnsiString& text) {
    const size_t dot = text.find('.');
    if (dot == AnsiString::npos) {
        if (!IsPlainIdentifier(text)) return std::nullopt;
        return JournalTableName{AnsiString(), text};
    }
    JournalTableName name{text.substr(0, dot), text.substr(dot + 1)};
    if (!IsPlainIdentifier(name.Owner) || !IsPlainIdentifier(name.Table)) return std::nullopt;
    return name;
}

// The existence check looks among the tables of the owner the name gives, the user's own
// tables when it gives none.
bool TableExistsAlready(oracle::TOraSession& session, const JournalTableName& name) {
    const AnsiString table = platform::AnsiUpperCase(name.Table);
    auto query = OpenQuery(session, name.Owner.empty()
                                        ? "SELECT COUNT(*) CNT FROM USER_TABLES WHERE TABLE_NAME='" + table + "'"
                                        : "SELECT COUNT(*) CNT FROM ALL_TABLES WHERE OWNER='" +
                                              platform::AnsiUpperCase(name.Owner) + "' AND TABLE_NAME='" +
                                              table + "'");
    return query->FieldNamed("CNT")->ReadAsInteger() != 0;
}

AnsiString CreateTableText(const AnsiString& table) {
    return "CREATE TABLE " + table + " \r\n" +
           "(   DATE_TIME DATE NOT NULL, \r\n"
           "    CARD_NUMBER NUMBER NOT NULL, \r\n"
           "    CLIENT_NUMBER NUMBER NOT NULL, \r\n"
           "    STROKA VARCHAR(100) NOT NULL, \r\n"
           "    PERSONNEL_ID NUMBER NOT NULL \r\n"
           ")";
}

// The database keeps an empty text as null, which the STROKA column refuses: an empty
// journal line goes over as one blank, so that the move does not stop at it.
AnsiString StoredTextLine(const AnsiString& line) { return line.empty() ? AnsiString(" ") : line; }

// One row of the journal table per record of JOUR.SH, inserted through the query's insert text.
void CopyJournal(BtrieveWorkspace& workspace, oracle::TOraSession& session, const AnsiString& table) {
    auto rows = NewQuery(session, "SELECT DATE_TIME, CARD_NUMBER, CLIENT_NUMBER, STROKA, PERSONNEL_ID FROM " + table);
    platform::TStrings& insert = rows->SQLInsert();
    insert.Clear();
    insert.Add("INSERT INTO " + table);
    insert.Add("(DATE_TIME, CARD_NUMBER, CLIENT_NUMBER, STROKA, PERSONNEL_ID) VALUES ");
    insert.Add("(:DATE_TIME, :CARD_NUMBER, :CLIENT_NUMBER, :STROKA, :PERSONNEL_ID)");
    rows->ReadOnly = false;
    rows->OpenDataSet();

    btrieve::TQbTable& journal = workspace.Table("JOUR.SH");
    journal.OpenDataSet();
    platform::FormatSettings().ShortDateFormat = "dd.mm.yyyy";
    auto source = [&](int position) { return journal.Fields().FieldAt(position); };
    auto column = [&](int index) { return rows->Fields().FieldAt(index); };
    for (journal.MoveToFirst(); !journal.Eof(); journal.MoveToNext()) {
        rows->BeginInsert();
        column(0)->WriteAsDateTime(
            JournalDateTime(source(DayNumber)->ReadAsInteger(), source(SecondOfDay)->ReadAsInteger()));
        // The numbers go over as numbers: their text form has 15 digits, one short of a
        // card number's.
        column(1)->WriteAsFloat(source(CardNumber)->ReadAsFloat());
        column(2)->WriteAsFloat(source(ClientNumber)->ReadAsFloat());
        column(3)->WriteAsString(StoredTextLine(source(TextLine)->ReadAsString()));
        column(4)->WriteAsFloat(source(PersonnelId)->ReadAsFloat());
        rows->PostChanges();
    }
}

// A move that failed after creating its table takes the table away again: left half
// filled, it would answer every later attempt with "exists" and copy nothing.
void DiscardTable(oracle::TOraSession& session, const AnsiString& table) noexcept {
    try {
        session.Rollback();
    } catch (...) {
    }
    try {
        RunStatement(session, "DROP TABLE " + table);
    } catch (...) {
    }
}

}  // namespace

SETRIX_API int MoveJourSh2Oracle(const char* dataDirectory, const char* tableName, const char* user,
                                 const char* password, const char* server) {
    return Guarded(Failed, [&] {
        const AnsiString directory = DataDirectoryOf(PathArg(dataDirectory));
        const AnsiString table = Arg(tableName);
        if (!platform::FileExists(directory + "jour.sh")) return NoJournal;
        const std::optional<JournalTableName> name = ParseTableName(table);
        if (!name) return Failed;
        BtrieveWorkspace workspace(directory, BtrieveWorkspace::TAccess::AliasName);
        if (!workspace.Prepared()) return Failed;

        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::Off);
        try {
            session->OpenConnection();
        } catch (const platform::Exception&) {
            return NoConnection;
        }
        if (TableExistsAlready(*session, *name)) return TableExists;
        RunStatement(*session, CreateTableText(table));
        try {
            // One transaction for all the rows: another session sees none of them until
            // the commit at the end, and a move that dies on the way leaves none behind.
            session->BeginTransaction();
            CopyJournal(workspace, *session, table);
            session->Commit();
            return Moved;
        } catch (...) {
            DiscardTable(*session, table);
            return Failed;
        }
    });
}
