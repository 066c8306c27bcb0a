// A Btrieve client library for the tests of failure paths: it passes every call on to the
// record manager ("wbtrv32.dll") and answers an operation the test armed with the status
// the test chose, once, after the record manager has carried it out.
#include <windows.h>

#include <cstdint>
#include <map>

#include "btrieve/engines/BtrieveApi.h"

namespace {

struct TRecordManager {
    HMODULE module = nullptr;
    btrieve::BtrCallFn call = nullptr;
    btrieve::BtrCallIdFn callId = nullptr;
    btrieve::BtrInitFn init = nullptr;
    btrieve::BtrStopFn stop = nullptr;
};

TRecordManager& Manager() {
    static TRecordManager manager;
    return manager;
}

std::map<uint16_t, int16_t>& Armed() {
    static std::map<uint16_t, int16_t> armed;
    return armed;
}

template <class Fn>
Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

int16_t Answer(uint16_t operation, int16_t status) {
    const auto armed = Armed().find(operation);
    if (armed == Armed().end()) return status;
    const int16_t chosen = armed->second;
    Armed().erase(armed);
    return chosen;
}

}  // namespace

extern "C" {

// The next call of the operation answers the status (0 disarms nothing: it answers 0).
void WINAPI ArmFailure(uint16_t operation, int16_t status) { Armed()[operation] = status; }

int16_t WINAPI FaultyInit(char* options) {
    TRecordManager& m = Manager();
    if (!m.module) {
        m.module = LoadLibraryA(btrieve::kDefaultClientLibrary);
        if (!m.module) return 20;
        m.call = Bind<btrieve::BtrCallFn>(m.module, btrieve::kBtrCallName);
        m.callId = Bind<btrieve::BtrCallIdFn>(m.module, btrieve::kBtrCallIdName);
        m.init = Bind<btrieve::BtrInitFn>(m.module, btrieve::kInitName);
        m.stop = Bind<btrieve::BtrStopFn>(m.module, btrieve::kStopName);
    }
    Armed().clear();
    return m.init ? m.init(options) : 20;
}

int16_t WINAPI FaultyStop() {
    TRecordManager& m = Manager();
    const int16_t status = m.stop ? m.stop() : 0;
    if (m.module) FreeLibrary(m.module);
    m = TRecordManager{};
    Armed().clear();
    return status;
}

int16_t WINAPI FaultyCall(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                          void* keyBuffer, uint8_t keyLength, int8_t keyNumber) {
    if (!Manager().call) return 20;
    return Answer(operation,
                  Manager().call(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber));
}

int16_t WINAPI FaultyCallId(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                            void* keyBuffer, uint8_t keyLength, int8_t keyNumber, uint8_t* clientId) {
    if (!Manager().callId) return 20;
    return Answer(operation, Manager().callId(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength,
                                              keyNumber, clientId));
}

}  // extern "C"
