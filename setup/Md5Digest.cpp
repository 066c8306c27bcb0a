#include "setup/Md5Digest.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

namespace setrix {

namespace {

using platform::AnsiString;

void Check(NTSTATUS status, const char* step) {
    if (status < 0) throw platform::Exception(AnsiString("MD5: ") + step + " failed");
}

// The MD5 algorithm of the provider, closed when done.
class TMd5Algorithm {
public:
    TMd5Algorithm() { Check(BCryptOpenAlgorithmProvider(&handle_, BCRYPT_MD5_ALGORITHM, nullptr, 0), "open"); }
    ~TMd5Algorithm() { BCryptCloseAlgorithmProvider(handle_, 0); }
    TMd5Algorithm(const TMd5Algorithm&) = delete;
    TMd5Algorithm& operator=(const TMd5Algorithm&) = delete;
    BCRYPT_ALG_HANDLE Get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// One hash computation of the provider, destroyed when done.
class TMd5Hash {
public:
    explicit TMd5Hash(const TMd5Algorithm& algorithm) {
        Check(BCryptCreateHash(algorithm.Get(), &handle_, nullptr, 0, nullptr, 0, 0), "create");
    }
    ~TMd5Hash() { BCryptDestroyHash(handle_); }
    TMd5Hash(const TMd5Hash&) = delete;
    TMd5Hash& operator=(const TMd5Hash&) = delete;

    // Blocks come from ReadFileInBlocks, which never hands more than a ULONG counts.
    void Update(const unsigned char* data, size_t length) {
        Check(BCryptHashData(handle_, const_cast<PUCHAR>(data), static_cast<ULONG>(length), 0), "hash");
    }
    AnsiString HexDigest() {
        unsigned char digest[16];
        Check(BCryptFinishHash(handle_, digest, sizeof digest, 0), "finish");
        AnsiString text;
        for (unsigned char b : digest) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", b);
            text += two;
        }
        return text;
    }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

AnsiString FileMD5Hex(const AnsiString& path, size_t blockSize) {
    TMd5Algorithm algorithm;
    TMd5Hash hash(algorithm);
    if (!ReadFileInBlocks(path, blockSize, [&](const unsigned char* data, size_t length) { hash.Update(data, length); }))
        return AnsiString();
    return hash.HexDigest();
}

}  // namespace setrix
