// Records per second of our record manager (wbtrv32.dll) over one file of N records:
// a raw step-next loop and a get-next-by-key loop. The step loop is the ceiling that the
// Btrieve engine's own benchmarks are measured against; printed: both rates and the ratio
// get-next / step-next.
//
//   bench_btrieve_record_manager [records]    (default 100000)
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "btrieve/engines/BtrieveApi.h"

namespace {

using namespace btrieve;
using bench::BtrieveClient;

constexpr uint16_t kRecordLength = 64;

void Check(int16_t status, const char* what) { BtrieveClient::Check(status, what); }

std::string BenchFile() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "setrix_bench_" + std::to_string(GetCurrentProcessId()) + ".btr";
}

// A file of fixed 64-byte records with one unique 4-byte integer key at offset 1.
void CreateFile(BtrieveClient& client, const std::string& path) {
    std::vector<uint8_t> spec(sizeof(FileSpecHeader) + sizeof(KeySegmentSpec), 0);
    FileSpecHeader header{};
    header.recordLength = kRecordLength;
    header.pageSize = 4096;
    header.keyCount = 1;
    KeySegmentSpec key{};
    key.position = 1;
    key.length = 4;
    key.dataType = TypeInteger;
    std::memcpy(spec.data(), &header, sizeof header);
    std::memcpy(spec.data() + sizeof header, &key, sizeof key);
    uint8_t block[kPositionBlockSize] = {};
    char name[kKeyBufferSize] = {};
    std::strncpy(name, path.c_str(), sizeof name - 1);
    uint32_t length = static_cast<uint32_t>(spec.size());
    Check(client.Call(OpCreate, block, spec.data(), &length, name, 0), "create");
}

template <class Loop>
double RecordsPerSecond(uint32_t expected, Loop&& loop) {
    const auto start = std::chrono::steady_clock::now();
    const uint32_t seen = loop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seen != expected) bench::Die("read " + std::to_string(seen) + " of " + std::to_string(expected) + " records");
    return seen / (seconds > 0 ? seconds : 1e-9);
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t records = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 100000;
    BtrieveClient client;
    const std::string path = BenchFile();
    CreateFile(client, path);

    uint8_t block[kPositionBlockSize] = {};
    char key[kKeyBufferSize] = {};
    std::strncpy(key, path.c_str(), sizeof key - 1);
    uint8_t record[kRecordLength] = {};
    uint32_t length = 0;
    Check(client.Call(OpOpen, block, record, &length, key, 0), "open");

    // Keys inserted in a scrambled order, so that key order and physical order differ.
    uint8_t none[kRecordLength] = {};
    length = 0;
    Check(client.Call(OpBeginTransaction, block, none, &length, none, 0), "begin");
    for (uint32_t i = 0; i < records; ++i) {
        const int32_t value = static_cast<int32_t>((i * 7919u) % records);
        std::memset(record, 'x', sizeof record);
        std::memcpy(record, &value, sizeof value);
        length = kRecordLength;
        Check(client.Call(OpInsert, block, record, &length, key, 0), "insert");
    }
    length = 0;
    Check(client.Call(OpEndTransaction, block, none, &length, none, 0), "end");

    auto loop = [&](uint16_t first, uint16_t next) {
        uint32_t seen = 0;
        length = kRecordLength;
        int16_t status = client.Call(first, block, record, &length, key, 0);
        while (status == StatusOk) {
            ++seen;
            length = kRecordLength;
            status = client.Call(next, block, record, &length, key, 0);
        }
        if (status != StatusEndOfFile) Check(status, "read");
        return seen;
    };
    const double step = RecordsPerSecond(records, [&] { return loop(OpStepFirst, OpStepNext); });
    const double byKey = RecordsPerSecond(records, [&] { return loop(OpGetFirst, OpGetNext); });

    length = 0;
    client.Call(OpClose, block, none, &length, key, 0);
    DeleteFileA(path.c_str());

    std::printf("records: %u\n", records);
    std::printf("step-next: %.0f records/s\n", step);
    std::printf("get-next by key: %.0f records/s\n", byKey);
    std::printf("ratio get-next/step-next: %.3f\n", byKey / step);
    return 0;
}
