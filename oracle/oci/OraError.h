// EOraError: an error the Oracle client reported (the positive Oracle error code and the
// client's text). Callers classify failures by the code or by the message's "ORA-nnnnn"
// prefix. Also the Oracle layer's way of raising its literal failures.
#pragma once

#include <string>

#include "oracle/core/DAError.h"

namespace oracle {

class EOraError : public EDAError {
public:
    using EDAError::EDAError;
};

// The library's literal failures ("Cannot load OCI DLL: ..."): the runtime's plain exception.
[[noreturn]] void RaiseLibraryError(const std::string& message);

}  // namespace oracle
