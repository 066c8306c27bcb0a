// Entry points of our record manager DLL, bound by name by the Btrieve engine.
#include <windows.h>

#include <mutex>

#include "btrieve/engines/BtrieveApi.h"
#include "standins/btrieve/RecordManager.h"

namespace {

std::mutex& CallLock() {
    static std::mutex lock;
    return lock;
}

wbtrv::RecordManager& Manager() {
    static wbtrv::RecordManager manager;
    return manager;
}

int16_t Run(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength, void* keyBuffer,
            uint8_t keyLength, int8_t keyNumber, const wbtrv::ClientKey& client) {
    wbtrv::CallArgs args{operation,
                         static_cast<uint8_t*>(positionBlock),
                         static_cast<uint8_t*>(dataBuffer),
                         dataLength,
                         static_cast<uint8_t*>(keyBuffer),
                         keyLength,
                         keyNumber};
    std::lock_guard<std::mutex> guard(CallLock());
    try {
        return Manager().Call(args, client);
    } catch (const std::bad_alloc&) {
        return btrieve::StatusDiskFull;
    } catch (...) {
        return btrieve::StatusIoError;
    }
}

}  // namespace

extern "C" {

__declspec(dllexport) int16_t WINAPI BTRCALL(uint16_t operation, void* positionBlock, void* dataBuffer,
                                             uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                             int8_t keyNumber) {
    return Run(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber,
               wbtrv::DefaultClient());
}

__declspec(dllexport) int16_t WINAPI BTRCALLID(uint16_t operation, void* positionBlock, void* dataBuffer,
                                               uint32_t* dataLength, void* keyBuffer, uint8_t keyLength,
                                               int8_t keyNumber, uint8_t* clientId) {
    if (!clientId) return btrieve::StatusInvalidOperation;
    return Run(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber,
               wbtrv::ClientFromId(clientId));
}

__declspec(dllexport) int16_t WINAPI WBTRVINIT(char* /*options*/) {
    std::lock_guard<std::mutex> guard(CallLock());
    return Manager().Init();
}

__declspec(dllexport) int16_t WINAPI WBTRVSTOP() {
    std::lock_guard<std::mutex> guard(CallLock());
    return Manager().StopAll();
}

}  // extern "C"
