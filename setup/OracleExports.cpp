// The Oracle exports: log-on checks, single statements and single-value queries on a
// session of each call's own.
// The session disconnects when it is freed, on success and failure alike; a failing
// disconnect changes no result (the work is done or already reported).
#include "oracle/oci/OraSession.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/OracleAccess.h"

using namespace setrix;

namespace {

int LogOnCheckCode(const AnsiString& message) {
    switch (ClassifyFailure(message)) {
        case TOraFailure::WrongLogOn:
            return 2;
        case TOraFailure::ServerUnreachable:
            return 3;
        default:
            return 10;
    }
}

// The message as the host shows it: without the line end a client text may carry. The
// client's texts arrive trimmed already, so only a real line end is cut, never a letter.
AnsiString WithoutLineEnd(AnsiString message) {
    if (!message.empty() && message.back() == '\n') message.pop_back();
    if (!message.empty() && message.back() == '\r') message.pop_back();
    return message;
}

// The failure text of the exports that answer text: the log-on classes, and for the
// version query also the missing table and column.
const char* QueryFailureText(const AnsiString& message, bool reportsSchemaFaults) {
    switch (ClassifyFailure(message)) {
        case TOraFailure::WrongLogOn:
            return "!2";
        case TOraFailure::ServerUnreachable:
            return "!3";
        case TOraFailure::NoTable:
            return reportsSchemaFaults ? "?4" : "!";
        case TOraFailure::NoColumn:
            return reportsSchemaFaults ? "?5" : "!";
        default:
            return "!";
    }
}

// The field's text in the query's first row; "" when the query found no row.
AnsiString FirstRowText(oracle::TOraQuery& query, const AnsiString& fieldName) {
    return query.IsEmpty() ? AnsiString() : query.FieldNamed(fieldName)->ReadAsString();
}

}  // namespace

int CheckOraConn(const char* user, const char* password, const char* server) {
    return Guarded(10, [&] {
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::ForSystemUsers);
        try {
            session->Connect();
            return session->Connected() ? 1 : 10;
        } catch (const platform::Exception& e) {
            return LogOnCheckCode(e.Message());
        }
    });
}

const char* CheckOraConnStr(const char* user, const char* password, const char* server) {
    return Guarded<const char*>("!", [&]() -> const char* {
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::ForSystemUsers);
        try {
            session->Connect();
            // A connect that ends without a failure yet leaves no connection is no success.
            return session->Connected() ? "" : "!";
        } catch (const platform::Exception& e) {
            return ReturnText(WithoutLineEnd(e.Message()));
        }
    });
}

int ExecSQL(const char* user, const char* password, const char* server, const char* statement) {
    return Guarded(-2, [&] {
        const AnsiString text = Arg(statement);
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::Off);
        try {
            session->OpenConnection();
        } catch (...) {
            return -1;
        }
        try {
            RunStatement(*session, text);
            session->Commit();
            return 1;
        } catch (...) {
            return -2;
        }
    });
}

const char* GetOrvelDBVersion(const char* user, const char* password, const char* server) {
    return Guarded<const char*>("!", [&]() -> const char* {
        const AnsiString userName = Arg(user);
        // The user name becomes the schema of the query: blanks around it (which the log-on
        // allows) are dropped, and a name that is no plain name never reaches the text.
        const AnsiString schema = platform::Trim(userName);
        if (!IsPlainIdentifier(schema)) return "!";
        auto session = NewLogOnSession(userName, Arg(password), Arg(server), TSysdbaRule::ForSystemUsers);
        try {
            session->Connect();
            auto query = OpenQuery(*session, "SELECT DB_VERSION FROM " + schema + ".ORVEL_CONFIGURATION");
            return ReturnText(FirstRowText(*query, "DB_VERSION"));
        } catch (const platform::Exception& e) {
            return QueryFailureText(e.Message(), true);
        }
    });
}

const char* CheckDBTableExists(const char* user, const char* password, const char* server, const char* table) {
    return Guarded<const char*>("!", [&]() -> const char* {
        const AnsiString name = platform::AnsiUpperCase(Arg(table));
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::Off);
        try {
            session->Connect();
            auto query = OpenQuery(*session, "SELECT COUNT(*) CNT FROM USER_TABLES \r\nWHERE UPPER(TABLE_NAME)='" +
                                                 QuoteSQLString(name) + "'");
            return ReturnText(FirstRowText(*query, "CNT"));
        } catch (const platform::Exception& e) {
            return QueryFailureText(e.Message(), false);
        }
    });
}

// Every failure, the log-on's too, answers the empty text, like a query without a row.
const char* GetSQLResult(const char* user, const char* password, const char* server, const char* sql) {
    return Guarded<const char*>("", [&]() -> const char* {
        const AnsiString text = Arg(sql);
        auto session = NewLogOnSession(Arg(user), Arg(password), Arg(server), TSysdbaRule::Off);
        session->OpenConnection();
        auto query = OpenQuery(*session, text);
        const AnsiString result =
            query->CountRecords() > 0 ? query->Fields().FieldAt(0)->ReadAsString() : AnsiString();
        query->CloseDataSet();
        session->Commit();
        return ReturnText(result);
    });
}
