// TConversionFunctions: the outside field-conversion library ("quillonc32.dll", else
// "s2dtconv.dll") that reads and writes the date, time and number formats of other
// products (extended field types 228-254). Loaded on first use, one per process, freed
// when the engine unit stops. Without it those formats fail to convert.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/SysUtils.h"

namespace btrieve {

class TConversionFunctions {
public:
    // Get_X(source, 8-byte destination) and Set_X(destination, low, high).
    using GetFn = int16_t(WINAPI*)(const void* source, void* destination);
    using SetFn = int16_t(WINAPI*)(void* destination, uint32_t low, uint32_t high);
    using GetMagicDateFn = int16_t(WINAPI*)(const void* source, void* destination, int32_t dayBase);
    using SetMagicDateFn = int16_t(WINAPI*)(void* destination, uint32_t low, uint32_t high, int32_t dayBase);
    using GetMagicNumFn = int16_t(WINAPI*)(const void* source, int32_t length, void* destination);
    using SetMagicNumFn = int16_t(WINAPI*)(void* destination, int32_t length, uint32_t low, uint32_t high);
    using GetNumFn = int16_t(WINAPI*)(const void* source, int32_t length, int32_t decimals, void* destination);
    using SetNumFn = int16_t(WINAPI*)(void* destination, int32_t length, int32_t decimals, uint32_t low,
                                      uint32_t high);
    using GetBinaryFn = int16_t(WINAPI*)(const void* source, int32_t length, int32_t decimals, void* destination,
                                         int32_t a, int32_t b);
    using SetBinaryFn = int16_t(WINAPI*)(void* destination, int32_t length, int32_t decimals, uint32_t low,
                                         uint32_t high, int32_t a, int32_t b);

    TConversionFunctions();
    ~TConversionFunctions();
    TConversionFunctions(const TConversionFunctions&) = delete;
    TConversionFunctions& operator=(const TConversionFunctions&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    // Names of the entry points the loaded library lacks (reported, never called).
    const platform::AnsiString& MissingEntries() const { return missing_; }

    GetFn GetLongYMD = nullptr;
    SetFn SetLongDate = nullptr;
    GetBinaryFn GetBinary = nullptr;
    SetBinaryFn SetBinary = nullptr;
    GetMagicDateFn GetMagicDate = nullptr;
    SetMagicDateFn SetMagicDate = nullptr;
    GetFn GetCtime = nullptr;
    SetFn SetCtime = nullptr;
    GetMagicNumFn GetMagicNum100 = nullptr;
    SetMagicNumFn SetMagicNum100 = nullptr;
    GetFn GetTasProTime = nullptr;
    SetFn SetTasProTime = nullptr;
    GetNumFn GetTasProNum = nullptr;
    SetNumFn SetTasProNum = nullptr;
    GetFn GetMagicTime = nullptr;
    SetFn SetMagicTime = nullptr;
    GetFn GetYMD = nullptr;
    SetFn SetYMD = nullptr;
    GetFn GetYYMMDD = nullptr;
    SetFn SetYYMMDD = nullptr;
    GetFn GetYYYYMMDD = nullptr;
    SetFn SetYYYYMMDD = nullptr;
    GetFn GetTasProDate = nullptr;
    SetFn SetTasProDate = nullptr;
    GetNumFn GetUDecimal = nullptr;
    SetNumFn SetUDecimal = nullptr;
    GetFn GetVBCurrency = nullptr;
    SetFn SetVBCurrency = nullptr;
    GetFn GetBtrieveDate = nullptr;
    SetFn SetBtrieveDate = nullptr;
    GetFn GetBtrieveTime = nullptr;
    SetFn SetBtrieveTime = nullptr;

private:
    template <class Fn>
    void Bind(Fn& entry, const char* name);

    HMODULE module_ = nullptr;
    platform::AnsiString fileName_;
    platform::AnsiString missing_;
};

// The process's conversion library object, made on first use.
TConversionFunctions& GetConversionFunctions();
// Frees the library object (engine unit stop).
void FreeConversionFunctions();

}  // namespace btrieve
