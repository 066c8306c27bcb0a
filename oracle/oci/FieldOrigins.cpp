#include "oracle/oci/FieldOrigins.h"

#include "oracle/core/Assertion.h"
#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/Data.h"
#include "platform/SysUtils.h"

namespace oracle {
namespace {

using platform::AnsiUpperCase;

// A text inside apostrophes of a statement.
std::string Quoted(const std::string& text) {
    std::string result = "'";
    for (const char c : text) {
        result += c;
        if (c == '\'') result += '\'';
    }
    return result + "'";
}

// The place of the first "." outside a quoted name; npos without one.
size_t OwnerSeparator(const std::string& name) {
    bool quoted = false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '"') quoted = !quoted;
        else if (name[i] == '.' && !quoted) return i;
    }
    return std::string::npos;
}

}  // namespace

TFieldOrigins::TFieldOrigins(const std::string& sql, const std::string& username)
    : writtenTables_(ParseFromList(sql)), columns_(ParseSelectList(sql)), username_(AnsiUpperCase(username)) {
    for (const TTableInfo& written : writtenTables_) {
        TTableInfo table{AnsiUpperCase(written.Name), AnsiUpperCase(written.Alias)};
        if (table.Alias.empty()) table.Alias = table.Name;
        tables_.push_back(table);
    }
    if (!tables_.empty()) defaultTable_ = tables_.front().Name;

    for (TColumnInfo& column : columns_) {
        column.Name = AnsiUpperCase(column.Name);
        column.Table = AnsiUpperCase(column.Table);
        column.Expr = AnsiUpperCase(column.Expr);
        column.Alias = AnsiUpperCase(column.Alias);
        for (const TTableInfo& table : tables_) {
            if (!column.Table.empty() && column.Table == table.Alias) {
                column.Table = table.Name;
                break;
            }
        }
        if (column.Name != "*") {
            if (column.Alias.empty()) column.Alias = column.Name.empty() ? column.Expr : column.Name;
            if (!column.Name.empty() && column.Table.empty()) tableUnknown_ = true;
        } else {
            ++stars_;
            if (!column.Table.empty()) defaultTable_ = column.Table;
            else tableUnknown_ = true;
        }
    }
}

bool TFieldOrigins::NeedsDictionary(bool forced) const {
    if (tables_.empty()) return false;  // a FROM list that starts with a sub-query names no table
    return forced || (tables_.size() >= 2 && (tableUnknown_ || stars_ >= 2));
}

std::string TFieldOrigins::DictionaryWhere(size_t index) const {
    const std::string& name = writtenTables_.at(index).Name;
    const size_t separator = OwnerSeparator(name);
    const std::string owner = separator == std::string::npos ? username_ : DictionarySpelling(name.substr(0, separator));
    const std::string table = DictionarySpelling(separator == std::string::npos ? name : name.substr(separator + 1));
    return "owner = " + Quoted(owner) + " and table_name = " + Quoted(table);
}

std::string TFieldOrigins::DictionaryQuery(bool forced) const {
    const bool withDefaults = forced && tables_.size() == 1;
    std::string selects;
    for (size_t k = 0; k < tables_.size(); ++k) {
        const std::string select = "SELECT table_name,column_name," + std::to_string(k + 1) + " table_id" +
                                   (withDefaults ? ",data_default" : "") +
                                   ",column_id FROM all_tab_columns WHERE " + DictionaryWhere(k);
        selects += k == 0 ? select : "\rUNION (\r" + select + "\r)\r";
    }
    if (tables_.size() < 2) return selects;
    return "SELECT table_name,column_name,table_id FROM (\r" + selects + ")\rORDER BY table_id,column_id";
}

std::vector<std::string> TFieldOrigins::DefaultValueQueries(bool forced) const {
    std::vector<std::string> queries;
    if (!forced || tables_.size() < 2) return queries;
    for (size_t k = 0; k < tables_.size(); ++k)
        queries.push_back("SELECT column_name,data_default FROM all_tab_columns WHERE " + DictionaryWhere(k));
    return queries;
}

