#include "standins/btrieve/FixtureDescription.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>

namespace wbtrv {

using namespace btrieve;

namespace {

const std::map<std::string, uint8_t>& TypeNames() {
    static const std::map<std::string, uint8_t> names = {
        {"string", TypeString},       {"integer", TypeInteger},   {"float", TypeFloat},
        {"date", TypeDate},           {"time", TypeTime},         {"decimal", TypeDecimal},
        {"money", TypeMoney},         {"logical", TypeLogical},   {"numeric", TypeNumeric},
        {"bfloat", TypeBFloat},       {"lstring", TypeLString},   {"zstring", TypeZString},
        {"unsigned", TypeUnsignedBinary}, {"autoinc", TypeAutoIncrement}, {"bit", TypeBit},
        {"numericsts", TypeNumericSts}, {"currency", TypeCurrency}, {"timestamp", TypeTimestamp},
    };
    return names;
}

std::vector<std::string> Tokens(const std::string& line, size_t lineNumber) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string token;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                throw EFixtureError("line " + std::to_string(lineNumber) + ": unterminated quote");
            token = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') token += line[i++];
        }
        tokens.push_back(token);
    }
    return tokens;
}

long long ToInteger(const std::string& text, const std::string& what) {
    try {
        size_t used = 0;
        long long v = std::stoll(text, &used, 0);
        if (used == text.size()) return v;
    } catch (const std::exception&) {
    }
    throw EFixtureError("not an integer for " + what + ": " + text);
}

double ToDouble(const std::string& text) {
    try {
        size_t used = 0;
        double v = std::stod(text, &used);
        if (used == text.size()) return v;
    } catch (const std::exception&) {
    }
    throw EFixtureError("not a number: " + text);
}

void PutInteger(Bytes& out, uint64_t v) {
    for (size_t i = 0; i < out.size(); ++i) out[i] = i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : 0;
}

// Digits of |value| scaled by 10^decimals, right-aligned in width characters.
std::string ScaledDigits(const std::string& text, uint8_t decimals, size_t width, bool& negative) {
    std::string s = text;
    negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.erase(0, 1);
    size_t dot = s.find('.');
    std::string whole = dot == std::string::npos ? s : s.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : s.substr(dot + 1);
    if (fraction.size() > decimals) throw EFixtureError("too many decimals: " + text);
    fraction.append(decimals - fraction.size(), '0');
    std::string digits = whole + fraction;
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.empty())
        throw EFixtureError("not a decimal number: " + text);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() > width) throw EFixtureError("too many digits: " + text);
    return std::string(width - digits.size(), '0') + digits;
}

Bytes EncodeBFloat(double v, size_t length) {
    Bytes out(length, 0);
    if (v == 0) return out;
    bool negative = v < 0;
    int exponent;
    double mantissa = std::frexp(std::fabs(v), &exponent);  // [0.5, 1)
    const int bits = static_cast<int>((length - 1) * 8);
    uint64_t m = static_cast<uint64_t>(std::ldexp(mantissa, bits));
    for (size_t i = 0; i + 1 < length; ++i) out[i] = static_cast<uint8_t>(m >> (8 * i));
    out[length - 2] = static_cast<uint8_t>((out[length - 2] & 0x7F) | (negative ? 0x80 : 0));
    out[length - 1] = static_cast<uint8_t>(exponent + 128);
    return out;
}

}  // namespace

