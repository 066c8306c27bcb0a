// The statements the engine understands, parsed from their text: SELECT with WHERE and
// ORDER BY (plain columns, or COUNT/SUM/AVG/MIN/MAX over the whole selection), INSERT,
// UPDATE, DELETE, the transaction statements, and CALL of a stored procedure.
#pragma once

#include <string>
#include <vector>

#include "standins/relational/SqlValue.h"

namespace wssql {

struct Operand {
    enum Kind { Literal, Column, Variable };
    Kind kind = Literal;
    Value literal;
    std::string name;  // column or variable name as written
    int field = -1;    // the column's field, once resolved against the table
};

struct Condition {
    enum Kind { And, Or, Not, Compare, Like, IsNull, In, Between };
    Kind kind = Compare;
    std::string op;        // of Compare: = <> < <= > >=
    bool negated = false;  // NOT LIKE, IS NOT NULL, NOT IN, NOT BETWEEN
    std::vector<Operand> operands;
    std::vector<Condition> children;
};

struct SelectItem {
    enum Kind { Column, Count, Sum, Avg, Min, Max };
    Kind kind = Column;
    std::string column;  // empty for COUNT(*)
    std::string label;   // the column's name as described
    int field = -1;
};

struct OrderItem {
    std::string column;
    int position = 0;  // 1-based select-list position when given as a number
    bool descending = false;
    int field = -1;
};

struct Statement {
    enum Kind { Select, Insert, Update, Delete, BeginTransaction, Commit, Rollback, Call };
    Kind kind = Select;
    std::string table;  // or the procedure's name
    bool allColumns = false;          // SELECT *
    std::vector<SelectItem> items;    // SELECT
    std::vector<std::string> columns; // INSERT column list, UPDATE SET targets
    std::vector<int> columnFields;
    std::vector<Operand> values;      // INSERT VALUES, UPDATE SET values
    bool hasWhere = false;
    Condition where;
    std::vector<OrderItem> order;

    bool IsAggregate() const;
};

// Raises SqlError(SqlStatusSyntaxError) on a text it does not understand.
Statement ParseStatement(const std::string& text);

// Names compare without regard to the case of ASCII letters.
bool SameName(const std::string& a, const std::string& b);

}  // namespace wssql
