#include "btrieve/components/CallHelpers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "btrieve/base/BaseUtils.h"
#include "btrieve/base/VirtEng.h"
#include "platform/ScopeExit.h"

namespace btrieve {

char* AnsiToNativeBuf(TVirtEng& engine, void* languageDriver, const AnsiString& text, size_t maxLength,
                      char* destination) {
    const size_t n = std::min(text.size(), maxLength);
    destination[n] = '\0';
    if (n > 0) {
        bool dataLoss = false;
        engine.AnsiToNative(languageDriver, text.c_str(), destination, n, dataLoss);
    }
    return destination;
}

void NativeToAnsiStr(TVirtEng& engine, void* languageDriver, const char* text, AnsiString& result) {
    const size_t length = text ? std::strlen(text) : 0;
    result.assign(length, '\0');
    if (length > 0) {
        bool dataLoss = false;
        engine.NativeToAnsi(languageDriver, text, result.data(), length, dataLoss);
    }
}

void AnsiToNativeChars(TVirtEng& engine, void* languageDriver, const char* source, size_t length, char* destination) {
    if (length == 0) return;
    bool dataLoss = false;
    engine.AnsiToNative(languageDriver, source, destination, length, dataLoss);
}

void NativeToAnsiChars(TVirtEng& engine, void* languageDriver, const char* source, size_t length, char* destination) {
    if (length == 0) return;
    bool dataLoss = false;
    engine.NativeToAnsi(languageDriver, source, destination, length, dataLoss);
}

void AnsiToOemStr(const AnsiString& text, AnsiString& result) {
    result.assign(text.size(), '\0');
    if (!text.empty()) AnsiToOemBuf(text.c_str(), result.data(), text.size());
}

int32_t GetIntProp(TVirtEng& engine, TBapiListItem* handle, uint32_t id) {
    int32_t value = 0;
    uint16_t length = 0;
    if (engine.GetProp(handle, id, &value, sizeof value, length) != 0) return 0;
    return value;
}

bool SetBoolProp(TVirtEng& engine, TBapiListItem* handle, uint32_t id, int32_t value) {
    return engine.SetProp(handle, id, std::abs(value)) == 0;
}

void ParamsToAliasText(const platform::TStrings& params, AnsiString& text) {
    AnsiString built;
    for (int i = 0; i < params.Count(); ++i) {
        const AnsiString& line = params.Get(i);
        const size_t eq = line.find('=');
        if (eq == AnsiString::npos || eq + 1 >= line.size()) continue;
        // A quote inside the value is doubled; colons and semicolons are safe within quotes.
        AnsiString value;
        for (const char c : line.substr(eq + 1, 255)) value += c == '"' ? AnsiString("\"\"") : AnsiString(1, c);
        built += platform::Format("%s:\"%s\";", line.substr(0, eq), value);
    }
    AnsiToOemStr(built, text);
    // No line with a value leaves nothing to cut.
    if (!text.empty()) text.pop_back();
}

void SetAppExceptionHandler(TAppExceptionHandler handler) { platform::SetApplicationOnException(std::move(handler)); }

void HandleAppException(platform::TComponent* sender) {
    if (!platform::ApplicationHasExceptionHandler()) return;
    try {
        throw;
    } catch (const std::exception& error) {
        // The platform's handling never raises (it runs from destructors too).
        platform::ApplicationHandleException(sender, error);
    } catch (...) {
    }
}

TQnBDECallback::TQnBDECallback(TVirtEng* engine, platform::TComponent* owner, TBaseTable* handle, int kind, void*,
                               size_t, TEvent event, bool)
    : handle_(handle), owner_(owner), kind_(kind), event_(std::move(event)), engine_(engine) {}

}  // namespace btrieve
