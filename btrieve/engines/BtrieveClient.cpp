#include "btrieve/engines/BtrieveClient.h"

#include "platform/SysUtils.h"

namespace btrieve {

namespace {

constexpr int16_t kRequesterInactive = 20;

struct TClientBinding {
    HMODULE module = nullptr;
    BtrCallFn call = nullptr;
    BtrCallIdFn callId = nullptr;
    BtrInitFn init = nullptr;
    BtrStopFn stop = nullptr;
};

TClientBinding& Binding() {
    static TClientBinding binding;
    return binding;
}

DWORD& MainThreadId() {
    static DWORD id = GetCurrentThreadId();
    return id;
}

template <class Fn>
Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int16_t InitBtrieveClient(const char* options, const char* libraryName) {
    TClientBinding& b = Binding();
    if (!b.module) {
        const char* name = libraryName && *libraryName ? libraryName : kDefaultClientLibrary;
        b.module = LoadLibraryA(name);
        if (b.module) {
            b.call = Bind<BtrCallFn>(b.module, kBtrCallName);
            b.callId = Bind<BtrCallIdFn>(b.module, kBtrCallIdName);
            b.init = Bind<BtrInitFn>(b.module, kInitName);
            b.stop = Bind<BtrStopFn>(b.module, kStopName);
        }
    }
    if (!b.module) return kRequesterInactive;
    // A library without the entry point cannot be initialised: inactive, not a crash.
    if (!b.init) return kRequesterInactive;
    platform::AnsiString text(options ? options : "");
    return b.init(text.data());
}

int16_t DoneBtrieveClient() {
    TClientBinding& b = Binding();
    int16_t status = 0;
    if (b.module) {
        if (b.stop) status = b.stop();
        FreeLibrary(b.module);
    }
    b = TClientBinding{};
    return status;
}

bool BtrieveClientLoaded() { return Binding().module != nullptr; }

int16_t CallBtrieve(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                    void* keyBuffer, uint8_t keyLength, int8_t keyNumber, const uint8_t* clientId) {
    const TClientBinding& b = Binding();
    if (clientId) {
        if (!b.callId) return kRequesterInactive;
        return b.callId(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber,
                        const_cast<uint8_t*>(clientId));
    }
    if (!b.call) return kRequesterInactive;
    return b.call(operation, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
}

void SetBtrieveMainThread(DWORD threadId) { MainThreadId() = threadId; }

bool OnBtrieveMainThread() { return GetCurrentThreadId() == MainThreadId(); }

}  // namespace btrieve
