// Text operations on SELECT statements over the Oracle tokenizer's token stream,
// without a full SQL parser: the tables of the FROM list, the items of the select
// list, adding a WHERE condition, removing the WHERE clause, replacing or reading
// the ORDER BY list. The Oracle dataset uses them for filters, master/detail links,
// refresh statements, record counts and field origins. Every operation starts at the
// text's first SELECT; a text without one is left alone.
#pragma once

#include <string>
#include <vector>

namespace oracle {

// Unit name of the Oracle dataset's assertion failures.
inline constexpr const char* UnitOra = "Ora";

// One table of a FROM list. Name as written: NAME or OWNER.NAME, either followed by
// "@" and a database link. Alias is empty when none was written.
struct TTableInfo {
    std::string Name;
    std::string Alias;
};

// One item of a select list: a column reference (Name, or "*", with the qualifier
// written before it in Table) or an expression (Expr, Name empty).
struct TColumnInfo {
    std::string Name;
    std::string Table;
    std::string Expr;
    std::string Alias;
};

// A FROM list holds at most this many tables; one more is an assertion failure.
inline constexpr size_t MaxFromTables = 30;

std::vector<TTableInfo> ParseFromList(const std::string& sql);
std::vector<TColumnInfo> ParseSelectList(const std::string& sql);
// The condition joins an existing WHERE clause with "and" (both sides parenthesised
// when either holds an OR of its own) or starts one.
std::string AddWhereCondition(const std::string& sql, const std::string& condition);
std::string RemoveWhereClause(const std::string& sql);
// The ORDER BY list becomes fields (";" written as ","); an empty list removes the clause.
std::string ReplaceOrderBy(const std::string& sql, const std::string& fields);
// The text after ORDER BY to the end of the statement; empty without one.
std::string OrderByClause(const std::string& sql);

// One part of a written name as the data dictionary stores it: a quoted name keeps its
// case without the quotes, any other is upper case.
std::string DictionarySpelling(const std::string& part);

// Statements the Oracle dataset derives from its own text.
// The first table of the FROM list, upper-cased (the table updates go to); empty without one.
std::string FirstTableName(const std::string& sql);
// "SELECT Count(*) FROM (" the statement without its ORDER BY clause ")".
std::string RecordCountSQL(const std::string& sql);
// A refresh text written as just a WHERE clause becomes sql with that condition added;
// any other text is the refresh statement itself (trimmed).
std::string RefreshSQLFromWhere(const std::string& sql, const std::string& refresh);
// A lock text written as just a FOR clause follows the refresh statement on a line of its
// own; any other text is the lock statement itself (trimmed).
std::string LockSQLFromFor(const std::string& refreshSQL, const std::string& lock);

}  // namespace oracle
