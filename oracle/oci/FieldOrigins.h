// TFieldOrigins: the table and column each data field of an Oracle dataset comes from,
// read from the statement's select and FROM lists and, where those leave a column's
// table open (several tables, unqualified names, stars), from the server's
// all_tab_columns view. The Oracle dataset runs ReadFieldOrigins when it opens with
// the FieldsOrigin or DefaultValues option.
#pragma once

#include <string>
#include <vector>

#include "oracle/oci/OraSqlText.h"

namespace oracle {

class TCustomDADataSet;

// One row of the dictionary query: a column of the statement's table table_id (1-based).
struct TDictionaryColumn {
    std::string TableName;
    std::string ColumnName;
    int TableId = 0;
};

class TFieldOrigins {
public:
    // sql: the statement as sent; username: the session's, owner of tables named without one.
    TFieldOrigins(const std::string& sql, const std::string& username);

    // The dictionary is asked when the statement leaves a column's table open, or when
    // forced (the DefaultValues option), and never without a table to ask about.
    bool NeedsDictionary(bool forced) const;
    std::string DictionaryQuery(bool forced) const;
    // Forced over several tables: each table's default values are read after the query.
    std::vector<std::string> DefaultValueQueries(bool forced) const;
    // Unqualified columns take their table from the rows; stars become the rows' columns.
    void Resolve(const std::vector<TDictionaryColumn>& rows);

    // "TABLE.COLUMN" of the field whose column name (upper case) this is; empty when unknown.
    std::string OriginOf(const std::string& columnName) const;

    const std::vector<TColumnInfo>& Columns() const { return columns_; }
    const std::vector<TTableInfo>& Tables() const { return tables_; }

private:
    // Owner and table of table index as the dictionary spells them, quoted for SQL.
    std::string DictionaryWhere(size_t index) const;

    std::vector<TTableInfo> tables_;        // names and aliases upper-cased
    std::vector<TTableInfo> writtenTables_;  // as written, for the dictionary's spelling
    std::vector<TColumnInfo> columns_;
    std::string defaultTable_;
    std::string username_;
    bool tableUnknown_ = false;
    int stars_ = 0;
};

// Sets Origin of every data field of the dataset. forced: the DefaultValues option.
// A failing dictionary query passes its error on.
void ReadFieldOrigins(TCustomDADataSet& dataSet, bool forced);

}  // namespace oracle
