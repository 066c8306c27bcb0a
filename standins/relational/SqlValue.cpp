#include "standins/relational/SqlValue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "btrieve/engines/BtrieveApi.h"

namespace wssql {

using namespace btrieve;

namespace {

[[noreturn]] void BadValue() { throw SqlError(SqlStatusBadValue); }

std::string Trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

int64_t ReadInteger(const uint8_t* bytes, uint16_t size, bool isSigned) {
    uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = v << 8 | bytes[i];
    if (isSigned && size < 8 && (bytes[size - 1] & 0x80)) v |= ~uint64_t{0} << (size * 8);
    return static_cast<int64_t>(v);
}

void WriteInteger(uint8_t* bytes, uint16_t size, int64_t value) {
    for (uint16_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
}

bool ParseDate(const std::string& text, int64_t& out) {
    int y, m, d;
    char tail;
    if (std::sscanf(Trimmed(text).c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 0 || y > 9999) return false;
    out = y * 10000LL + m * 100 + d;
    return true;
}

// "hh:mm:ss", with hundredths after "." or ":".
bool ParseTime(const std::string& text, int64_t& out) {
    int h, m, s, c = 0;
    char separator = 0, tail;
    const std::string t = Trimmed(text);
    int n = std::sscanf(t.c_str(), "%d:%d:%d%c%d%c", &h, &m, &s, &separator, &c, &tail);
    if (n != 3 && !(n == 5 && (separator == '.' || separator == ':'))) return false;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || c < 0 || c > 99) return false;
    out = ((h * 100LL + m) * 100 + s) * 100 + c;
    return true;
}

Value ParseNumber(const std::string& text) {
    const std::string t = Trimmed(text);
    if (t == "true") return Value::OfInt(1);
    if (t == "false") return Value::OfInt(0);
    if (t.empty()) BadValue();
    char* end = nullptr;
    long long i = std::strtoll(t.c_str(), &end, 10);
    if (*end == 0) return Value::OfInt(i);
    double d = std::strtod(t.c_str(), &end);
    if (*end != 0) BadValue();
    return Value::OfFloat(d);
}

// The value as the kind of the other side of a comparison or of a field.
Value Converted(const Value& v, Value::Kind kind) {
    if (v.kind == kind || v.kind == Value::Null) return v;
    if (v.kind == Value::Text) {
        Value out;
        out.kind = kind;
        if (kind == Value::Date) {
            if (!ParseDate(v.text, out.integer)) BadValue();
            return out;
        }
        if (kind == Value::Time) {
            if (!ParseTime(v.text, out.integer)) BadValue();
            return out;
        }
        if (kind == Value::Int || kind == Value::Float) return ParseNumber(v.text);
    }
    if (kind == Value::Text) {
        if (v.kind == Value::Int) return Value::OfText(std::to_string(v.integer));
        if (v.kind == Value::Float) {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.15g", v.real);
            return Value::OfText(buffer);
        }
    }
    if ((kind == Value::Int || kind == Value::Float) && v.IsNumber()) return v;
    BadValue();
}

std::string WithoutTrailingBlanks(const std::string& text) {
    size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

int Compare(const Value& a, const Value& b) {
    Value left = a, right = b;
    if (left.kind == Value::Text && right.kind != Value::Text) left = Converted(left, right.kind);
    else if (right.kind == Value::Text && left.kind != Value::Text) right = Converted(right, left.kind);
    if (left.kind == Value::Text) {
        int c = WithoutTrailingBlanks(left.text).compare(WithoutTrailingBlanks(right.text));
        return c < 0 ? -1 : c > 0;
    }
    if (left.IsNumber() && right.IsNumber()) {
        if (left.kind == Value::Int && right.kind == Value::Int)
            return left.integer < right.integer ? -1 : left.integer > right.integer;
        double x = left.AsDouble(), y = right.AsDouble();
        return x < y ? -1 : x > y;
    }
    if (left.kind != right.kind) BadValue();
    return left.integer < right.integer ? -1 : left.integer > right.integer;
}

bool Like(const std::string& text, const std::string& pattern) {
    // Iterative match with backtracking to the last "%".
    size_t t = 0, p = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '_' || pattern[p] == text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '%') {
            star = p++;
            mark = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%') ++p;
    return p == pattern.size();
}

Value DecodeField(const FieldDef& field, const uint8_t* record) {
    const uint8_t* bytes = record + field.offset;
    const uint16_t size = field.size;
    switch (field.type) {
    case TypeString:
        return Value::OfText(WithoutTrailingBlanks(std::string(reinterpret_cast<const char*>(bytes),
                                                               strnlen(reinterpret_cast<const char*>(bytes), size))));
    case TypeZString:
        return Value::OfText(std::string(reinterpret_cast<const char*>(bytes),
                                         strnlen(reinterpret_cast<const char*>(bytes), size)));
    case TypeLString:
        return Value::OfText(std::string(reinterpret_cast<const char*>(bytes) + 1,
                                         std::min<size_t>(bytes[0], size ? size - 1 : 0)));
    case TypeInteger:
    case TypeAutoIncrement:
        if (size == 1 || size == 2 || size == 4 || size == 8) return Value::OfInt(ReadInteger(bytes, size, true));
        break;
    case TypeUnsignedBinary:
    case TypeLogical:
        if (size >= 1 && size <= 8) return Value::OfInt(ReadInteger(bytes, size, false));
        break;
    case TypeFloat:
        if (size == 4) {
            float f;
            std::memcpy(&f, bytes, 4);
            return Value::OfFloat(f);
        }
        if (size == 8) {
            double d;
            std::memcpy(&d, bytes, 8);
            return Value::OfFloat(d);
        }
        break;
    case TypeCurrency:
        if (size == 8) return Value::OfFloat(static_cast<double>(ReadInteger(bytes, 8, true)) / 10000.0);
        break;
    case TypeDate:
        if (size == 4) {
            Value v;
            v.kind = Value::Date;
            v.integer = (bytes[2] | bytes[3] << 8) * 10000LL + bytes[1] * 100 + bytes[0];
            return v;
        }
        break;
    case TypeTime:
        if (size == 4) {
            Value v;
            v.kind = Value::Time;
            v.integer = ((bytes[3] * 100LL + bytes[2]) * 100 + bytes[1]) * 100 + bytes[0];
            return v;
        }
        break;
    default:
        break;
    }
    // Types the engine does not interpret compare as their raw bytes.
    return Value::OfText(std::string(reinterpret_cast<const char*>(bytes), size));
}

void ClearField(const FieldDef& field, uint8_t* record) {
    std::memset(record + field.offset, field.type == TypeString ? ' ' : 0, field.size);
}

void EncodeField(const FieldDef& field, const Value& value, uint8_t* record) {
    uint8_t* bytes = record + field.offset;
    const uint16_t size = field.size;
    if (value.kind == Value::Null) {
        ClearField(field, record);
        return;
    }
    switch (field.type) {
    case TypeString:
    case TypeZString:
    case TypeLString: {
        const std::string text = Converted(value, Value::Text).text;
        ClearField(field, record);
        if (field.type == TypeLString) {
            const size_t n = std::min<size_t>(text.size(), size ? size - 1u : 0u);
            bytes[0] = static_cast<uint8_t>(std::min<size_t>(n, 255));
            std::memcpy(bytes + 1, text.data(), bytes[0]);
        } else {
            const size_t room = field.type == TypeZString ? (size ? size - 1u : 0u) : size;
            std::memcpy(bytes, text.data(), std::min(text.size(), room));
        }
        return;
    }
    case TypeInteger:
    case TypeAutoIncrement:
    case TypeUnsignedBinary:
    case TypeLogical: {
        Value v = Converted(value, Value::Int);
        if (size < 1 || size > 8) break;
        WriteInteger(bytes, size, v.kind == Value::Int ? v.integer : std::llround(v.real));
        return;
    }
    case TypeFloat: {
        const double d = Converted(value, Value::Float).AsDouble();
        if (size == 4) {
            const float f = static_cast<float>(d);
            std::memcpy(bytes, &f, 4);
            return;
        }
        if (size == 8) {
            std::memcpy(bytes, &d, 8);
            return;
        }
        break;
    }
    case TypeCurrency:
        if (size != 8) break;
        WriteInteger(bytes, 8, std::llround(Converted(value, Value::Float).AsDouble() * 10000.0));
        return;
    case TypeDate: {
        if (size != 4) break;
        const int64_t d = Converted(value, Value::Date).integer;
        const int64_t year = d / 10000;
        bytes[0] = static_cast<uint8_t>(d % 100);
        bytes[1] = static_cast<uint8_t>(d / 100 % 100);
        bytes[2] = static_cast<uint8_t>(year & 0xFF);
        bytes[3] = static_cast<uint8_t>(year >> 8);
        return;
    }
    case TypeTime: {
        if (size != 4) break;
        const int64_t t = Converted(value, Value::Time).integer;
        bytes[0] = static_cast<uint8_t>(t % 100);
        bytes[1] = static_cast<uint8_t>(t / 100 % 100);
        bytes[2] = static_cast<uint8_t>(t / 10000 % 100);
        bytes[3] = static_cast<uint8_t>(t / 1000000);
        return;
    }
    default:
        break;
    }
    BadValue();
}

}  // namespace wssql
