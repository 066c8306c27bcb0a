#include "standins/btrieve/LogFile.h"

#include <cstring>

#include "btrieve/engines/BtrieveApi.h"

namespace wbtrv {

using namespace btrieve;

namespace {

constexpr char kFileMagic[8] = {'S', 'T', 'X', 'R', 'E', 'C', 'F', '1'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kFrameMagic = 0x314D5246;  // "FRM1"
constexpr uint32_t kFrameHeaderSize = 12;
constexpr uint32_t kMaxFrame = 1u << 30;

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t crc = 0) {
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t ReadU32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

OVERLAPPED At(uint64_t offset) {
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return ov;
}

bool ReadAt(HANDLE file, uint64_t offset, uint8_t* buffer, DWORD length) {
    OVERLAPPED ov = At(offset);
    DWORD done = 0;
    return ReadFile(file, buffer, length, &done, &ov) && done == length;
}

bool WriteAt(HANDLE file, uint64_t offset, const uint8_t* buffer, DWORD length) {
    OVERLAPPED ov = At(offset);
    DWORD done = 0;
    return WriteFile(file, buffer, length, &done, &ov) && done == length;
}

Bytes Frame(const Bytes& payload) {
    Bytes frame(kFrameHeaderSize + payload.size());
    WriteU32(frame.data(), kFrameMagic);
    WriteU32(frame.data() + 4, static_cast<uint32_t>(payload.size()));
    if (!payload.empty()) std::memcpy(frame.data() + kFrameHeaderSize, payload.data(), payload.size());
    WriteU32(frame.data() + 8, Crc32(frame.data() + kFrameHeaderSize, payload.size(), Crc32(frame.data() + 4, 4)));
    return frame;
}

int16_t WriteStatus() { return GetLastError() == ERROR_DISK_FULL ? StatusDiskFull : StatusIoError; }

}  // namespace

void ChangeBatch::PutU32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ChangeBatch::AddDefinition(const Bytes& definition) {
    bytes_.push_back(Definition);
    PutU32(0);
    PutU32(static_cast<uint32_t>(definition.size()));
    bytes_.insert(bytes_.end(), definition.begin(), definition.end());
}

void ChangeBatch::AddPut(uint32_t position, const Bytes& data) {
    bytes_.push_back(PutRecord);
    PutU32(position);
    PutU32(static_cast<uint32_t>(data.size()));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
}

void ChangeBatch::AddOwner(const std::string& owner, uint8_t accessMode) {
    bytes_.push_back(Owner);
    PutU32(accessMode);
    PutU32(static_cast<uint32_t>(owner.size()));
    bytes_.insert(bytes_.end(), owner.begin(), owner.end());
}

void ChangeBatch::AddDelete(uint32_t position) {
    bytes_.push_back(DeleteRecord);
    PutU32(position);
    PutU32(0);
}

bool ChangeBatch::ForEach(const Bytes& payload, const std::function<void(const Item&)>& visit) {
    size_t at = 0;
    while (at < payload.size()) {
        if (payload.size() - at < 9) return false;
        Item item{static_cast<Kind>(payload[at]), ReadU32(&payload[at + 1]), nullptr, ReadU32(&payload[at + 5])};
        at += 9;
        if (item.kind != Definition && item.kind != PutRecord && item.kind != DeleteRecord && item.kind != Owner)
            return false;
        if (payload.size() - at < item.length) return false;
        item.data = payload.data() + at;
        at += item.length;
        visit(item);
    }
    return true;
}

int16_t LogFile::Create(const std::string& path, const Bytes& definition) {
    const std::string temporary = path + ".new~";
    {
        platform::THandleOwner file(CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return StatusCreateIoError;
        uint8_t header[kHeaderSize] = {};
        std::memcpy(header, kFileMagic, sizeof kFileMagic);
        WriteU32(header + 8, kFormatVersion);
        ChangeBatch batch;
        batch.AddDefinition(definition);
        Bytes frame = Frame(batch.Data());
        bool ok = WriteAt(file.Get(), 0, header, kHeaderSize) &&
                  WriteAt(file.Get(), kHeaderSize, frame.data(), static_cast<DWORD>(frame.size())) &&
                  FlushFileBuffers(file.Get());
        if (!ok) {
            int16_t status = GetLastError() == ERROR_DISK_FULL ? StatusDiskFull : StatusCreateIoError;
            file.Reset();
            DeleteFileA(temporary.c_str());
            return status;
        }
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return StatusCreateIoError;
    }
    return StatusOk;
}

int16_t LogFile::Open(const std::string& path) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    file_.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    writable_ = file_.Valid();
    if (!writable_)
        file_.Reset(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.Valid()) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
                   ? StatusFileNotFound
                   : StatusIoError;
    }
    uint8_t header[kHeaderSize];
    if (!ReadAt(file_.Get(), 0, header, kHeaderSize) || std::memcmp(header, kFileMagic, sizeof kFileMagic) != 0 ||
        ReadU32(header + 8) != kFormatVersion)
        return StatusNotOurFile;
    validEnd_ = kHeaderSize;
    return StatusOk;
}

int16_t LogFile::CatchUp(const std::function<void(const Bytes& payload)>& apply) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.Get(), &size)) return StatusIoError;
    const uint64_t end = static_cast<uint64_t>(size.QuadPart);
    while (validEnd_ + kFrameHeaderSize <= end) {
        uint8_t header[kFrameHeaderSize];
        if (!ReadAt(file_.Get(), validEnd_, header, kFrameHeaderSize)) return StatusIoError;
        const uint32_t length = ReadU32(header + 4);
        // A frame that is not whole yet (or was torn by a crash) ends what can be read.
        if (ReadU32(header) != kFrameMagic || length > kMaxFrame || validEnd_ + kFrameHeaderSize + length > end)
            break;
        Bytes payload(length);
        if (length && !ReadAt(file_.Get(), validEnd_ + kFrameHeaderSize, payload.data(), length)) return StatusIoError;
        if (Crc32(payload.data(), length, Crc32(header + 4, 4)) != ReadU32(header + 8)) {
            // Only the last write can be torn; a bad frame with more after it is damage.
            damaged_ = validEnd_ + kFrameHeaderSize + length < end;
            break;
        }
        apply(payload);
        validEnd_ += kFrameHeaderSize + length;
    }
    return StatusOk;
}

