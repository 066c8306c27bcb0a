// The journal move: MoveJourSh2Oracle through setrix.dll on a JOUR.SH of N records,
// against a raw program doing the same work per row: the records read through BTRCALL in
// the order of the journal's key, one prepared INSERT per row through oci.dll with the
// five values bound, one commit at the end. One line per size.
//
//   bench_journal_move [records ...]    (default 20000 40000; needs SETRIX_ORACLE_STANDIN)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/JournalFixture.h"
#include "tests/standins/oracle/OciLibrary.h"

namespace {

using namespace orastandin::testing;
using bench::BtrieveClient;
using bench::Die;
using bench::JournalRecord;

const char* const kUser = "SCOTT";
const char* const kPassword = "TIGER";

std::string CreateTableText(const std::string& table) {
    return "CREATE TABLE " + table +
           " (DATE_TIME DATE NOT NULL, CARD_NUMBER NUMBER NOT NULL, CLIENT_NUMBER NUMBER NOT NULL, "
           "STROKA VARCHAR(100) NOT NULL, PERSONNEL_ID NUMBER NOT NULL)";
}

// The 7 bytes of an Oracle DATE for a journal day number (1 = 0001-01-01) and second.
void OracleDate(int32_t dayNumber, int32_t second, uint8_t date[7]) {
    // Days since 0000-03-01, then the civil date by 400-year eras.
    const int64_t z = dayNumber - 1 + 306;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    date[0] = static_cast<uint8_t>(year / 100 + 100);
    date[1] = static_cast<uint8_t>(year % 100 + 100);
    date[2] = static_cast<uint8_t>(month);
    date[3] = static_cast<uint8_t>(day);
    date[4] = static_cast<uint8_t>(second / 3600 + 1);
    date[5] = static_cast<uint8_t>(second / 60 % 60 + 1);
    date[6] = static_cast<uint8_t>(second % 60 + 1);
}

void Check(OciLibrary& oci, sword status, const char* what) {
    if (status == OCI_SUCCESS) return;
    std::string text;
    oci.LastError(&text);
    Die(std::string(what) + ": " + text);
}

// The raw floor: what the move has to do, with nothing between the program and the two
// client libraries.
void RawMove(OciLibrary& oci, const std::string& server, const std::string& journal, const std::string& table) {
    OciConnection db(oci, server, kUser, kPassword);
    Check(oci, db.logonStatus, "log-on");
    Check(oci, db.Run(CreateTableText(table)), "create table");
    const std::string insert = "INSERT INTO " + table +
                               " (DATE_TIME, CARD_NUMBER, CLIENT_NUMBER, STROKA, PERSONNEL_ID) VALUES "
                               "(:DATE_TIME, :CARD_NUMBER, :CLIENT_NUMBER, :STROKA, :PERSONNEL_ID)";
    Check(oci,
          oci.StmtPrepare(db.stmt, oci.err, reinterpret_cast<const OraText*>(insert.c_str()),
                          static_cast<ub4>(insert.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
          "prepare");
    uint8_t date[7] = {};
    double card = 0, client = 0, personnel = 0;
    char text[101] = {};
    OCIBind* binds[5] = {};
    const struct {
        void* value;
        sb4 size;
        ub2 type;
    } values[] = {{date, 7, SQLT_DAT},
                  {&card, sizeof card, SQLT_FLT},
                  {&client, sizeof client, SQLT_FLT},
                  {text, sizeof text, SQLT_STR},
                  {&personnel, sizeof personnel, SQLT_FLT}};
    for (ub4 i = 0; i < 5; ++i)
        Check(oci,
              oci.BindByPos(db.stmt, &binds[i], oci.err, i + 1, values[i].value, values[i].size, values[i].type,
                            nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
              "bind");

    BtrieveClient btrieve;
    uint8_t block[btrieve::kPositionBlockSize] = {};
    char key[btrieve::kKeyBufferSize] = {};
    std::strncpy(key, journal.c_str(), sizeof key - 1);
    uint8_t record[JournalRecord::kLength] = {};
    uint32_t length = 0;
    BtrieveClient::Check(btrieve.Call(btrieve::OpOpen, block, record, &length, key, 0), "open JOUR.SH");
    length = JournalRecord::kLength;
    int16_t status = btrieve.Call(btrieve::OpGetFirst, block, record, &length, key, 0);
    while (status == btrieve::StatusOk) {
        const JournalRecord r = JournalRecord::From(record);
        OracleDate(r.day, r.second, date);
        card = r.card;
        client = r.client;
        const std::string line = r.TextLine();
        std::memcpy(text, line.c_str(), line.size() + 1);
        personnel = r.personnel;
        Check(oci, oci.StmtExecute(db.svc, db.stmt, oci.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), "insert");
        length = JournalRecord::kLength;
        status = btrieve.Call(btrieve::OpGetNext, block, record, &length, key, 0);
    }
    if (status != btrieve::StatusEndOfFile) BtrieveClient::Check(status, "read JOUR.SH");
    length = 0;
    btrieve.Call(btrieve::OpClose, block, record, &length, key, 0);
    Check(oci, oci.TransCommit(db.svc, oci.err, 0), "commit");
}

using MoveFn = int(WINAPI*)(const char*, const char*, const char*, const char*, const char*);

// The rows of the table, which then goes.
uint32_t RowsOf(OciLibrary& oci, const std::string& server, const std::string& table) {
    OciConnection db(oci, server, kUser, kPassword);
    Check(oci, db.logonStatus, "log-on");
    const std::string count = "SELECT COUNT(*) FROM " + table;
    Check(oci,
          oci.StmtPrepare(db.stmt, oci.err, reinterpret_cast<const OraText*>(count.c_str()),
                          static_cast<ub4>(count.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
          "prepare count");
    int rows = 0;
    OCIDefine* define = nullptr;
    oci.DefineByPos(db.stmt, &define, oci.err, 1, &rows, sizeof rows, SQLT_INT, nullptr, nullptr, nullptr,
                    OCI_DEFAULT);
    Check(oci, oci.StmtExecute(db.svc, db.stmt, oci.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), "count");
    db.Run("DROP TABLE " + table);
    return static_cast<uint32_t>(rows);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(bench::SizeArgument(argc, argv, i, 0));
    if (sizes.empty()) sizes = {20000, 40000};
    const std::string server = bench::StandinServer();
    bench::OracleClientRegistration client;
    HMODULE setrix = LoadLibraryA("setrix.dll");
    if (!setrix) Die("cannot load setrix.dll");
    const auto move = reinterpret_cast<MoveFn>(reinterpret_cast<void*>(GetProcAddress(setrix, "MoveJourSh2Oracle")));
    OciLibrary oci;

    int run = 0;
    for (const uint32_t records : sizes) {
        bench::ScratchFolder data("journal");
        bench::WriteJournal(data.Path(), records, false);
        const std::string journal = data.Path() + "JOUR.SH";
        auto checkRows = [&](const std::string& table, const char* who) {
            const uint32_t rows = RowsOf(oci, server, table);
            if (rows != records)
                Die(std::string(who) + " moved " + std::to_string(rows) + " of " + std::to_string(records) + " records");
        };
        auto newTable = [&] { return "BENCH_JOUR_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++run); };
        bench::Compare(
            "journal move, " + std::to_string(records) + " records",
            [&] {
                const std::string table = newTable();
                int result = 0;
                const bench::Cost cost = bench::CostOf(
                    [&] { result = move(data.Path().c_str(), table.c_str(), kUser, kPassword, server.c_str()); });
                if (result != 1) Die("MoveJourSh2Oracle answered " + std::to_string(result));
                checkRows(table, "MoveJourSh2Oracle");
                return cost;
            },
            [&] {
                const std::string table = newTable();
                const bench::Cost cost = bench::CostOf([&] { RawMove(oci, server, journal, table); });
                checkRows(table, "the raw move");
                return cost;
            });
    }
    FreeLibrary(setrix);
    return 0;
}
