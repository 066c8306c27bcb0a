// The exceptions of the Oracle library: EDAError, a data-access error carrying a signed
// error code, and EOraError, an error the Oracle client reported (code and client text).
// Callers classify failures by the code or by the message's "ORA-nnnnn" prefix.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DataSetTypes.h"

namespace oracle {

class EDAError : public platform::EDatabaseError {
public:
    EDAError(int32_t errorCode, const std::string& message)
        : platform::EDatabaseError(message), errorCode_(errorCode) {}
    int32_t ErrorCode() const noexcept { return errorCode_; }

private:
    int32_t errorCode_;
};

class EOraError : public EDAError {
public:
    using EDAError::EDAError;
};

// The library's literal failures ("Cannot load OCI DLL: ..."): the runtime's plain exception.
[[noreturn]] void RaiseLibraryError(const std::string& message);

}  // namespace oracle
