#include "oracle/oci/OraSqlText.h"

#include <algorithm>
#include <string_view>

#include "oracle/core/Assertion.h"
#include "oracle/oci/OraParser.h"
#include "platform/SysUtils.h"

namespace oracle {
namespace {

// Code of a lexeme of the Oracle table, looked up by its text.
int OraCode(std::string_view lexeme) {
    const auto& lexemes = OraLexemes().Lexemes;
    const auto found = std::find(lexemes.begin(), lexemes.end(), lexeme);
    return found == lexemes.end() ? 0 : static_cast<int>(found - lexemes.begin()) + 1;
}

const int lxAs = OraCode("AS");
const int lxBy = OraCode("BY");
const int lxEnd = OraCode("END");
const int lxFor = OraCode("FOR");
const int lxGroup = OraCode("GROUP");
const int lxOr = OraCode("OR");
const int lxOrder = OraCode("ORDER");
const int lxUnion = OraCode("UNION");
const int lxWhere = OraCode("WHERE");

struct TToken {
    int Code = lcEnd;
    std::string Text;
    size_t Start = 0;
    size_t End = 0;

    // A symbol token of that text (not a string or name that reads alike).
    bool Is(std::string_view symbol) const {
        return (Code == lcSymbol || (Code > 0 && Code <= OraLexemes().SymbolCount)) && Text == symbol;
    }
    bool IsEnd() const { return Code == lcEnd; }
    bool IsBlank() const { return Code == lcBlank; }
    bool IsLineComment() const { return Code == lcComment && Text.compare(0, 2, "--") == 0; }
};

// The tokens of a text with their places, blanks and comments kept or left out as the
// operation wants them; an end token closes the list, and reads past it give it again.
class TTokenList {
public:
    TTokenList(const std::string& text, bool withBlanks, bool withComments) {
        TOraParser parser(text);
        parser.OmitBlank = false;
        parser.OmitComment = false;
        std::string token;
        for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
            if ((code == lcBlank && !withBlanks) || (code == lcComment && !withComments)) continue;
            tokens_.push_back({code, token, static_cast<size_t>(parser.PrevPos()), static_cast<size_t>(parser.CurrPos())});
        }
        tokens_.push_back({lcEnd, std::string(), text.size(), text.size()});
    }

    const TToken& operator[](size_t index) const { return tokens_[std::min(index, tokens_.size() - 1)]; }
    size_t EndIndex() const { return tokens_.size() - 1; }

    // Index of the token after the first SELECT; npos when there is none.
    size_t AfterSelect() const {
        for (size_t i = 0; i < EndIndex(); ++i)
            if (tokens_[i].Code == lxOraSelect) return i + 1;
        return std::string::npos;
    }

    // Where the run of blanks before token index starts (its own start without one).
    size_t BlanksBefore(size_t index) const {
        while (index > 0 && tokens_[index - 1].IsBlank()) --index;
        return tokens_[index].Start;
    }

    // "ORDER", a blank, "BY" at index: the index of BY, else 0.
    size_t OrderByAt(size_t index) const {
        const TToken& token = (*this)[index];
        return token.Code == lxOrder && (*this)[index + 1].IsBlank() && (*this)[index + 2].Code == lxBy ? index + 2
                                                                                                        : 0;
    }

    // The first character after BY and the blank that follows it.
    size_t AfterBy(size_t byIndex) const {
        const TToken& next = (*this)[byIndex + 1];
        return next.IsBlank() ? next.End : (*this)[byIndex].End;
    }

    // Walks a statement from index to where its WHERE clause ends: the first FOR, GROUP,
    // ORDER or UNION outside parentheses (those of sub-queries belong to the clause), a
    // parenthesis that closes one opened before the statement, or the end. where: the
    // first WHERE outside parentheses, npos when there is none.
    size_t WhereClauseEnd(size_t index, size_t& where) const {
        where = std::string::npos;
        for (int depth = 0; !(*this)[index].IsEnd(); ++index) {
            const TToken& token = (*this)[index];
            if (depth == 0 && (token.Code == lxFor || token.Code == lxGroup || token.Code == lxOrder ||
                               token.Code == lxUnion))
                break;
            if (token.Is("(")) {
                ++depth;
            } else if (token.Is(")")) {
                if (depth == 0) break;
                --depth;
            } else if (depth == 0 && token.Code == lxWhere && where == std::string::npos) {
                where = index;
            }
        }
        return index;
    }

