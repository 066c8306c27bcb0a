// Small helpers every dataset component uses around facade calls: code-page
// conversions between the program's (ANSI) and the engine's (OEM) page, property
// helpers, the alias parameter text, the application's exception handler, and the
// inert callback record of sessions and datasets.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include "platform/Application.h"
#include "platform/StringList.h"

namespace platform {
class TComponent;
}

namespace btrieve {

class TVirtEng;
class TBapiListItem;
class TBaseTable;
using platform::AnsiString;

// Converts at most maxLength characters of text to the engine's page into destination
// (which holds maxLength + 1 bytes) and terminates it; gives destination.
char* AnsiToNativeBuf(TVirtEng& engine, void* languageDriver, const AnsiString& text, size_t maxLength,
                      char* destination);
// A zero-terminated text of the engine's page in the program's page.
void NativeToAnsiStr(TVirtEng& engine, void* languageDriver, const char* text, AnsiString& result);
void AnsiToNativeChars(TVirtEng& engine, void* languageDriver, const char* source, size_t length, char* destination);
void NativeToAnsiChars(TVirtEng& engine, void* languageDriver, const char* source, size_t length, char* destination);
// Always converts (the session's ignore flags do not apply).
void AnsiToOemStr(const AnsiString& text, AnsiString& result);

// A 4-byte property; 0 when the facade refuses.
int32_t GetIntProp(TVirtEng& engine, TBapiListItem* handle, uint32_t id);
// Sets the property to the absolute value; true when the facade accepts.
bool SetBoolProp(TVirtEng& engine, TBapiListItem* handle, uint32_t id, int32_t value);

// name:"value";... of the lines that have a value, in the OEM page, without the last ";".
void ParamsToAliasText(const platform::TStrings& params, AnsiString& text);

// The application's handler of exceptions raised inside events (the platform's); none
// by default.
using TAppExceptionHandler = platform::TExceptionEvent;
void SetAppExceptionHandler(TAppExceptionHandler handler);
// Hands the exception being handled to the application's handler, when there is one.
void HandleAppException(platform::TComponent* sender);

// A callback registration as the components make them. The facade registers none, so
// the record only keeps what it was given.
class TQnBDECallback {
public:
    using TEvent = std::function<int(intptr_t)>;
    TQnBDECallback(TVirtEng* engine, platform::TComponent* owner, TBaseTable* handle, int kind, void* buffer,
                   size_t length, TEvent event, bool chain);
    TBaseTable* Handle() const { return handle_; }
    platform::TComponent* Owner() const { return owner_; }
    int Kind() const { return kind_; }
    TVirtEng* Engine() const { return engine_; }

private:
    TBaseTable* handle_;
    platform::TComponent* owner_;
    int kind_;
    TEvent event_;
    TVirtEng* engine_;
};

}  // namespace btrieve
