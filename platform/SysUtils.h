// Runtime basics shared by every layer: the exception family and the
// single-byte (code page 1251) text helpers that follow the user's locale.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

using AnsiString = std::string;

// Root of the runtime's exception family; the libraries derive their own from it.
class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const AnsiString& Message() const noexcept { return message_; }
    void SetMessage(AnsiString message) { message_ = std::move(message); }

private:
    AnsiString message_;
};

// A file could not be opened, read or written.
class EInOutError : public Exception {
public:
    EInOutError(AnsiString message, uint32_t errorCode)
        : Exception(std::move(message)), errorCode_(errorCode) {}
    uint32_t ErrorCode() const noexcept { return errorCode_; }

private:
    uint32_t errorCode_;
};

class EConvertError : public Exception { using Exception::Exception; };
class EStringListError : public Exception { using Exception::Exception; };

// Upper and lower case in the user's locale (Cyrillic included).
AnsiString AnsiUpperCase(const AnsiString& s);
AnsiString AnsiLowerCase(const AnsiString& s);
// Locale order: <0, 0, >0. Text compares ignoring case, Str with case.
int AnsiCompareText(const AnsiString& a, const AnsiString& b);
int AnsiCompareStr(const AnsiString& a, const AnsiString& b);
bool AnsiSameText(const AnsiString& a, const AnsiString& b);

// Blanks and control characters (code <= 32) removed.
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);

AnsiString IntToStr(int64_t value);

}  // namespace platform