    // An OR outside parentheses between the two indexes.
    bool HasOuterOr(size_t from, size_t to) const {
        int depth = 0;
        for (size_t i = from; i < to && i < EndIndex(); ++i) {
            const TToken& token = tokens_[i];
            if (token.Is("(")) ++depth;
            else if (token.Is(")")) --depth;
            else if (depth == 0 && token.Code == lxOr) return true;
        }
        return false;
    }

private:
    std::vector<TToken> tokens_;
};

bool IsName(const TToken& token) { return token.Code == lcIdent; }
bool IsNameOrStar(const TToken& token) { return token.Code == lcIdent || token.Is("*"); }

// Words before a select list that are not items; any letter case, as the server takes them.
bool IsSetQuantifier(const TToken& token) {
    if (token.Code != lcIdent) return false;
    const std::string upper = platform::AnsiUpperCase(token.Text);
    return upper == "ALL" || upper == "DISTINCT" || upper == "UNIQUE";
}

// Names the server answers as values, not columns.
bool IsPseudoColumn(const std::string& name) {
    const std::string upper = platform::AnsiUpperCase(name);
    return upper == "NULL" || upper == "SYSDATE" || upper == "USER" || upper == "UID";
}

// The text's last token is a line comment, with no line end after it.
bool EndsInLineComment(const std::string& text) {
    const TTokenList tokens(text, true, true);
    return tokens.EndIndex() > 0 && tokens[tokens.EndIndex() - 1].IsLineComment();
}

// Text placed after a token: a line comment there would swallow it, so it starts a new line.
std::string AfterToken(const TToken& token, std::string text) {
    if (token.IsLineComment() && (text.empty() || text.front() != '\r')) return "\r" + text;
    return text;
}

}  // namespace

std::vector<TTableInfo> ParseFromList(const std::string& sql) {
    const TTokenList t(sql, false, false);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return {};
    for (int depth = 0; !t[i].IsEnd() && !(depth == 0 && t[i].Code == lxOraFrom); ++i) {
        if (t[i].Is("(")) ++depth;
        else if (t[i].Is(")")) --depth;
    }
    if (t[i].IsEnd()) return {};
    ++i;

    std::vector<TTableInfo> tables;
    while (IsName(t[i])) {
        std::string name = t[i++].Text;
        if (t[i].Is(".")) {
            if (!IsName(t[++i])) break;
            name += "." + t[i++].Text;
        }
        if (t[i].Is("@") && IsName(t[i + 1])) {
            name += "@" + t[i + 1].Text;
            i += 2;
        }
        std::string alias;
        if (IsName(t[i])) alias = t[i++].Text;
        if (tables.size() == MaxFromTables) AssertionFailed(UnitOra, "Assertion failure");
        tables.push_back({name, alias});
        if (!t[i].Is(",")) break;
        ++i;
    }
    return tables;
}

std::vector<TColumnInfo> ParseSelectList(const std::string& sql) {
    const TTokenList t(sql, false, true);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return {};

    std::vector<TColumnInfo> items;
    TColumnInfo item;
    bool isExpr = false;
    int depth = 0;
    TToken current;
    TToken previous;
    const auto read = [&] {
        previous = current;
        current = t[i];
        if (!current.IsEnd()) ++i;
    };
    // A FROM inside parentheses belongs to a sub-query of an item.
    const auto listEnds = [&] { return current.IsEnd() || (depth == 0 && current.Code == lxOraFrom); };

    while (true) {
        read();
        if (IsSetQuantifier(current)) continue;
        if (IsNameOrStar(current) && !isExpr) {
            item.Name = current.Text;
            read();
            for (int part = 0; part < 2 && current.Is("."); ++part) {
                read();
                if (!IsNameOrStar(current)) break;
                item.Table = item.Name;  // of a three-part name the schema is dropped
                item.Name = current.Text;
                read();
            }
            if (current.Code == lxAs) read();
            if (IsName(current)) {
                item.Alias = current.Text;
                read();
            }
        }
        if (!(depth == 0 && current.Is(",")) && !listEnds()) {
            if (!isExpr) {
                item.Expr = item.Table.empty() ? item.Name : item.Table + "." + item.Name;
                item.Alias.clear();
                isExpr = true;
            } else if (!item.Alias.empty()) {
                // A name taken for an alias was followed by more of the expression.
                item.Expr += item.Alias;
                item.Alias.clear();
            }
            if (current.Is("(")) ++depth;
            else if (current.Is(")")) --depth;
            if (current.Code != lxAs) {
                // A name after a value or a CASE's END ends the expression as its alias ("sal * 2 doubled").
                if (depth == 0 && IsName(current) &&
                    (IsName(previous) || previous.Code == lxAs || previous.Is(")") || previous.Code == lcNumber ||
                     previous.Code == lcString || previous.Code == lxEnd))
                    item.Alias = current.Text;
                else
                    item.Expr += current.Text;
            }
            continue;
        }
        if (!isExpr && IsPseudoColumn(item.Name)) {
            item.Expr = item.Table.empty() ? item.Name : item.Table + "." + item.Name;
            isExpr = true;
        }
        if (isExpr) {
            item.Name.clear();
            item.Table.clear();
        } else {
            item.Expr.clear();
        }
        items.push_back(item);
        if (!current.Is(",")) break;
        item = TColumnInfo();
        isExpr = false;
    }
    return items;
}

