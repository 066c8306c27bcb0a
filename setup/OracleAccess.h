// The way the Oracle exports reach the database: a session of their own for each call,
// logged on without a dialog, statements run through the statement component, and the
// client's failures sorted by the error code their message begins with.
#pragma once

#include <memory>

#include "oracle/oci/OraSession.h"
#include "platform/SysUtils.h"

namespace setrix {

using platform::AnsiString;

// Whether the log-on asks for SYSDBA for the system accounts (SYS, SYSTEM).
enum class TSysdbaRule { Off, ForSystemUsers };

// SYS and SYSTEM, in any case of ASCII letters and with blanks around.
bool IsSystemUser(const AnsiString& user);

// An unowned session with the log-on values as given and the prompt off; not connected.
std::unique_ptr<oracle::TOraSession> NewLogOnSession(const AnsiString& user, const AnsiString& password,
                                                     const AnsiString& server, TSysdbaRule rule);

// Runs one statement (DML, DDL or a block) on the session.
void RunStatement(oracle::TOraSession& session, const AnsiString& text);

// What a failure message says, by the client's error code at its start.
enum class TOraFailure { WrongLogOn, ServerUnreachable, NoTable, NoColumn, Other };
TOraFailure ClassifyFailure(const AnsiString& message);

}  // namespace setrix
