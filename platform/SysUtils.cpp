#include "SysUtils.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "FormatSettings.h"

namespace platform {

namespace {

AnsiString MapCase(const AnsiString& s, bool upper) {
    AnsiString out = s;
    if (!out.empty()) {
        const DWORD n = static_cast<DWORD>(out.size());
        upper ? CharUpperBuffA(out.data(), n) : CharLowerBuffA(out.data(), n);
    }
    return out;
}

int Compare(const AnsiString& a, const AnsiString& b, DWORD flags) {
    const int r = CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
    return r - CSTR_EQUAL;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Printable ASCII without the hyphen and the apostrophe, which the locale's word sort weighs
// apart: two such texts are the same text to the locale, case ignored, exactly when they
// are the same ignoring ASCII case. Names of fields, parameters and tables are such texts,
// and the locale's comparison costs a conversion of both texts on every call.
bool IsPlainAsciiText(const AnsiString& s) {
    for (const char c : s)
        if (c < ' ' || c > '~' || c == '-' || c == '\'') return false;
    return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAsciiTextIgnoringCase(const AnsiString& a, const AnsiString& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

AnsiString AnsiUpperCase(const AnsiString& s) { return MapCase(s, true); }
AnsiString AnsiLowerCase(const AnsiString& s) { return MapCase(s, false); }
int AnsiCompareText(const AnsiString& a, const AnsiString& b) { return Compare(a, b, NORM_IGNORECASE); }
int AnsiCompareStr(const AnsiString& a, const AnsiString& b) { return Compare(a, b, 0); }
bool AnsiSameText(const AnsiString& a, const AnsiString& b) {
    if (IsPlainAsciiText(a) && IsPlainAsciiText(b)) return SameAsciiTextIgnoringCase(a, b);
    return AnsiCompareText(a, b) == 0;
}

AnsiString TrimLeft(const AnsiString& s) {
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

AnsiString TrimRight(const AnsiString& s) {
    size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

AnsiString Trim(const AnsiString& s) { return TrimLeft(TrimRight(s)); }

AnsiString IntToStr(int64_t value) { return std::to_string(value); }

AnsiString IntToHex(int64_t value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", digits < 0 ? 0 : digits, static_cast<unsigned long long>(value));
    return buf;
}

// ---- text to number ----

bool TryStrToInt64(const AnsiString& text, int64_t& value) {
    const AnsiString t = Trim(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int base = 10;
    if (i < t.size() && t[i] == '$') base = 16, ++i;
    else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) base = 16, i += 2;
    if (i >= t.size()) return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        if (magnitude > (limit - digit) / base) {
            // Hexadecimal texts may spell the full 64-bit pattern of a negative number.
            if (base != 16 || negative || magnitude > (~uint64_t(0) - digit) / base) return false;
        }
        magnitude = magnitude * base + digit;
    }
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool TryStrToInt(const AnsiString& text, int32_t& value) {
    int64_t wide;
    if (!TryStrToInt64(text, wide)) return false;
    const AnsiString t = Trim(text);
    const bool hex = t.find_first_of("$xX") != AnsiString::npos;
    if (hex && wide >= 0 && wide <= 0xFFFFFFFFLL) {
        value = static_cast<int32_t>(static_cast<uint32_t>(wide));
        return true;
    }
    if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(wide);
    return true;
}

int64_t StrToInt64(const AnsiString& text) {
    int64_t v;
    if (!TryStrToInt64(text, v)) throw EConvertError("'" + text + "' is not a valid integer value");
    return v;
}

int32_t StrToInt(const AnsiString& text) {
    int32_t v;
    if (!TryStrToInt(text, v)) throw EConvertError("'" + text + "' is not a valid integer value");
    return v;
}

int32_t StrToIntDef(const AnsiString& text, int32_t fallback) {
    int32_t v;
    return TryStrToInt(text, v) ? v : fallback;
}

bool TryStrToFloat(const AnsiString& text, double& value) { return TryStrToFloat(text, value, FormatSettings()); }

bool TryStrToFloat(const AnsiString& text, double& value, const TFormatSettings& settings) {
    const char separator = settings.DecimalSeparator;
    const AnsiString t = Trim(text);
    // Only the shape the runtime accepts: sign, digits, separator, digits, exponent.
    AnsiString plain;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain += t[i++];
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) plain += t[i++], ++digits;
    if (i < t.size() && t[i] == separator) {
        plain += '.';
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) plain += t[i++], ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) plain += t[i++];
        size_t expDigits = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) plain += t[i++], ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != t.size()) return false;
    const double v = std::strtod(plain.c_str(), nullptr);
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

double StrToFloat(const AnsiString& text) { return StrToFloat(text, FormatSettings()); }

double StrToFloat(const AnsiString& text, const TFormatSettings& settings) {
    double v;
    if (!TryStrToFloat(text, v, settings)) throw EConvertError("'" + text + "' is not a valid floating point value");
    return v;
}

// ---- number to text ----

namespace {

// Decimal digits of a finite non-zero value rounded to `precision` significant digits,
// trailing zeros removed; `exponent` places the point: value = 0.DIGITS * 10^exponent.
void DecimalDigits(double value, int precision, AnsiString& digits, int& exponent) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(value));
    const char* p = buf;
    digits.clear();
    for (; *p && *p != 'e'; ++p)
        if (std::isdigit(static_cast<unsigned char>(*p))) digits += *p;
    exponent = std::atoi(p + 1) + 1;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

AnsiString ExponentText(int exponent, int minDigits) {
    AnsiString out = "E";
    if (exponent < 0) out += '-';
    else if (minDigits > 0) out += '+';
    AnsiString n = std::to_string(std::abs(exponent));
    while (static_cast<int>(n.size()) < minDigits) n.insert(n.begin(), '0');
    return out + n;
}

AnsiString SpecialText(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

AnsiString GroupThousands(const AnsiString& fixed, char decimal, char thousand) {
    size_t start = fixed[0] == '-' ? 1 : 0;
    size_t end = fixed.find(decimal);
    if (end == AnsiString::npos) end = fixed.size();
    AnsiString out = fixed.substr(0, start);
    for (size_t i = start; i < end; ++i) {
        out += fixed[i];
        const size_t left = end - i - 1;
        if (left > 0 && left % 3 == 0 && thousand) out += thousand;
    }
    return out + fixed.substr(end);
}

}  // namespace

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
    return FloatToStrF(value, format, precision, digits, FormatSettings());
}

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits, const TFormatSettings& fs) {
    if (!std::isfinite(value)) return SpecialText(value);
    if (precision < 1) precision = 1;
    if (precision > 18) precision = 18;
    const bool negative = std::signbit(value) && value != 0;

    AnsiString d;
    int exponent = 0;
    if (value != 0) DecimalDigits(value, precision, d, exponent);
    else d = "0", exponent = 1;

    switch (format) {
    case TFloatFormat::ffGeneral: {
        if (value == 0) return "0";
        AnsiString out = negative ? "-" : "";
        if (exponent > precision || exponent < -3) {
            out += d[0];
            if (d.size() > 1) out += fs.DecimalSeparator + d.substr(1);
            return out + ExponentText(exponent - 1, digits);
        }
        if (exponent <= 0) {
            out += '0';
            out += fs.DecimalSeparator;
            out += AnsiString(-exponent, '0') + d;
        } else if (static_cast<int>(d.size()) <= exponent) {
            out += d + AnsiString(exponent - d.size(), '0');
        } else {
            out += d.substr(0, exponent) + fs.DecimalSeparator + d.substr(exponent);
        }
        return out;
    }
    case TFloatFormat::ffExponent: {
        AnsiString full;
        int e;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(value));
        for (const char* p = buf; *p && *p != 'e'; ++p)
            if (std::isdigit(static_cast<unsigned char>(*p))) full += *p;
        e = value == 0 ? 0 : std::atoi(std::strchr(buf, 'e') + 1);
        AnsiString out = negative ? "-" : "";
        out += full[0];
        if (full.size() > 1) out += fs.DecimalSeparator + full.substr(1);
        if (digits > 4) digits = 4;
        AnsiString exp = ExponentText(e, digits);
        if (e >= 0 && digits == 0) exp.insert(1, "+");
        return out + exp;
    }
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
        if (exponent > precision) return FloatToStrF(value, TFloatFormat::ffExponent, precision, 0, fs);
        if (digits < 0) digits = 0;
        if (digits > 18) digits = 18;
        // Round the significant digits half away from zero at the asked decimal.
        AnsiString padded = (exponent < 0 ? AnsiString(-exponent, '0') : AnsiString()) + d;
        size_t point = exponent > 0 ? static_cast<size_t>(exponent) : 0;
        if (padded.size() < point + digits + 1) padded.append(point + digits + 1 - padded.size(), '0');
        AnsiString keep = padded.substr(0, point + digits);
        if (padded[point + digits] >= '5') {
            int i = static_cast<int>(keep.size()) - 1;
            while (i >= 0 && keep[i] == '9') keep[i--] = '0';
            if (i >= 0) ++keep[i];
            else keep.insert(0, "1"), ++point;
        }
        AnsiString whole = keep.substr(0, point);
        const AnsiString fraction = keep.substr(point);
        const size_t firstNonZero = whole.find_first_not_of('0');
        whole = firstNonZero == AnsiString::npos ? AnsiString("0") : whole.substr(firstNonZero);
        const bool zero = whole == "0" && fraction.find_first_not_of('0') == AnsiString::npos;
        AnsiString out = (negative && !zero) ? "-" + whole : whole;
        if (digits > 0) out += fs.DecimalSeparator + fraction;
        if (format == TFloatFormat::ffFixed) return out;
        out = GroupThousands(out, fs.DecimalSeparator, fs.ThousandSeparator);
        if (format == TFloatFormat::ffCurrency) out += " " + fs.CurrencyString;
        return out;
    }
    }
    return AnsiString();
}

