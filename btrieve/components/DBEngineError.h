// ETDBEngineError: the exception every dataset component raises when the facade answers
// a call with a non-zero result code. It carries the facade's error entries (TQnError)
// and a message built from their texts. Check and RaiseDatasetError are the only way
// the components report an engine failure; setup and Ecdump catch it as a database error.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/DataSetTypes.h"

namespace btrieve {

class TVirtEng;
using platform::AnsiString;

// One error entry of a failed call.
class TQnError {
public:
    TQnError(const AnsiString& message, int32_t nativeError, uint16_t errorCode);
    uint16_t ErrorCode() const { return errorCode_; }
    int32_t NativeError() const { return nativeError_; }
    const AnsiString& Message() const { return message_; }

private:
    uint16_t errorCode_;
    int32_t nativeError_;
    AnsiString message_;
};

class ETDBEngineError : public platform::EDatabaseError {
public:
    // Reads the facade's error stack for code; the message is built here.
    ETDBEngineError(TVirtEng& engine, uint16_t code);
    ETDBEngineError(const ETDBEngineError& other);
    ETDBEngineError& operator=(const ETDBEngineError&) = delete;

    int ErrorCount() const { return static_cast<int>(errors_.size()); }
    const TQnError& ErrorAt(int index) const;
    // The code the failed call gave (that of the first entry).
    uint16_t ErrorCode() const { return errors_.empty() ? 0 : errors_.front()->ErrorCode(); }

private:
    void AddError(const AnsiString& message, int32_t nativeError, uint16_t errorCode);
    std::vector<std::unique_ptr<TQnError>> errors_;
};

// Nothing for 0; any other code raises ETDBEngineError.
void Check(TVirtEng& engine, uint16_t code);
[[noreturn]] void RaiseDatasetError(TVirtEng& engine, uint16_t code);

}  // namespace btrieve
