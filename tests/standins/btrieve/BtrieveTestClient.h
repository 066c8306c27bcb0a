// Loads wbtrv32.dll as the product does (LoadLibrary, entry points by name) and wraps one
// open file with its position block, for the record manager's tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "btrieve/engines/BtrieveApi.h"

namespace btrtest {

using Bytes = std::vector<uint8_t>;

class ClientLibrary {
public:
    ClientLibrary() {
        module_ = LoadLibraryA(btrieve::kDefaultClientLibrary);
        if (!module_) return;
        call = reinterpret_cast<btrieve::BtrCallFn>(reinterpret_cast<void*>(GetProcAddress(module_, btrieve::kBtrCallName)));
        callId = reinterpret_cast<btrieve::BtrCallIdFn>(reinterpret_cast<void*>(GetProcAddress(module_, btrieve::kBtrCallIdName)));
        init = reinterpret_cast<btrieve::BtrInitFn>(reinterpret_cast<void*>(GetProcAddress(module_, btrieve::kInitName)));
        stop = reinterpret_cast<btrieve::BtrStopFn>(reinterpret_cast<void*>(GetProcAddress(module_, btrieve::kStopName)));
    }
    ~ClientLibrary() {
        if (module_) FreeLibrary(module_);
    }
    ClientLibrary(const ClientLibrary&) = delete;
    ClientLibrary& operator=(const ClientLibrary&) = delete;

    static ClientLibrary& Get() {
        static ClientLibrary library;
        return library;
    }

    HMODULE module_ = nullptr;
    btrieve::BtrCallFn call = nullptr;
    btrieve::BtrCallIdFn callId = nullptr;
    btrieve::BtrInitFn init = nullptr;
    btrieve::BtrStopFn stop = nullptr;
};

// A key segment of a Create or Create Index buffer.
struct Segment {
    uint16_t position;  // 1-based
    uint16_t length;
    uint8_t type;
    uint16_t flags = 0;
    uint8_t nullValue = 0;
    uint8_t acs = 0;
};

// A Create buffer: keys are lists of segments (the segmented flag is set here).
inline Bytes FileSpec(uint16_t recordLength, const std::vector<std::vector<Segment>>& keys, uint16_t fileFlags = 0,
                      uint16_t pageSize = 4096) {
    Bytes spec(16, 0);
    btrieve::FileSpecHeader header{};
    header.recordLength = recordLength;
    header.pageSize = pageSize;
    header.keyCount = static_cast<uint8_t>(keys.size());
    header.fileFlags = fileFlags;
    std::memcpy(spec.data(), &header, sizeof header);
    for (const auto& key : keys) {
        for (size_t i = 0; i < key.size(); ++i) {
            btrieve::KeySegmentSpec s{};
            s.position = key[i].position;
            s.length = key[i].length;
            s.dataType = key[i].type;
            s.flags = static_cast<uint16_t>(key[i].flags | (i + 1 < key.size() ? btrieve::KeySegmented : 0));
            s.nullValue = key[i].nullValue;
            s.acsNumber = key[i].acs;
            const auto* p = reinterpret_cast<const uint8_t*>(&s);
            spec.insert(spec.end(), p, p + sizeof s);
        }
    }
    return spec;
}

// One open file of one client (default client unless an id is given).
class BtrFile {
public:
    explicit BtrFile(const uint8_t* clientId = nullptr) {
        if (clientId) {
            std::memcpy(clientId_, clientId, sizeof clientId_);
            useId_ = true;
        }
        std::memset(block_, 0, sizeof block_);
        std::memset(key_, 0, sizeof key_);
    }

    int16_t Call(uint16_t op, void* data, uint32_t* length, void* key, int8_t keyNumber, uint8_t keyLength = 255) {
        auto& lib = ClientLibrary::Get();
        if (useId_) return lib.callId(op, block_, data, length, key, keyLength, keyNumber, clientId_);
        return lib.call(op, block_, data, length, key, keyLength, keyNumber);
    }