std::string AddWhereCondition(const std::string& sql, const std::string& condition) {
    if (platform::Trim(condition).empty()) return sql;
    const TTokenList t(sql, false, true);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return sql;

    size_t where;
    const size_t stop = t.WhereClauseEnd(i, where);
    const TToken& last = t[stop - 1];
    const size_t insertAt = last.End;

    // "and" binds before "or": a side holding an OR of its own keeps it in parentheses.
    std::string added = condition;
    if (EndsInLineComment(added)) added += "\r";
    bool wrapBody = false;
    if (where != std::string::npos) {
        if (TTokenList cond(condition, false, false); cond.HasOuterOr(0, cond.EndIndex())) added = "(" + added + ")";
        wrapBody = where + 1 < stop && t.HasOuterOr(where + 1, stop);
        added = " and\r  " + added;
    } else {
        added = "\rWHERE " + added;
    }
    if (wrapBody) added = ")" + added;
    added = AfterToken(last, added);

    std::string result = sql.substr(0, insertAt) + added;
    if (!t[stop].IsEnd()) result += sql.substr(insertAt);
    if (wrapBody) {
        const size_t bodyStart = t[where + 1].Start;
        result = result.substr(0, bodyStart) + "(" + result.substr(bodyStart);
    }
    return t[stop].IsEnd() ? platform::TrimLeft(result) : result;
}

std::string RemoveWhereClause(const std::string& sql) {
    const TTokenList t(sql, true, false);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return sql;

    size_t where;
    const size_t stop = t.WhereClauseEnd(i, where);
    if (where == std::string::npos) return sql;
    const size_t start = t[where - 1].IsBlank() ? t[where - 1].Start : t[where].Start;
    const size_t end = t.BlanksBefore(stop);
    if (end <= start) return sql;
    return std::string(sql).erase(start, end - start);
}

std::string ReplaceOrderBy(const std::string& sql, const std::string& fields) {
    std::string list = fields;
    std::replace(list.begin(), list.end(), ';', ',');
    const TTokenList t(sql, true, false);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return sql;

    size_t start = std::string::npos;
    for (int depth = 0; !t[i].IsEnd() && t[i].Code != lxFor; ++i) {
        const TToken& token = t[i];
        if (token.Is("(")) {
            ++depth;
        } else if (token.Is(")")) {
            if (depth > 0) --depth;
        } else if (depth == 0 && start == std::string::npos) {
            if (const size_t by = t.OrderByAt(i)) {
                start = !list.empty() ? t.AfterBy(by) : (t[i - 1].IsBlank() ? t[i - 1].Start : token.Start);
                // A bare "ORDER BY" at the end still needs the blank before the list.
                if (!list.empty() && !t[by + 1].IsBlank()) list.insert(list.begin(), ' ');
            }
        }
    }
    const size_t end = t.BlanksBefore(i);

    std::string result = sql;
    if (start != std::string::npos) {
        if (start < end) result.erase(start, end - start);
        if (!list.empty()) result.insert(start, list);
    } else if (!list.empty()) {
        std::string clause = " ORDER BY " + list;
        if (sql.find('\r') < end) clause = "\r " + clause;
        result.insert(end, clause);
    }
    return result;
}

std::string OrderByClause(const std::string& sql) {
    const TTokenList t(sql, true, true);
    size_t i = t.AfterSelect();
    if (i == std::string::npos) return std::string();
    for (int depth = 0; !t[i].IsEnd(); ++i) {
        const TToken& token = t[i];
        if (token.Is("(")) {
            ++depth;
        } else if (token.Is(")")) {
            if (depth > 0) --depth;
        } else if (depth == 0) {
            if (const size_t by = t.OrderByAt(i)) return sql.substr(std::min(t.AfterBy(by), sql.size()));
        }
    }
    return std::string();
}

std::string DictionarySpelling(const std::string& part) {
    if (part.size() >= 2 && part.front() == '"' && part.back() == '"') return part.substr(1, part.size() - 2);
    return platform::AnsiUpperCase(part);
}

std::string FirstTableName(const std::string& sql) {
    const std::vector<TTableInfo> tables = ParseFromList(sql);
    return tables.empty() ? std::string() : platform::AnsiUpperCase(tables.front().Name);
}

std::string RecordCountSQL(const std::string& sql) {
    std::string inner = ReplaceOrderBy(sql, std::string());
    // A closing parenthesis after a line comment would be part of the comment.
    if (EndsInLineComment(inner)) inner += "\r";
    return "SELECT Count(*) FROM (\r" + inner + ")";
}

std::string RefreshSQLFromWhere(const std::string& sql, const std::string& refresh) {
    const std::string text = platform::Trim(refresh);
    if (platform::AnsiUpperCase(text.substr(0, 5)) != "WHERE") return text;
    return AddWhereCondition(sql, platform::Trim(text.substr(5)));
}

std::string LockSQLFromFor(const std::string& refreshSQL, const std::string& lock) {
    const std::string text = platform::Trim(lock);
    if (platform::AnsiUpperCase(text.substr(0, 3)) != "FOR") return text;
    return refreshSQL + "\r" + text;
}

}  // namespace oracle
