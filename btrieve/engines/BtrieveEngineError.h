// EBtrieveEngineError: the engine exception that carries a Btrieve status, the map from
// statuses to the library's result codes and the status texts. Raised by the Btrieve file
// object and everything above it in the Btrieve engine.
#pragma once

#include <cstdint>

#include "btrieve/base/EngineErrors.h"

namespace btrieve {

// Result code of a Btrieve status (an unknown status stays the code unchanged).
uint16_t MapBtrieveStatus(int32_t status);
// The English text of a status, empty when it has none.
AnsiString BtrieveStatusText(int32_t status);

class EBtrieveEngineError : public EQuillonEngineError {
public:
    static constexpr size_t kKeyTextSize = 256;

    explicit EBtrieveEngineError(int32_t status);
    EBtrieveEngineError(int32_t status, const AnsiString& keyText);

    int32_t Status() const noexcept { return NativeCode(); }
    AnsiString KeyText() const { return AnsiString(keyText_, keyLength_); }
    uint8_t KeyLength() const noexcept { return keyLength_; }

    // "Btrieve Status %d - <text>." with a "Key=[...]" line, or "Btrieve Error %d.".
    AnsiString GetNativeText() const override;

private:
    char keyText_[kKeyTextSize] = {};
    uint8_t keyLength_ = 0;
};

// Status 9 is the end of the file: the boundary error, never a Btrieve failure.
[[noreturn]] void RaiseBtrieveError(int32_t status);
[[noreturn]] void RaiseBtrieveKeyError(int32_t status, const AnsiString& keyText);

}  // namespace btrieve
