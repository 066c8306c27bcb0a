// What the benchmarks share: stopping with a message, timing, the record manager's entry
// point, a scratch folder, the stand-in Oracle server and client, and the one line each
// benchmark prints: the product's wall and CPU time, the raw floor's measured in the same
// run, and their ratios (raw / product: 1.0 means no overhead). The CPU time is the whole
// process's (user and system, every thread) over the measured call: the wall time swings
// with the machine's load and I/O, the CPU time much less. Under Wine the CPU time counts
// in ticks of 10 ms, so a work of a few tenths of a second is measured in several rounds.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "btrieve/engines/BtrieveApi.h"

namespace bench {

[[noreturn]] void Die(const std::string& why);

// Seconds since construction.
class Stopwatch {
public:
    double Seconds() const;

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// User and system time of every thread of this process so far, in seconds (under Wine in
// steps of 10 ms).
double ProcessCpuSeconds();

// What one run of the work cost: wall time and the process's CPU time.
struct Cost {
    double wall = 0;
    double cpu = 0;
    Cost& operator+=(const Cost& other) {
        wall += other.wall;
        cpu += other.cpu;
        return *this;
    }
    Cost MeanOf(int runs) const { return {wall / runs, cpu / runs}; }
};

// Times one run of the work.
template <class Work>
Cost CostOf(Work&& work) {
    const double cpuBefore = ProcessCpuSeconds();
    Stopwatch watch;
    work();
    Cost cost;
    cost.wall = watch.Seconds();
    cost.cpu = ProcessCpuSeconds() - cpuBefore;
    return cost;
}

// "<what>: product 1.234 s (cpu 1.100 s), raw 0.617 s (cpu 0.550 s), ratio 0.50, cpu ratio 0.50"
void Report(const std::string& what, const Cost& product, const Cost& raw);

// Runs the product's work and the raw floor's twice each per round, in the order product,
// raw, raw, product, so that a machine growing busier or quieter meanwhile weighs on both
// alike, and reports the mean costs over all rounds. Each run answers the cost of its own
// work (CostOf).
template <class Product, class Raw>
void Compare(const std::string& what, Product&& product, Raw&& raw, int rounds = 1) {
    Cost productCost, rawCost;
    for (int round = 0; round < rounds; ++round) {
        productCost += product();
        rawCost += raw();
        rawCost += raw();
        productCost += product();
    }
    Report(what, productCost.MeanOf(2 * rounds), rawCost.MeanOf(2 * rounds));
}

// The size a benchmark works on: the first argument, else its default.
uint32_t SizeArgument(int argc, char** argv, int index, uint32_t fallback);

// The record manager (wbtrv32.dll) called as a program calls it.
class BtrieveClient {
public:
    BtrieveClient();
    ~BtrieveClient();
    BtrieveClient(const BtrieveClient&) = delete;
    BtrieveClient& operator=(const BtrieveClient&) = delete;

    int16_t Call(uint16_t op, void* block, void* data, uint32_t* length, void* key, int8_t keyNumber) const {
        return call_(op, block, data, length, key, btrieve::kMaxKeyLength, keyNumber);
    }
    // Dies unless the status is 0.
    static void Check(int16_t status, const char* what);

private:
    HMODULE module_;
    btrieve::BtrCallFn call_ = nullptr;
};

// A fresh folder under the temporary directory (with a trailing backslash), removed with
// what it holds when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The folder of the running program (with a trailing backslash): the deliverables, the
// stand-in DLLs and the fixture descriptions lie there.
std::string ProgramFolder();

// The stand-in Oracle server that scripts/bench (or the test fixture) started: its
// tnsnames.ora folder is named by SETRIX_ORACLE_STANDIN and becomes TNS_ADMIN. Answers the
// server name to log on to; dies without a server.
std::string StandinServer();

// The stand-in oci.dll registered as the machine's Oracle client (HKLM\SOFTWARE\ORACLE,
// OCIDLL) while the object lives, as the product finds a client; the value found before
// is put back.
class OracleClientRegistration {
public:
    OracleClientRegistration();
    ~OracleClientRegistration();
    OracleClientRegistration(const OracleClientRegistration&) = delete;
    OracleClientRegistration& operator=(const OracleClientRegistration&) = delete;

private:
    bool hadValue_ = false;
    std::string previous_;
};

}  // namespace bench
