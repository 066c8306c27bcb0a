#include "btrieve/components/DBEngineError.h"

#include <algorithm>

#include "btrieve/base/VirtEng.h"

namespace btrieve {

namespace {

constexpr uint16_t kTextSuppressed = 0x2EC4;
constexpr uint16_t kEndOfErrors = 0x2A06;

// Lines of the message: each non-empty text once, in the order first seen.
class TMessageLines {
public:
    void Add(const AnsiString& text) {
        if (text.empty() || std::find(lines_.begin(), lines_.end(), text) != lines_.end()) return;
        lines_.push_back(text);
    }
    AnsiString Joined() const {
        AnsiString joined;
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (i) joined += "\r\n";
            joined += lines_[i];
        }
        return joined;
    }
    bool Empty() const { return lines_.empty(); }

private:
    std::vector<AnsiString> lines_;
};

AnsiString FoundEntryText(TVirtEng& engine, uint16_t code) {
    char text[261] = {};
    if (engine.FindErrorEntry(code, text) != 0) text[0] = '\0';
    return platform::Trim(text);
}

}  // namespace

TQnError::TQnError(const AnsiString& message, int32_t nativeError, uint16_t errorCode)
    : errorCode_(errorCode), nativeError_(nativeError), message_(message) {}

ETDBEngineError::ETDBEngineError(TVirtEng& engine, uint16_t code) : platform::EDatabaseError("") {
    const AnsiString first = FoundEntryText(engine, code);
    AddError(first, 0, code);
    TMessageLines lines;
    if (code != kTextSuppressed) lines.Add(first);
    for (int n = 1;; ++n) {
        int32_t native = 0;
        char text[261] = {};
        const uint16_t entryCode = engine.GetErrorEntry(n, native, text);
        if (entryCode == 0 || entryCode == kEndOfErrors) break;
        AddError(text, native, entryCode);
        if (native == 0 && entryCode != kTextSuppressed) lines.Add(FoundEntryText(engine, entryCode));
        lines.Add(platform::Trim(text));
    }
    SetMessage(lines.Empty() ? platform::Format("Quillon Interface Error: ( %x )", static_cast<unsigned>(code))
                             : lines.Joined());
}

ETDBEngineError::ETDBEngineError(const ETDBEngineError& other) : platform::EDatabaseError(other.Message()) {
    for (const auto& entry : other.errors_) errors_.push_back(std::make_unique<TQnError>(*entry));
}

void ETDBEngineError::AddError(const AnsiString& message, int32_t nativeError, uint16_t errorCode) {
    errors_.push_back(std::make_unique<TQnError>(message, nativeError, errorCode));
}

const TQnError& ETDBEngineError::ErrorAt(int index) const {
    if (index < 0 || index >= ErrorCount()) platform::DatabaseError("List index out of bounds");
    return *errors_[static_cast<size_t>(index)];
}

void Check(TVirtEng& engine, uint16_t code) {
    if (code != 0) RaiseDatasetError(engine, code);
}

void RaiseDatasetError(TVirtEng& engine, uint16_t code) { throw ETDBEngineError(engine, code); }

}  // namespace btrieve