int16_t LogFile::Append(const Bytes& payload) {
    if (!writable_) return StatusAccessDenied;
    if (damaged_) return StatusIoError;
    Bytes frame = Frame(payload);
    // Whatever lies after the last whole frame is the remains of a torn write: cut it off.
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.Get(), &size)) return StatusIoError;
    if (static_cast<uint64_t>(size.QuadPart) > validEnd_) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(validEnd_);
        if (!SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.Get())) return StatusIoError;
    }
    if (!WriteAt(file_.Get(), validEnd_, frame.data(), static_cast<DWORD>(frame.size())) ||
        !FlushFileBuffers(file_.Get())) {
        int16_t status = WriteStatus();
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(validEnd_);
        if (SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN)) SetEndOfFile(file_.Get());
        return status;
    }
    validEnd_ += frame.size();
    return StatusOk;
}

bool LogFile::TryLock(uint64_t offset, bool exclusive) {
    OVERLAPPED ov = At(offset);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file_.Get(), flags, 0, 1, 0, &ov);
}

void LogFile::Unlock(uint64_t offset) {
    OVERLAPPED ov = At(offset);
    UnlockFileEx(file_.Get(), 0, 1, 0, &ov);
}

bool LogFile::LockWriter() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (TryLock(kWriterRegion, true)) return true;
        Sleep(5);
    }
    return false;
}

}  // namespace wbtrv
