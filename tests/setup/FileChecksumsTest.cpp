// The checksums of the version exports read a file block by block into one CRC and one
// MD5 digest: whatever the block size, the result is that of the whole file, at the block
// boundaries and around them. The block size is the checksums' own parameter, made small here.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "SetrixLibrary.h"
#include "setup/Crc32.h"
#include "setup/Md5Digest.h"

namespace {

// The CRC bit by bit, as the polynomial defines it.
uint32_t BitwiseCrc(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// Bytes that repeat no short pattern.
std::string Pseudorandom(size_t length) {
    std::string bytes(length, '\0');
    uint32_t x = 0x2545F491u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

class FileChecksums : public ::testing::Test {
protected:
    void TearDown() override { RemoveTree(dir); }
    std::string Write(const std::string& name, const std::string& bytes) {
        WriteFileBytes(dir + name, bytes);
        return dir + name;
    }
    std::string dir = TempDirectory();
};

TEST_F(FileChecksums, TheTableUpdateAgreesWithTheBitwiseCrcAtEveryLengthAndAlignment) {
    const std::string bytes = Pseudorandom(100);
    for (size_t start = 0; start < 16; ++start)
        for (size_t length = 0; start + length <= bytes.size(); ++length) {
            const std::string part = bytes.substr(start, length);
            ASSERT_EQ(~setrix::UpdateCRC32(0xFFFFFFFFu, part.data(), part.size()), BitwiseCrc(part))
                << "start " << start << " length " << length;
        }
}

TEST_F(FileChecksums, AFileGivesTheSameChecksumsWhateverItsBlockSize) {
    const struct {
        std::string bytes;
        uint32_t crc;
        const char* md5;
    } files[] = {
        {"", 0x00000000u, "D41D8CD98F00B204E9800998ECF8427E"},
        {"123456789", 0xCBF43926u, "25F9E794323B453885F5181F1B624D0B"},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u, "9E107D9D372BB6826BD81D3542A419D6"},
        // Longer than one MD5 block (64 bytes) and one CRC step (16 bytes), neither a multiple.
        {Pseudorandom(1000), BitwiseCrc(Pseudorandom(1000)), nullptr},
    };
    for (const auto& f : files) {
        const std::string path = Write("file", f.bytes);
        const std::string whole = setrix::FileMD5Hex(path, f.bytes.size() + 1);
        if (f.md5) EXPECT_EQ(whole, f.md5);
        const size_t n = f.bytes.size();
        for (size_t block : {size_t{1}, size_t{3}, size_t{16}, size_t{63}, size_t{64}, size_t{65}, n > 1 ? n - 1 : 1,
                             n > 0 ? n : 1, n + 1, setrix::ChecksumBlockSize}) {
            SCOPED_TRACE("length " + std::to_string(n) + " block " + std::to_string(block));
            uint32_t crc = 0x12345678u;
            ASSERT_TRUE(setrix::CalcFileCRC32(path, crc, block));
            EXPECT_EQ(crc, f.crc);
            EXPECT_EQ(setrix::FileMD5Hex(path, block), whole);
        }
    }
}

TEST_F(FileChecksums, AFileThatCannotBeReadHasNoChecksum) {
    uint32_t crc = 0;
    for (const std::string& path : {dir + "missing", dir, dir + std::string(400, 'x')}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(setrix::CalcFileCRC32(path, crc, 4));
        EXPECT_EQ(setrix::FileCRC32Hex(path), "");
        EXPECT_EQ(setrix::FileMD5Hex(path, 4), "");
    }
}

}  // namespace