void TFieldOrigins::Resolve(const std::vector<TDictionaryColumn>& rows) {
    std::vector<TColumnInfo> resolved;
    for (const TColumnInfo& column : columns_) {
        if (column.Name == "*") {
            // A qualified star takes the rows of its own table: by the table's number when
            // the qualifier names one of the list (owner-qualified names included), else
            // the rows named like it, of the first table met among them.
            int tableId = 0;
            for (size_t k = 0; k < tables_.size() && !column.Table.empty(); ++k)
                if (tables_[k].Name == column.Table) {
                    tableId = static_cast<int>(k) + 1;
                    break;
                }
            for (const TDictionaryColumn& row : rows) {
                if (!column.Table.empty()) {
                    if (tableId == 0 && row.TableName == column.Table) tableId = row.TableId;
                    if (row.TableId != tableId) continue;
                }
                resolved.push_back({row.ColumnName, row.TableName, std::string(), row.ColumnName});
            }
            continue;
        }
        TColumnInfo item = column;
        if (!item.Name.empty() && item.Table.empty()) {
            item.Table = defaultTable_;
            for (const TDictionaryColumn& row : rows)
                if (row.ColumnName == item.Name) {
                    item.Table = row.TableName;
                    break;
                }
        }
        resolved.push_back(item);
    }
    columns_ = std::move(resolved);
}

std::string TFieldOrigins::OriginOf(const std::string& columnName) const {
    for (const TColumnInfo& column : columns_) {
        if (column.Alias != columnName) continue;
        const std::string& table = column.Table.empty() ? defaultTable_ : column.Table;
        // No table to name (the FROM list starts with a sub-query): no origin, not ".NAME".
        if (column.Name.empty() || table.empty()) return std::string();
        return table + "." + column.Name;
    }
    return tables_.size() == 1 ? defaultTable_ + "." + columnName : std::string();
}

void ReadFieldOrigins(TCustomDADataSet& dataSet, bool forced) {
    TCustomDAConnection* session = dataSet.UsedConnection();
    TFieldOrigins origins(dataSet.EffectiveSQL(), session ? session->Username() : std::string());

    if (session && origins.NeedsDictionary(forced)) {
        const auto dictionary = session->NewDataSet();
        dictionary->Untraced = true;
        dictionary->SetSQLText(origins.DictionaryQuery(forced));
        dictionary->OpenDataSet();
        std::vector<TDictionaryColumn> rows;
        for (; !dictionary->Eof(); dictionary->MoveToNext())
            rows.push_back({dictionary->FieldNamed("TABLE_NAME")->ReadAsString(),
                            dictionary->FieldNamed("COLUMN_NAME")->ReadAsString(),
                            dictionary->FieldNamed("TABLE_ID")->ReadAsInteger()});
        origins.Resolve(rows);
        // Default values are only read: the option forces the reads, the fields keep theirs.
        for (const std::string& query : origins.DefaultValueQueries(forced)) {
            dictionary->CloseDataSet();
            dictionary->SetSQLText(query);
            dictionary->OpenDataSet();
            while (!dictionary->Eof()) dictionary->MoveToNext();
        }
    }

    const TFieldDescs& descs = dataSet.Data()->Fields();
    platform::TFields& fields = dataSet.Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        platform::TField* field = fields.FieldAt(i);
        if (field->FieldKind() != platform::fkData) continue;
        const int fieldNo = field->FieldNo();
        const std::string column = fieldNo >= 1 && fieldNo <= descs.Count()
                                       ? AnsiUpperCase(descs.Items(fieldNo - 1)->ActualName)
                                       : std::string();
        if (column.empty()) AssertionFailed(UnitOra, "Assertion failure");
        field->SetOrigin(origins.OriginOf(column));
    }
}

}  // namespace oracle