std::string ToCodePage1251(const std::string& utf8) {
    if (utf8.empty()) return {};
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0) return utf8;  // not UTF-8: taken as it is
    std::wstring w(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
    int n = WideCharToMultiByte(1251, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(1251, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
    return out;
}

Bytes EncodeFieldValue(const FixtureField& field, const std::string& value) {
    Bytes out(field.size, 0);
    // Size 0: a dictionary entry that takes no bytes (the engine skips such fields).
    if (value == "null" || field.size == 0) return out;
    switch (field.type) {
    case TypeString:
    case TypeNote:
    case TypeLVar: {
        std::string text = ToCodePage1251(value);
        std::fill(out.begin(), out.end(), ' ');
        std::memcpy(out.data(), text.data(), std::min(text.size(), out.size()));
        return out;
    }
    case TypeZString: {
        std::string text = ToCodePage1251(value);
        std::memcpy(out.data(), text.data(), std::min(text.size(), out.size() - 1));
        return out;
    }
    case TypeLString: {
        std::string text = ToCodePage1251(value).substr(0, out.size() - 1);
        out[0] = static_cast<uint8_t>(text.size());
        std::memcpy(out.data() + 1, text.data(), text.size());
        return out;
    }
    case TypeInteger:
    case TypeAutoIncrement:
    case TypeUnsignedBinary:
    case TypeBit:
    case TypeTimestamp:
        PutInteger(out, static_cast<uint64_t>(ToInteger(value, field.name)));
        return out;
    case TypeLogical:
        PutInteger(out, value == "true" ? 1 : value == "false" ? 0 : static_cast<uint64_t>(ToInteger(value, field.name)));
        return out;
    case TypeCurrency:
        PutInteger(out, static_cast<uint64_t>(std::llround(ToDouble(value) * 10000.0)));
        return out;
    case TypeFloat: {
        double v = ToDouble(value);
        if (field.size == 4) {
            float f = static_cast<float>(v);
            std::memcpy(out.data(), &f, 4);
        } else if (field.size == 8) {
            std::memcpy(out.data(), &v, 8);
        } else {
            throw EFixtureError("float field " + field.name + " must be 4 or 8 bytes");
        }
        return out;
    }
    case TypeBFloat:
        return EncodeBFloat(ToDouble(value), field.size);
    case TypeDate: {
        int y = 0, m = 0, d = 0;
        if (std::sscanf(value.c_str(), "%d-%d-%d", &y, &m, &d) != 3) throw EFixtureError("not a date: " + value);
        out = {static_cast<uint8_t>(d), static_cast<uint8_t>(m), static_cast<uint8_t>(y & 0xFF), static_cast<uint8_t>(y >> 8)};
        return out;
    }
    case TypeTime: {
        int h = 0, m = 0, s = 0, c = 0;
        if (std::sscanf(value.c_str(), "%d:%d:%d.%d", &h, &m, &s, &c) < 3) throw EFixtureError("not a time: " + value);
        out = {static_cast<uint8_t>(c), static_cast<uint8_t>(s), static_cast<uint8_t>(m), static_cast<uint8_t>(h)};
        return out;
    }
    case TypeDecimal:
    case TypeMoney: {
        bool negative;
        std::string digits = ScaledDigits(value, field.decimals, field.size * 2 - 1, negative);
        digits.push_back(negative ? 0x0D : 0x0F);
        for (size_t i = 0; i < out.size(); ++i) {
            uint8_t hi = static_cast<uint8_t>(digits[2 * i] - '0');
            uint8_t lo = static_cast<uint8_t>(digits[2 * i + 1]);
            if (lo >= '0') lo = static_cast<uint8_t>(lo - '0');
            out[i] = static_cast<uint8_t>(hi << 4 | lo);
        }
        return out;
    }
    case TypeNumeric: {
        bool negative;
        std::string digits = ScaledDigits(value, field.decimals, field.size, negative);
        if (negative) digits.back() = digits.back() == '0' ? '}' : static_cast<char>('J' + (digits.back() - '1'));
        std::memcpy(out.data(), digits.data(), out.size());
        return out;
    }
    case TypeNumericSts: {
        bool negative;
        std::string digits = ScaledDigits(value, field.decimals, field.size - 1, negative);
        digits.push_back(negative ? '-' : '+');
        std::memcpy(out.data(), digits.data(), out.size());
        return out;
    }
    default:
        throw EFixtureError("no value encoding for type " + std::to_string(field.type) + " of " + field.name);
    }
}

Bytes FixtureTable::FileSpecification() const {
    Bytes spec(sizeof(FileSpecHeader), 0);
    FileSpecHeader header{};
    header.recordLength = recordLength;
    header.pageSize = pageSize;
    header.keyCount = static_cast<uint8_t>(keys.size());
    header.fileFlags = variable ? FileVariableLength : 0;
    std::memcpy(spec.data(), &header, sizeof header);
    for (const auto& key : keys) {
        for (size_t i = 0; i < key.fields.size(); ++i) {
            const FixtureField& f = fields[key.fields[i]];
            KeySegmentSpec s{};
            s.position = static_cast<uint16_t>(f.offset + 1);
            s.length = f.size;
            s.flags = static_cast<uint16_t>(key.flags | (i + 1 < key.fields.size() ? KeySegmented : 0));
            s.dataType = f.type;
            s.nullValue = key.nullValue;
            const auto* p = reinterpret_cast<const uint8_t*>(&s);
            spec.insert(spec.end(), p, p + sizeof s);
        }
    }
    return spec;
}

std::vector<FixtureTable> ParseFixtureDescription(const std::string& text) {
    std::vector<FixtureTable> tables;
    std::istringstream lines(text);
    std::string line;
    size_t number = 0;
    auto fail = [&](const std::string& why) -> void {
        throw EFixtureError("line " + std::to_string(number) + ": " + why);
    };
    auto finish = [&]() {
        if (tables.empty()) return;
        FixtureTable& t = tables.back();
        uint16_t end = 0;
        for (const auto& f : t.fields) end = std::max<uint16_t>(end, static_cast<uint16_t>(f.offset + f.size));
        if (t.recordLength == 0) t.recordLength = end;
        if (t.recordLength < end) fail("table " + t.name + " is shorter than its fields");
    };
    while (std::getline(lines, line)) {
        ++number;
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        auto tokens = Tokens(line, number);
        if (tokens.empty()) continue;
        const std::string& what = tokens[0];
        if (what == "table") {
            finish();
            if (tokens.size() < 3) fail("table needs a name and a location");
            FixtureTable t;
            t.name = ToCodePage1251(tokens[1]);
            t.location = tokens[2];
            for (size_t i = 3; i < tokens.size(); ++i) {
                const std::string& o = tokens[i];
                if (o.rfind("id=", 0) == 0) t.id = static_cast<uint16_t>(ToInteger(o.substr(3), "id"));
                else if (o.rfind("length=", 0) == 0) t.recordLength = static_cast<uint16_t>(ToInteger(o.substr(7), "length"));
                else if (o.rfind("pagesize=", 0) == 0) t.pageSize = static_cast<uint16_t>(ToInteger(o.substr(9), "pagesize"));
                else if (o == "variable") t.variable = true;
                else if (o.rfind("owner=", 0) == 0 && o.size() > 6 && o.size() <= 14) t.owner = o.substr(6);
                else fail("unknown table option " + o);
            }
            tables.push_back(std::move(t));
            continue;
        }
        if (tables.empty()) fail(what + " before any table");
        FixtureTable& t = tables.back();
        if (what == "field") {
            if (tokens.size() < 4) fail("field needs a name, a type and a size");
            FixtureField f;
            f.name = ToCodePage1251(tokens[1]);
            auto type = TypeNames().find(tokens[2]);
            f.type = type != TypeNames().end() ? type->second : static_cast<uint8_t>(ToInteger(tokens[2], "type"));
            f.size = static_cast<uint16_t>(ToInteger(tokens[3], "size"));
            f.offset = t.fields.empty() ? 0 : static_cast<uint16_t>(t.fields.back().offset + t.fields.back().size);
            for (size_t i = 4; i < tokens.size(); ++i) {
                const std::string& o = tokens[i];
                if (o.rfind("dec=", 0) == 0) f.decimals = static_cast<uint8_t>(ToInteger(o.substr(4), "dec"));
                else if (o.rfind("at=", 0) == 0) f.offset = static_cast<uint16_t>(ToInteger(o.substr(3), "at"));
                else fail("unknown field option " + o);
            }
            t.fields.push_back(std::move(f));
        } else if (what == "key") {
            if (tokens.size() < 2) fail("key needs its fields");
            FixtureKey key;
            std::string names = tokens[1] + "+";
            for (size_t start = 0, plus; (plus = names.find('+', start)) != std::string::npos; start = plus + 1) {
                std::string name = ToCodePage1251(names.substr(start, plus - start));
                size_t i = 0;
                while (i < t.fields.size() && t.fields[i].name != name) ++i;
                if (i == t.fields.size()) fail("no field " + names.substr(start, plus - start));
                key.fields.push_back(i);
            }
            for (size_t i = 2; i < tokens.size(); ++i) {
                const std::string& o = tokens[i];
                if (o == "dup") key.flags |= KeyDuplicates;
                else if (o == "mod") key.flags |= KeyModifiable;
                else if (o == "desc") key.flags |= KeyDescending;
                else if (o == "nocase") key.flags |= KeyCaseInsensitive;
                else if (o == "nullany") key.flags |= KeyNullAnySegment;
                else if (o.rfind("null=", 0) == 0) {
                    key.flags |= KeyNullAllSegments;
                    key.nullValue = static_cast<uint8_t>(ToInteger(o.substr(5), "null"));
                } else fail("unknown key option " + o);
            }
            t.keys.push_back(std::move(key));
        } else if (what == "indexname") {
            if (tokens.size() != 3) fail("indexname needs a key number and a name");
            t.indexNames.emplace_back(static_cast<uint16_t>(ToInteger(tokens[1], "key number")), ToCodePage1251(tokens[2]));
        } else if (what == "row") {
            finish();
            if (tokens.size() - 1 > t.fields.size()) fail("more values than fields");
            Bytes record(t.recordLength, 0);
            for (size_t i = 0; i < t.fields.size(); ++i) {
                const FixtureField& f = t.fields[i];
                Bytes value;
                try {
                    value = EncodeFieldValue(f, i + 1 < tokens.size() ? tokens[i + 1]
                                                : (f.type == TypeString ? std::string() : std::string("null")));
                } catch (const EFixtureError& e) {
                    fail(e.Message());
                }
                std::copy(value.begin(), value.end(), record.begin() + f.offset);
            }
            t.rows.push_back(std::move(record));
        } else {
            fail("unknown line " + what);
        }
    }
    finish();
    return tables;
}

}  // namespace wbtrv