    int16_t Create(const std::string& path, Bytes spec, int8_t mode = 0) {
        uint32_t length = static_cast<uint32_t>(spec.size());
        SetKeyText(path);
        return Call(btrieve::OpCreate, spec.data(), &length, key_, mode);
    }
    int16_t Open(const std::string& path, int8_t mode = 0, const std::string& owner = "") {
        SetKeyText(path);
        std::string o = owner;
        uint32_t length = o.empty() ? 0 : static_cast<uint32_t>(o.size() + 1);
        return Call(btrieve::OpOpen, o.data(), &length, key_, mode);
    }
    int16_t Close() {
        uint8_t scratch[4] = {};
        uint32_t length = 4;
        return Call(btrieve::OpClose, scratch, &length, key_, 0);
    }
    int16_t Insert(Bytes record, int8_t keyNumber = 0) { return Write(btrieve::OpInsert, std::move(record), keyNumber); }
    int16_t Update(Bytes record, int8_t keyNumber = 0) { return Write(btrieve::OpUpdate, std::move(record), keyNumber); }
    // Insert or Update; the record as the call left it lands in lastRecord.
    int16_t Write(uint16_t op, Bytes record, int8_t keyNumber) {
        uint32_t length = static_cast<uint32_t>(record.size());
        lastRecord = std::move(record);
        int16_t status = Call(op, lastRecord.data(), &length, key_, keyNumber);
        lastLength = length;
        return status;
    }
    int16_t Delete(int8_t keyNumber = 0) {
        uint32_t length = 1234;
        int16_t status = Call(btrieve::OpDelete, nullptr, &length, key_, keyNumber);
        lastLength = length;
        return status;
    }
    // Reads into a buffer of bufferSize; the record lands in lastRecord (cut to the length).
    int16_t Get(uint16_t op, int8_t keyNumber, const Bytes& keyValue = {}, uint32_t bufferSize = 4096) {
        if (!keyValue.empty()) std::memcpy(key_, keyValue.data(), keyValue.size());
        lastRecord.assign(bufferSize, 0xEE);
        uint32_t length = bufferSize;
        int16_t status = Call(op, lastRecord.data(), &length, key_, keyNumber);
        lastLength = length;
        if (status == 0 || status == btrieve::StatusDataBufferTooShort) lastRecord.resize(length);
        return status;
    }
    int16_t GetPosition(uint32_t& position) {
        uint32_t length = 4;
        return Call(btrieve::OpGetPosition, &position, &length, key_, 0);
    }
    int16_t GetDirect(uint32_t position, int8_t keyNumber, uint16_t bias = 0) {
        lastRecord.assign(4096, 0);
        std::memcpy(lastRecord.data(), &position, 4);
        uint32_t length = 4096;
        int16_t status = Call(btrieve::OpGetDirect + bias, lastRecord.data(), &length, key_, keyNumber);
        if (status == 0) lastRecord.resize(length);
        return status;
    }
    int16_t Stat(Bytes& out, uint32_t size = btrieve::kStatBufferSize) {
        out.assign(size, 0);
        uint32_t length = size;
        int16_t status = Call(btrieve::OpStat, out.data(), &length, key_, -1);
        lastLength = length;
        return status;
    }
    int16_t Simple(uint16_t op, int8_t keyNumber = 0) {
        uint32_t length = 0;
        return Call(op, nullptr, &length, key_, keyNumber);
    }

    void SetKeyText(const std::string& text) {
        std::memset(key_, 0, sizeof key_);
        std::memcpy(key_, text.c_str(), std::min<size_t>(text.size(), 255));
    }
    const uint8_t* Key() const { return key_; }

    Bytes lastRecord;
    uint32_t lastLength = 0;

private:
    uint8_t block_[btrieve::kPositionBlockSize];
    uint8_t key_[btrieve::kKeyBufferSize];
    uint8_t clientId_[btrieve::kClientIdSize] = {};
    bool useId_ = false;
};

// A fresh directory for one test's files.
inline std::string TempDirectory(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    std::string dir = std::string(base) + "wbtrv-" + name + "-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}

}  // namespace btrtest
