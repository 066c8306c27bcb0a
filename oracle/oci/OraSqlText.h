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

}  // namespace oracle
