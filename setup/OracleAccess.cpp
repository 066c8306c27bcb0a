#include "setup/OracleAccess.h"

#include "oracle/oci/OraSQL.h"
#include "platform/Classes.h"

namespace setrix {

namespace {

AnsiString AsciiUpper(AnsiString text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

bool IsSystemUser(const AnsiString& user) {
    const AnsiString name = platform::Trim(AsciiUpper(user));
    return name == "SYS" || name == "SYSTEM";
}

std::unique_ptr<oracle::TOraSession> NewLogOnSession(const AnsiString& user, const AnsiString& password,
                                                     const AnsiString& server, TSysdbaRule rule) {
    auto session = platform::NewUnownedComponent<oracle::TOraSession>();
    session->SetConnectPrompt(false);
    session->SetUsername(user);
    session->SetPassword(password);
    session->SetServer(server);
    if (rule == TSysdbaRule::ForSystemUsers && IsSystemUser(user)) session->SetConnectMode(oracle::cmSysDBA);
    return session;
}

void RunStatement(oracle::TOraSession& session, const AnsiString& text) {
    auto statement = platform::NewUnownedComponent<oracle::TOraSQL>();
    statement->SetSession(&session);
    statement->SQL().AssignText(text);
    statement->Execute();
}

std::unique_ptr<oracle::TOraQuery> NewQuery(oracle::TOraSession& session, const AnsiString& text) {
    auto query = platform::NewUnownedComponent<oracle::TOraQuery>();
    query->SetSession(&session);
    query->SQL().AssignText(text);
    return query;
}

std::unique_ptr<oracle::TOraQuery> OpenQuery(oracle::TOraSession& session, const AnsiString& text) {
    auto query = NewQuery(session, text);
    query->OpenDataSet();
    return query;
}

bool IsPlainIdentifier(const AnsiString& name) {
    constexpr size_t MaxLength = 30;
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.empty() || name.size() > MaxLength || !isLetter(name.front())) return false;
    for (char c : name)
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '_' && c != '$' && c != '#') return false;
    return true;
}

AnsiString QuoteSQLString(const AnsiString& text) {
    AnsiString quoted;
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted;
}

TOraFailure ClassifyFailure(const AnsiString& message) {
    const AnsiString code = message.substr(0, 9);
    if (code == "ORA-01017") return TOraFailure::WrongLogOn;
    if (code == "ORA-12154" || code == "ORA-12535") return TOraFailure::ServerUnreachable;
    if (code == "ORA-00942") return TOraFailure::NoTable;
    if (code == "ORA-00904") return TOraFailure::NoColumn;
    return TOraFailure::Other;
}

}  // namespace setrix
