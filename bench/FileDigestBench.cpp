// The file digests of setrix.dll on one large file: CalcFileMD5, and the CRC through
// GetOrvelVersion with a version list naming the file's CRC. Each against a raw program
// reading the same file in blocks of 1 MiB: the MD5 through the same Windows crypto API, so
// that the figure weighs the export's own reading and handling and not one hash code
// against another; the CRC through the plain table-driven loop, a byte at a time.
//
//   bench_file_digest [MiB]    (default 256)
#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"

namespace {

using bench::Die;

// Blocks of 1 MiB read fastest here: at 4, 16 and 64 MiB the hash no longer finds the block
// in the processor's cache and the raw program grew slower (by up to three times at 64 MiB).
constexpr DWORD kRawBlock = 1u << 20;
constexpr const char* kVersion = "5.3.1.7";

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle OpenFile(const std::string& path, DWORD access, DWORD creation, DWORD flags) {
    HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, creation, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) Die("cannot open " + path);
    return FileHandle(file);
}

// Writes a file of that many MiB of varied bytes.
void WriteFile(const std::string& path, uint32_t mebibytes) {
    const FileHandle file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    const auto block = std::make_unique<uint32_t[]>((1u << 20) / 4);
    uint32_t x = 2463534242u;
    for (uint32_t m = 0; m < mebibytes; ++m) {
        for (uint32_t i = 0; i < (1u << 20) / 4; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            block[i] = x;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), block.get(), 1u << 20, &written, nullptr) || written != 1u << 20)
            Die("cannot write " + path);
    }
}

// Hands the file to `consume` in blocks of kRawBlock bytes.
template <class Consume>
void ReadRaw(const std::string& path, Consume&& consume) {
    const FileHandle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kRawBlock);
    for (DWORD got = 0; ReadFile(file.get(), buffer.get(), kRawBlock, &got, nullptr) && got > 0;)
        consume(buffer.get(), got);
}

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashDestroyer {
    void operator()(BCRYPT_HASH_HANDLE handle) const { BCryptDestroyHash(handle); }
};

std::string RawMD5(const std::string& path) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (BCryptOpenAlgorithmProvider(&opened, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0) Die("no MD5 provider");
    const std::unique_ptr<void, AlgorithmCloser> algorithm(opened);
    BCRYPT_HASH_HANDLE created = nullptr;
    if (BCryptCreateHash(algorithm.get(), &created, nullptr, 0, nullptr, 0, 0) < 0) Die("no MD5 hash");
    const std::unique_ptr<void, HashDestroyer> hash(created);
    ReadRaw(path, [&](unsigned char* data, DWORD length) { BCryptHashData(hash.get(), data, length, 0); });
    unsigned char digest[16];
    BCryptFinishHash(hash.get(), digest, sizeof digest, 0);
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02X", digest[i]);
    return text;
}

struct CrcTable {
    uint32_t entries[256];
    CrcTable() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
    }
};

uint32_t RawCRC(const std::string& path) {
    static const CrcTable table;
    uint32_t crc = 0xFFFFFFFFu;
    ReadRaw(path, [&](const unsigned char* data, DWORD length) {
        for (DWORD i = 0; i < length; ++i) crc = table.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    });
    return ~crc;
}

using TextOf1 = const char*(WINAPI*)(const char*);
using TextOf2 = const char*(WINAPI*)(const char*, const char*);

template <class Fn>
Fn Export(HMODULE module, const char* name) {
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!fn) Die(std::string("setrix.dll has no ") + name);
    return fn;
}

}  // namespace

int main(int argc, char** argv) {
    const uint32_t mebibytes = bench::SizeArgument(argc, argv, 1, 256);
    bench::ScratchFolder folder("digest");
    const std::string file = folder.Path() + "large.bin";
    WriteFile(file, mebibytes);
    HMODULE setrix = LoadLibraryA("setrix.dll");
    if (!setrix) Die("cannot load setrix.dll");
    const auto calcFileMD5 = Export<TextOf1>(setrix, "CalcFileMD5");
    const auto getOrvelVersion = Export<TextOf2>(setrix, "GetOrvelVersion");

    const std::string size = std::to_string(mebibytes) + " MiB";
    std::string expectedMD5;
    bench::Compare(
        "CalcFileMD5, " + size,
        [&] {
            std::string digest;
            const bench::Cost cost = bench::CostOf([&] { digest = calcFileMD5(file.c_str()); });
            if (expectedMD5.empty()) expectedMD5 = RawMD5(file);
            if (digest != expectedMD5) Die("CalcFileMD5 answered " + digest + ", the raw MD5 " + expectedMD5);
            return cost;
        },
        [&] { return bench::CostOf([&] { RawMD5(file); }); });

    const uint32_t crc = RawCRC(file);
    char crcText[9];
    std::snprintf(crcText, sizeof crcText, "%08X", static_cast<unsigned>(crc));
    const std::string list = folder.Path() + "versions.txt";
    {
        FILE* out = std::fopen(list.c_str(), "wb");
        if (!out) Die("cannot write " + list);
        std::fprintf(out, "00000000 - 1.0.0.0\r\n%s - %s\r\n", crcText, kVersion);
        std::fclose(out);
    }
    bench::Compare(
        "CRC through GetOrvelVersion, " + size,
        [&] {
            std::string version;
            const bench::Cost cost = bench::CostOf([&] { version = getOrvelVersion(file.c_str(), list.c_str()); });
            if (version != kVersion) Die("GetOrvelVersion answered " + version + " for CRC " + crcText);
            return cost;
        },
        [&] {
            uint32_t got = 0;
            const bench::Cost cost = bench::CostOf([&] { got = RawCRC(file); });
            if (got != crc) Die("the raw CRC changed between runs");
            return cost;
        });
    FreeLibrary(setrix);
    return 0;
}
