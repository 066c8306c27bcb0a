// A table scan: every record of JOUR.SH read through the table component (TQbTable on a
// database component on an alias), each field taken as the program would take it, against
// a raw program reading the same file with BTRCALL and taking the same fields out of the
// record's bytes. Both read in the order of key 0, the table's default index, with one
// get-next call per record: the same work in the record manager. Both sum what they read;
// the sums must agree.
//
//   bench_btrieve_scan [records ...]    (default 100000)
#include <windows.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/JournalFixture.h"
#include "btrieve/engines/QbDatabase.h"
#include "btrieve/engines/QbSession.h"
#include "btrieve/engines/QbTable.h"
#include "platform/Field.h"

namespace {

using bench::BtrieveClient;
using bench::Die;
using bench::JournalRecord;

constexpr const char* kAliasKey = "Software\\Quillon\\Btrieve\\Aliases\\";

// The folder registered as a Btrieve alias of the machine while the object lives.
class BtrieveAlias {
public:
    BtrieveAlias(const std::string& name, const std::string& folder) : key_(kAliasKey + name) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            Die("cannot register the alias " + name);
        const std::string physical = folder.substr(0, folder.size() - 1);
        RegSetValueExA(key, "PhysicalName", 0, REG_SZ, reinterpret_cast<const BYTE*>(physical.c_str()),
                       static_cast<DWORD>(physical.size() + 1));
        RegCloseKey(key);
    }
    ~BtrieveAlias() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_.c_str()); }
    BtrieveAlias(const BtrieveAlias&) = delete;
    BtrieveAlias& operator=(const BtrieveAlias&) = delete;

private:
    std::string key_;
};

// What a scan read, summed.
struct Totals {
    uint32_t records = 0;
    double days = 0, seconds = 0, cards = 0, clients = 0, personnel = 0, textBytes = 0;

    void Add(int32_t day, int32_t second, double card, double client, const std::string& text, double person) {
        ++records;
        days += day;
        seconds += second;
        cards += card;
        clients += client;
        textBytes += static_cast<double>(text.size());
        personnel += person;
    }
    bool operator==(const Totals& o) const {
        return records == o.records && days == o.days && seconds == o.seconds && cards == o.cards &&
               clients == o.clients && textBytes == o.textBytes && personnel == o.personnel;
    }
};

constexpr const char* kDatabaseName = "BenchScan";

// The table opened, read to its end and closed, on a connected database.
Totals ProductScan() {
    auto table = platform::NewUnownedComponent<btrieve::TQbTable>();
    table->SetDatabaseName(kDatabaseName);
    table->SetTableName("JOUR.SH");
    table->OpenDataSet();
    platform::TField* fields[6];
    for (int i = 0; i < 6; ++i) fields[i] = table->Fields().FieldAt(i);
    Totals totals;
    for (table->MoveToFirst(); !table->Eof(); table->MoveToNext())
        totals.Add(fields[0]->ReadAsInteger(), fields[1]->ReadAsInteger(), fields[2]->ReadAsFloat(),
                   fields[3]->ReadAsFloat(), fields[4]->ReadAsString(), fields[5]->ReadAsFloat());
    table->CloseDataSet();
    return totals;
}

// The file opened, read by key 0 to its end and closed.
Totals RawScan(const BtrieveClient& btrieve, const std::string& path) {
    uint8_t block[btrieve::kPositionBlockSize] = {};
    char key[btrieve::kKeyBufferSize] = {};
    std::strncpy(key, path.c_str(), sizeof key - 1);
    uint8_t record[JournalRecord::kLength] = {};
    uint32_t length = 0;
    BtrieveClient::Check(btrieve.Call(btrieve::OpOpen, block, record, &length, key, 0), "open JOUR.SH");
    Totals totals;
    length = JournalRecord::kLength;
    int16_t status = btrieve.Call(btrieve::OpGetFirst, block, record, &length, key, 0);
    while (status == btrieve::StatusOk) {
        const JournalRecord r = JournalRecord::From(record);
        totals.Add(r.day, r.second, r.card, r.client, r.TextLine(), r.personnel);
        length = JournalRecord::kLength;
        status = btrieve.Call(btrieve::OpGetNext, block, record, &length, key, 0);
    }
    if (status != btrieve::StatusEndOfFile) BtrieveClient::Check(status, "read JOUR.SH by key 0");
    length = 0;
    btrieve.Call(btrieve::OpClose, block, record, &length, key, 0);
    return totals;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(bench::SizeArgument(argc, argv, i, 0));
    if (sizes.empty()) sizes = {100000};
    platform::RegisterFieldClasses();
    btrieve::StartBtrieveLibrary(true);
    {
        BtrieveClient btrieve;
        for (const uint32_t records : sizes) {
            bench::ScratchFolder data("scan");
            bench::WriteJournal(data.Path(), records, true);
            const BtrieveAlias alias("SetrixBenchScan" + std::to_string(GetCurrentProcessId()), data.Path());
            auto database = platform::NewUnownedComponent<btrieve::TQbDatabase>();
            database->SetDatabaseName(kDatabaseName);
            database->SetAliasName("SetrixBenchScan" + std::to_string(GetCurrentProcessId()));
            database->OpenConnection();

            Totals product, raw;
            auto expect = [&](const Totals& totals, const char* who) {
                if (totals.records != records)
                    Die(std::string(who) + " read " + std::to_string(totals.records) + " of " +
                        std::to_string(records) + " records");
            };
            bench::Compare(
                "table scan, " + std::to_string(records) + " records",
                [&] { return bench::CostOf([&] { product = ProductScan(); }); },
                [&] { return bench::CostOf([&] { raw = RawScan(btrieve, data.Path() + "JOUR.SH"); }); });
            expect(product, "the table component");
            expect(raw, "the raw scan");
            if (!(product == raw)) Die("the table component read other values than the raw scan");
            database->CloseConnection();
        }
    }
    btrieve::StopBtrieveLibrary();
    return 0;
}
