// The Oracle exports: log-on checks and single statements on a session of each call's own.
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
