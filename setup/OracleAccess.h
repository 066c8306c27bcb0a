// The way the Oracle exports reach the database: a session of their own for each call,
// logged on without a dialog, statements run through the statement component, queries
// through the query dataset, and the client's failures sorted by the error code their
// message begins with.
#pragma once

#include <memory>

#include "oracle/oci/OraQuery.h"
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

// An unowned query on the session with the text as its SQL; not opened.
std::unique_ptr<oracle::TOraQuery> NewQuery(oracle::TOraSession& session, const AnsiString& text);
// The same, opened. It must be freed before the session.
std::unique_ptr<oracle::TOraQuery> OpenQuery(oracle::TOraSession& session, const AnsiString& text);

// A name Oracle takes unquoted: an ASCII letter, then letters, digits, "_", "$" or "#",
// 30 characters at most. Names the exports paste into SQL text must be such names.
bool IsPlainIdentifier(const AnsiString& name);

// The text with every single quote doubled, for a quoted SQL literal.
AnsiString QuoteSQLString(const AnsiString& text);

// What a failure message says, by the client's error code at its start.
enum class TOraFailure { WrongLogOn, ServerUnreachable, NoTable, NoColumn, Other };
TOraFailure ClassifyFailure(const AnsiString& message);

}  // namespace setrix
