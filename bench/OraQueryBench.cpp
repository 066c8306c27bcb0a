// A query of N rows read through TOraQuery, the way the installation exports read one
// (opened, stepped from the first record to the end, each field read as its type), against
// a raw program doing the same through oci.dll: one prepared SELECT, array defines of as
// many rows per fetch as the dataset fetches, each value taken from the arrays. Both read
// the same rows of the same table, which the benchmark fills first and drops at the end.
//
// Each side reads for a few tenths of a second only, so the comparison runs in rounds.
//
//   bench_ora_query [rows [rounds]]    (default 100000 rows, 5 rounds; needs SETRIX_ORACLE_STANDIN)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "oracle/oci/OraQuery.h"
#include "oracle/oci/OraSession.h"
#include "platform/Classes.h"
#include "platform/DateTime.h"
#include "platform/Field.h"
#include "tests/standins/oracle/OciLibrary.h"

namespace {

using namespace orastandin::testing;
using bench::Die;

const char* const kUser = "SCOTT";
const char* const kPassword = "TIGER";
constexpr sb4 kNameSize = 33;  // VARCHAR2(32) and its terminating zero

void Check(OciLibrary& oci, sword status, const char* what) {
    if (status == OCI_SUCCESS || status == OCI_SUCCESS_WITH_INFO) return;
    std::string text;
    oci.LastError(&text);
    Die(std::string(what) + ": " + text);
}

void Prepare(OciLibrary& oci, OciConnection& db, const std::string& sql) {
    Check(oci,
          oci.StmtPrepare(db.stmt, oci.err, reinterpret_cast<const OraText*>(sql.c_str()),
                          static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
          "prepare");
}

// What both readers add up over the rows, so that each is seen to read every value.
struct Totals {
    long long ids = 0;
    long long nameBytes = 0;
    double amounts = 0;
    long long days = 0;
    bool operator==(const Totals& other) const {
        return ids == other.ids && nameBytes == other.nameBytes && days == other.days &&
               amounts - other.amounts < 0.5 && other.amounts - amounts < 0.5;
    }
};

// Arrays of rows of the table's four columns, as the raw program binds and defines them.
struct ColumnArrays {
    explicit ColumnArrays(ub4 rows) : ids(rows), names(rows * kNameSize), amounts(rows), dates(rows * 7) {}
    struct Column {
        void* value;
        sb4 size;
        ub2 type;
    };
    std::vector<Column> Columns() {
        return {{ids.data(), sizeof(int), SQLT_INT},
                {names.data(), kNameSize, SQLT_STR},
                {amounts.data(), sizeof(double), SQLT_FLT},
                {dates.data(), 7, SQLT_DAT}};
    }
    std::vector<int> ids;
    std::vector<char> names;
    std::vector<double> amounts;
    std::vector<uint8_t> dates;
};

// The table with that many rows, inserted by arrays of rows in one transaction.
void FillTable(OciLibrary& oci, OciConnection& db, const std::string& table, uint32_t rows) {
    Check(oci,
          db.Run("CREATE TABLE " + table +
                 " (ID NUMBER(10) NOT NULL, NAME VARCHAR2(32), AMOUNT NUMBER(12,2), CREATED DATE)"),
          "create table");
    Prepare(oci, db, "INSERT INTO " + table + " VALUES (:ID, :NAME, :AMOUNT, :CREATED)");
    constexpr ub4 kBatch = 1000;
    ColumnArrays arrays(kBatch);
    auto& [ids, names, amounts, dates] = arrays;
    OCIBind* binds[4] = {};
    const auto columns = arrays.Columns();
    for (ub4 i = 0; i < 4; ++i)
        Check(oci,
              oci.BindByPos(db.stmt, &binds[i], oci.err, i + 1, columns[i].value, columns[i].size, columns[i].type,
                            nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
              "bind");
    for (uint32_t done = 0; done < rows;) {
        const ub4 batch = static_cast<ub4>(std::min<uint32_t>(kBatch, rows - done));
        for (ub4 k = 0; k < batch; ++k) {
            const uint32_t row = done + k;
            ids[k] = static_cast<int>(row);
            std::snprintf(&names[k * kNameSize], kNameSize, "customer %u of the list", row);
            amounts[k] = (row % 10000) / 4.0;
            uint8_t* date = &dates[k * 7];
            const uint8_t month = static_cast<uint8_t>(row % 12 + 1), day = static_cast<uint8_t>(row % 28 + 1);
            const uint8_t parts[7] = {120, 124, month, day, static_cast<uint8_t>(row % 24 + 1), 1, 1};
            std::memcpy(date, parts, 7);
        }
        Check(oci, oci.StmtExecute(db.svc, db.stmt, oci.err, batch, 0, nullptr, nullptr, OCI_DEFAULT), "insert");
        done += batch;
    }
    Check(oci, oci.TransCommit(db.svc, oci.err, 0), "commit");
}

// The raw floor: array fetches of fetchRows rows into defines of the columns' types.
Totals RawRead(OciLibrary& oci, const std::string& server, const std::string& select, ub4 fetchRows) {
    OciConnection db(oci, server, kUser, kPassword);
    Check(oci, db.logonStatus, "log-on");
    Prepare(oci, db, select);
    ColumnArrays arrays(fetchRows);
    auto& [ids, names, amounts, dates] = arrays;
    std::vector<sb2> indicators(fetchRows * 4);
    OCIDefine* defines[4] = {};
    const auto columns = arrays.Columns();
    for (ub4 i = 0; i < 4; ++i)
        Check(oci,
              oci.DefineByPos(db.stmt, &defines[i], oci.err, i + 1, columns[i].value, columns[i].size,
                              columns[i].type, &indicators[i * fetchRows], nullptr, nullptr, OCI_DEFAULT),
              "define");
    Check(oci, oci.StmtExecute(db.svc, db.stmt, oci.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), "execute");
    Totals totals;
    ub4 seen = 0;
    for (;;) {
        const sword status = oci.StmtFetch(db.stmt, oci.err, fetchRows, OCI_FETCH_NEXT, OCI_DEFAULT);
        if (status != OCI_NO_DATA) Check(oci, status, "fetch");
        ub4 total = 0;
        oci.AttrGet(db.stmt, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
        for (ub4 k = 0; k < total - seen; ++k) {
            totals.ids += ids[k];
            if (indicators[fetchRows + k] == 0) totals.nameBytes += std::strlen(&names[k * kNameSize]);
            totals.amounts += amounts[k];
            totals.days += dates[k * 7 + 3];
        }
        seen = total;
        if (status == OCI_NO_DATA) break;
    }
    return totals;
}

// The product: the query dataset opened on a session, stepped to the end.
Totals ProductRead(const std::string& server, const std::string& select) {
    auto session = platform::NewUnownedComponent<oracle::TOraSession>();
    session->SetConnectPrompt(false);
    session->SetUsername(kUser);
    session->SetPassword(kPassword);
    session->SetServer(server);
    session->Connect();
    Totals totals;
    {
        auto query = platform::NewUnownedComponent<oracle::TOraQuery>();
        query->SetSession(session.get());
        query->SQL().AssignText(select);
        query->OpenDataSet();
        platform::TField* id = query->Fields().FieldAt(0);
        platform::TField* name = query->Fields().FieldAt(1);
        platform::TField* amount = query->Fields().FieldAt(2);
        platform::TField* created = query->Fields().FieldAt(3);
        for (; !query->Eof(); query->MoveToNext()) {
            totals.ids += id->ReadAsInteger();
            totals.nameBytes += name->ReadAsString().size();
            totals.amounts += amount->ReadAsFloat();
            int year = 0, month = 0, day = 0;
            platform::DecodeDate(created->ReadAsDateTime(), year, month, day);
            totals.days += day;
        }
        query->CloseDataSet();
    }
    session->Disconnect();
    return totals;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t rows = bench::SizeArgument(argc, argv, 1, 100000);
    const int rounds = static_cast<int>(bench::SizeArgument(argc, argv, 2, 5));
    const std::string server = bench::StandinServer();
    bench::OracleClientRegistration client;
    OciLibrary oci;
    const std::string table = "BENCH_QUERY_" + std::to_string(GetCurrentProcessId());
    {
        OciConnection db(oci, server, kUser, kPassword);
        Check(oci, db.logonStatus, "log-on");
        FillTable(oci, db, table, rows);
    }
    const std::string select = "SELECT ID, NAME, AMOUNT, CREATED FROM " + table;
    // The raw reader fetches as many rows per call as the dataset does by default.
    const ub4 fetchRows = static_cast<ub4>(platform::NewUnownedComponent<oracle::TOraQuery>()->FetchRows());

    Totals expected;
    expected.ids = static_cast<long long>(rows) * (rows - 1) / 2;
    bool first = true;
    auto verify = [&](const Totals& got, const char* who) {
        if (got.ids != expected.ids) Die(std::string(who) + " read rows that are not the table's");
        if (first) expected = got, first = false;
        if (!(got == expected)) Die(std::string(who) + " read other values than the other reader");
    };
    bench::Compare(
        "query, " + std::to_string(rows) + " rows",
        [&] {
            Totals got;
            const bench::Cost cost = bench::CostOf([&] { got = ProductRead(server, select); });
            verify(got, "TOraQuery");
            return cost;
        },
        [&] {
            Totals got;
            const bench::Cost cost = bench::CostOf([&] { got = RawRead(oci, server, select, fetchRows); });
            verify(got, "the raw reader");
            return cost;
        },
        rounds);
    OciConnection db(oci, server, kUser, kPassword);
    db.Run("DROP TABLE " + table);
    return 0;
}
