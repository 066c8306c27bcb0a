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
// An index outside the range a value allows.
class ERangeError : public Exception { using Exception::Exception; };
// An object is not of the class an operation needs.
class EInvalidCast : public Exception { using Exception::Exception; };
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
// Upper-case hexadecimal, zero-padded to at least `digits`; a negative value shows
// its 64-bit pattern (pass 32-bit values as unsigned to see 8 digits).
AnsiString IntToHex(int64_t value, int digits);

// Text to number: optional blanks around, an optional sign, decimal digits or "$"
// followed by hexadecimal ones. EConvertError on anything else or on overflow.
int32_t StrToInt(const AnsiString& text);
int64_t StrToInt64(const AnsiString& text);
bool TryStrToInt(const AnsiString& text, int32_t& value);
bool TryStrToInt64(const AnsiString& text, int64_t& value);
int32_t StrToIntDef(const AnsiString& text, int32_t fallback);

// Floats read and written with the process's decimal separator (FormatSettings()).
// Reading accepts optional blanks, sign, digits, the separator, digits and an
// exponent; EConvertError otherwise.
double StrToFloat(const AnsiString& text);
bool TryStrToFloat(const AnsiString& text, double& value);
// The same with given settings instead of the process's (for fixed text forms such
// as a full stop whatever the user's separator).
struct TFormatSettings;
double StrToFloat(const AnsiString& text, const TFormatSettings& settings);
bool TryStrToFloat(const AnsiString& text, double& value, const TFormatSettings& settings);

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// ffGeneral: the shortest text of `precision` significant digits, plain unless the
// exponent is too large or small ("1E15", "1,5E-5"); ffExponent: d.dddE+ddd with
// `digits` exponent digits at least; ffFixed: `digits` decimals (general form when
// the value has more than `precision` integer digits); ffNumber: as fixed with
// thousand separators; ffCurrency: as number with the currency string.
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits);
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings& settings);
// General format with 15 significant digits.
AnsiString FloatToStr(double value);
AnsiString FloatToStr(double value, const TFormatSettings& settings);

// One argument of Format: integers, unsigned integers, floats, texts, characters or
// pointers; it remembers whether an integer came from 32 bits, which fixes how %x
// writes negative numbers.
class FormatArg {
public:
    enum class Kind { Integer, Unsigned, Float, Text, Pointer };
    FormatArg(int v) : kind_(Kind::Integer), int_(v), narrow_(true) {}
    FormatArg(long v) : kind_(Kind::Integer), int_(v), narrow_(sizeof(long) == 4) {}
    FormatArg(long long v) : kind_(Kind::Integer), int_(v) {}
    FormatArg(short v) : kind_(Kind::Integer), int_(v), narrow_(true) {}
    FormatArg(unsigned v) : kind_(Kind::Unsigned), int_(v), narrow_(true) {}
    FormatArg(unsigned short v) : kind_(Kind::Unsigned), int_(v), narrow_(true) {}
    FormatArg(unsigned char v) : kind_(Kind::Unsigned), int_(v), narrow_(true) {}
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), int_(static_cast<int64_t>(v)), narrow_(sizeof(long) == 4) {}
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), int_(static_cast<int64_t>(v)) {}
    FormatArg(double v) : kind_(Kind::Float), float_(v) {}
    FormatArg(float v) : kind_(Kind::Float), float_(v) {}
    FormatArg(char v) : kind_(Kind::Text), text_(1, v) {}
    FormatArg(const char* v) : kind_(Kind::Text), text_(v ? v : "") {}
    FormatArg(const AnsiString& v) : kind_(Kind::Text), text_(v) {}
    FormatArg(const void* v) : kind_(Kind::Pointer), int_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))) {}

    Kind GetKind() const { return kind_; }
    int64_t Int() const { return int_; }
    bool Narrow() const { return narrow_; }
    double Float() const { return float_; }
    const AnsiString& Text() const { return text_; }

private:
    Kind kind_;
    int64_t int_ = 0;
    bool narrow_ = false;
    double float_ = 0;
    AnsiString text_;
};

// The runtime's formatting: "%" [index ":"] ["-"] [width] ["." precision] type, with
// "*" for a width or precision taken from the arguments and "%%" for a percent sign.
// Types: d (precision = minimum digits), u, x (upper-case hex; precision = minimum
// digits), e, f, g, n, m (floats; precision as FloatToStrF), s (precision = maximum
// characters), p. A width pads with blanks on the left, or on the right after "-".
// A missing or mismatched argument raises EConvertError.
AnsiString FormatWithArgs(const AnsiString& format, const FormatArg* args, size_t count);
template <class... Args>
AnsiString Format(const AnsiString& format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    return FormatWithArgs(format, list, sizeof...(Args));
}

}  // namespace platform