AnsiString FloatToStr(double value) { return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0); }
AnsiString FloatToStr(double value, const TFormatSettings& settings) {
    return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, settings);
}

// ---- Format ----

namespace {

[[noreturn]] void FormatError(const AnsiString& format) {
    throw EConvertError("Format '" + format + "' invalid or incompatible with argument");
}

AnsiString Pad(const AnsiString& text, int width, bool left) {
    if (width <= static_cast<int>(text.size())) return text;
    const AnsiString fill(width - text.size(), ' ');
    return left ? text + fill : fill + text;
}

AnsiString ZeroExtend(AnsiString digits, int minimum) {
    if (minimum > static_cast<int>(digits.size())) digits.insert(0, minimum - digits.size(), '0');
    return digits;
}

}  // namespace

AnsiString FormatWithArgs(const AnsiString& format, const FormatArg* args, size_t count) {
    AnsiString out;
    size_t next = 0;
    size_t i = 0;
    auto takeArg = [&]() -> const FormatArg& {
        if (next >= count) FormatError(format);
        return args[next++];
    };
    auto takeInt = [&]() -> int {
        const FormatArg& a = takeArg();
        if (a.GetKind() != FormatArg::Kind::Integer && a.GetKind() != FormatArg::Kind::Unsigned) FormatError(format);
        return static_cast<int>(a.Int());
    };
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // [index ":"] ["-"] [width] ["." precision] type
        bool left = false;
        int width = -1, precision = -1;
        auto readNumber = [&](int& value) -> bool {
            if (i < format.size() && format[i] == '*') {
                ++i;
                value = takeInt();
                return true;
            }
            if (i >= format.size() || !std::isdigit(static_cast<unsigned char>(format[i]))) return false;
            value = 0;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
                value = value * 10 + (format[i++] - '0');
            return true;
        };
        int number;
        const size_t mark = i;
        if (readNumber(number) && i < format.size() && format[i] == ':') {
            next = static_cast<size_t>(number);
            ++i;
        } else {
            i = mark;
            // A "*" consumed as a would-be index was the width: undo by rescanning.
            if (i < format.size() && format[i] == '*') --next;
        }
        if (i < format.size() && format[i] == '-') left = true, ++i;
        readNumber(width);
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (!readNumber(precision)) precision = 0;
        }
        if (i >= format.size()) FormatError(format);
        const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i++])));
        const FormatArg& arg = takeArg();
        const bool integral = arg.GetKind() == FormatArg::Kind::Integer || arg.GetKind() == FormatArg::Kind::Unsigned;
        AnsiString text;
        switch (type) {
        case 'd':
        case 'u': {
            if (!integral) FormatError(format);
            int64_t v = arg.Int();
            uint64_t magnitude;
            bool negative = false;
            if (type == 'u' || arg.GetKind() == FormatArg::Kind::Unsigned) {
                magnitude = arg.Narrow() ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
            } else {
                negative = v < 0;
                magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            }
            text = ZeroExtend(std::to_string(magnitude), precision);
            if (negative) text.insert(0, "-");
            break;
        }
        case 'x': {
            if (!integral) FormatError(format);
            const uint64_t v = arg.Narrow() ? static_cast<uint32_t>(arg.Int()) : static_cast<uint64_t>(arg.Int());
            char buf[32];
            std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
            text = ZeroExtend(buf, precision);
            break;
        }
        case 'e':
        case 'f':
        case 'g':
        case 'n':
        case 'm': {
            double v;
            if (arg.GetKind() == FormatArg::Kind::Float) v = arg.Float();
            else if (arg.GetKind() == FormatArg::Kind::Integer) v = static_cast<double>(arg.Int());
            else if (arg.GetKind() == FormatArg::Kind::Unsigned) v = static_cast<double>(static_cast<uint64_t>(arg.Int()));
            else FormatError(format);
            switch (type) {
            case 'e': text = FloatToStrF(v, TFloatFormat::ffExponent, precision < 0 ? 15 : precision, 3); break;
            case 'f': text = FloatToStrF(v, TFloatFormat::ffFixed, 18, precision < 0 ? 2 : precision); break;
            case 'g': text = FloatToStrF(v, TFloatFormat::ffGeneral, precision < 0 ? 15 : precision, 3); break;
            case 'n': text = FloatToStrF(v, TFloatFormat::ffNumber, 18, precision < 0 ? 2 : precision); break;
            default:
                text = FloatToStrF(v, TFloatFormat::ffCurrency, 18,
                                   precision < 0 ? FormatSettings().CurrencyDecimals : precision);
                break;
            }
            break;
        }
        case 's':
            if (arg.GetKind() != FormatArg::Kind::Text) FormatError(format);
            text = arg.Text();
            if (precision >= 0 && precision < static_cast<int>(text.size())) text.resize(precision);
            break;
        case 'p': {
            if (arg.GetKind() != FormatArg::Kind::Pointer) FormatError(format);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                          static_cast<unsigned long long>(arg.Int()));
            text = buf;
            break;
        }
        default:
            FormatError(format);
        }
        out += Pad(text, width, left);
    }
    return out;
}

}  // namespace platform
