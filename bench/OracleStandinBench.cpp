// Raw rates of the Oracle stand-in (oci.dll talking to the native server): rows inserted
// per second with one prepared statement executed row by row in one transaction, and rows
// fetched per second with array fetches of 25 rows (the Oracle layer's default). These are
// the ceiling that the Oracle layer's own benchmarks are measured against; printed: both
// rates and the ratio fetch / insert.
//
//   bench_oracle_standin [rows]    (default 20000; needs SETRIX_ORACLE_STANDIN, the folder
//                                   of a running stand-in's tnsnames.ora)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/standins/oracle/OciLibrary.h"

namespace {

using namespace orastandin::testing;

constexpr ub4 kFetchRows = 25;
constexpr sb4 kTextSize = 33;

[[noreturn]] void Die(OciLibrary& oci, const std::string& what) {
    std::string text;
    oci.LastError(&text);
    std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), text.c_str());
    std::exit(1);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    return s > 0 ? s : 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    const ub4 rows = argc > 1 ? static_cast<ub4>(std::strtoul(argv[1], nullptr, 10)) : 20000;
    if (StandinFolder().empty()) {
        std::fprintf(stderr, "bench: SETRIX_ORACLE_STANDIN names no stand-in server\n");
        return 1;
    }
    OciLibrary oci;
    OciConnection db(oci, "SETRIX_TEST", "SCOTT", "TIGER");
    if (db.logonStatus != OCI_SUCCESS) Die(oci, "log-on");
    const std::string table = UniqueName("BENCH");
    if (db.Run("CREATE TABLE " + table + " (ID NUMBER(10), NAME VARCHAR2(32))") != OCI_SUCCESS)
        Die(oci, "create table");

    // Insert: prepared once, bound once, executed per row.
    const std::string insert = "INSERT INTO " + table + " VALUES (:1, :2)";
    if (oci.StmtPrepare(db.stmt, oci.err, reinterpret_cast<const OraText*>(insert.c_str()),
                        static_cast<ub4>(insert.size()), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
        Die(oci, "prepare insert");
    int id = 0;
    char name[kTextSize] = {};
    OCIBind* bindId = nullptr;
    OCIBind* bindName = nullptr;
    oci.BindByPos(db.stmt, &bindId, oci.err, 1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                  OCI_DEFAULT);
    oci.BindByPos(db.stmt, &bindName, oci.err, 2, name, kTextSize, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr,
                  OCI_DEFAULT);
    auto start = std::chrono::steady_clock::now();
    for (ub4 i = 0; i < rows; ++i) {
        id = static_cast<int>(i);
        std::snprintf(name, sizeof name, "row %u", i);
        if (oci.StmtExecute(db.svc, db.stmt, oci.err, 1, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
            Die(oci, "insert");
    }
    if (oci.TransCommit(db.svc, oci.err, 0) != OCI_SUCCESS) Die(oci, "commit");
    const double insertRate = rows / Seconds(start);

    // Fetch: array defines of 25 rows per call.
    const std::string select = "SELECT ID, NAME FROM " + table;
    if (oci.StmtPrepare(db.stmt, oci.err, reinterpret_cast<const OraText*>(select.c_str()),
                        static_cast<ub4>(select.size()), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
        Die(oci, "prepare select");
    std::vector<int> ids(kFetchRows);
    std::vector<char> names(kFetchRows * kTextSize);
    OCIDefine* defineId = nullptr;
    OCIDefine* defineName = nullptr;
    oci.DefineByPos(db.stmt, &defineId, oci.err, 1, ids.data(), sizeof(int), SQLT_INT, nullptr, nullptr, nullptr,
                    OCI_DEFAULT);
    oci.DefineByPos(db.stmt, &defineName, oci.err, 2, names.data(), kTextSize, SQLT_STR, nullptr, nullptr, nullptr,
                    OCI_DEFAULT);
    start = std::chrono::steady_clock::now();
    if (oci.StmtExecute(db.svc, db.stmt, oci.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
        Die(oci, "execute select");
    ub4 fetched = 0;
    for (;;) {
        const sword status = oci.StmtFetch(db.stmt, oci.err, kFetchRows, OCI_FETCH_NEXT, OCI_DEFAULT);
        ub4 total = 0;
        oci.AttrGet(db.stmt, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, oci.err);
        fetched = total;
        if (status == OCI_NO_DATA) break;
        if (status != OCI_SUCCESS) Die(oci, "fetch");
    }
    const double fetchRate = fetched / Seconds(start);
    db.Run("DROP TABLE " + table);
    if (fetched != rows) {
        std::fprintf(stderr, "bench: fetched %u of %u rows\n", fetched, rows);
        return 1;
    }

    std::printf("rows: %u\n", rows);
    std::printf("insert (prepared, one transaction): %.0f rows/s\n", insertRate);
    std::printf("fetch (25 rows per call): %.0f rows/s\n", fetchRate);
    std::printf("ratio fetch/insert: %.3f\n", fetchRate / insertRate);
    return 0;
}
