// EDAError: a failure of the data-access layer or of its back end, with a signed
// error code (the Oracle layer derives EOraError from it). The session's error hook,
// its fatal-error test and the datasets' close path work with this class. Also the
// layer's own message table, read by identifier.
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

// Message identifiers of the layer's texts.
inline constexpr int SUpdateFailed = 65280;
inline constexpr int SRefreshFailed = 65281;
inline constexpr int SInvalidFetchRows = 65282;
inline constexpr int SNoCorrespondParam = 65283;
inline constexpr int SUnknownParamDataType = 65284;
inline constexpr int SRecordChanged = 65285;
inline constexpr int SNotBlob = 65304;
inline constexpr int SConnectionNotDefined = 65308;
inline constexpr int SCannotConnect = 65309;

// The text of a message identifier (log-on label texts included); empty when the
// identifier has none.
std::string LoadDAString(int id);
// Raises the platform's database error with the text of id, formatted with args.
[[noreturn]] void DADatabaseError(int id);
template <class... Args>
[[noreturn]] void DADatabaseErrorFmt(int id, const Args&... args) {
    platform::DatabaseError(platform::Format(LoadDAString(id), args...));
}

}  // namespace oracle
