// The binding of the Btrieve client library: loaded at run time on the process's main
// thread, its four entry points bound by name, initialised and stopped by the engine
// session. One binding per process; every Btrieve call of the engine goes through it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "btrieve/engines/BtrieveApi.h"

namespace btrieve {

// Loads the library (the name, or "wbtrv32.dll" when none) when it is not loaded yet and
// initialises the requester with the option text; 20 when the library cannot be loaded.
int16_t InitBtrieveClient(const char* options, const char* libraryName);
// Stops the requester and frees the library; 0 when nothing was loaded.
int16_t DoneBtrieveClient();
bool BtrieveClientLoaded();

// One client call; through the entry point with the client identifier when one is given.
// Without a loaded client (or the entry point) the requester counts as inactive (20).
int16_t CallBtrieve(uint16_t operation, void* positionBlock, void* dataBuffer, uint32_t* dataLength,
                    void* keyBuffer, uint8_t keyLength, int8_t keyNumber, const uint8_t* clientId);

// The thread that started the engine unit: only it loads and unloads the client.
void SetBtrieveMainThread(DWORD threadId);
bool OnBtrieveMainThread();

}  // namespace btrieve
