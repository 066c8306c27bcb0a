#include "Variant.h"

#include <cmath>
#include <limits>

#include "DateTime.h"
#include "Rounding.h"

namespace platform {

struct Variant::ArrayData {
    int lowBound = 0;
    std::vector<Variant> items;
};

Currency Currency::FromDouble(double value) {
    const double scaled = RoundHalfEven(value * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18)
        throw EVariantError("Arithmetic overflow converting to Currency");
    return FromScaled(static_cast<int64_t>(scaled));
}

Variant Variant::Null() {
    Variant v;
    v.type_ = varNull;
    return v;
}

Variant Variant::FromDateTime(TDateTime value) {
    Variant v;
    v.type_ = varDate;
    v.float_ = value;
    return v;
}

Variant Variant::Array(int lowBound, int highBound) {
    if (highBound < lowBound - 1) throw EVariantError("Invalid variant array bounds");
    Variant v;
    v.type_ = varArray;
    v.array_ = std::make_shared<ArrayData>();
    v.array_->lowBound = lowBound;
    v.array_->items.resize(static_cast<size_t>(highBound - lowBound + 1));
    return v;
}

Variant Variant::ArrayOf(std::initializer_list<Variant> values) {
    return ArrayOf(std::vector<Variant>(values));
}

Variant Variant::ArrayOf(const std::vector<Variant>& values) {
    Variant v = Array(0, static_cast<int>(values.size()) - 1);
    v.array_->items = values;
    return v;
}

Variant::Variant(const Variant& other)
    : type_(other.type_), int_(other.int_), float_(other.float_), text_(other.text_),
      array_(other.array_ ? std::make_shared<ArrayData>(*other.array_) : nullptr) {}

Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Variant::Variant(Variant&& other) noexcept = default;
Variant& Variant::operator=(Variant&& other) noexcept = default;
Variant::~Variant() = default;

bool Variant::IsOrdinal() const {
    switch (type_) {
    case varSmallint:
    case varInteger:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return true;
    default: return false;
    }
}

bool Variant::IsFloat() const { return type_ == varSingle || type_ == varDouble || type_ == varCurrency; }

AnsiString Variant::TypeName(TVarType type) {
    switch (type) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varSingle: return "Single";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varOleStr: return "OleStr";
    case varBoolean: return "Boolean";
    case varVariant: return "Variant";
    case varShortInt: return "ShortInt";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varLongWord: return "LongWord";
    case varInt64: return "Int64";
    case varString: return "String";
    case varArray: return "Array";
    }
    return "Unknown";
}

void Variant::CastError(TVarType target) const {
    throw EVariantError("Could not convert variant of type (" + TypeName(type_) + ") into type (" +
                        TypeName(target) + ")");
}

double Variant::NumberOf() const {
    if (IsOrdinal()) return static_cast<double>(int_);
    if (type_ == varCurrency) return Currency::FromScaled(int_).ToDouble();
    return float_;  // single, double, date
}

int64_t Variant::AsInt64() const {
    switch (type_) {
    case varEmpty: return 0;
    case varSingle:
    case varDouble:
    case varDate:
    case varCurrency: {
        // Floats round half to even, as the runtime's rounding does.
        const double r = RoundHalfEven(NumberOf());
        if (!(std::fabs(r) < 9.2233720368547758e18)) CastError(varInt64);
        return static_cast<int64_t>(r);
    }
    case varString: {
        int64_t i;
        if (TryStrToInt64(text_, i)) return i;
        double d;
        if (TryStrToFloat(text_, d) && std::fabs(d) < 9.2233720368547758e18)
            return static_cast<int64_t>(RoundHalfEven(d));
        CastError(varInt64);
    }
    default:
        if (IsOrdinal()) return int_;
        CastError(varInt64);
    }
}

int32_t Variant::AsInteger() const {
    if (type_ == varString || type_ == varNull || type_ == varArray) {
        try {
            const int64_t v = AsInt64();
            if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
                return static_cast<int32_t>(v);
        } catch (const EVariantError&) {
        }
        CastError(varInteger);
    }
    const int64_t v = AsInt64();
    // A long word keeps its bit pattern; other values must fit.
    if (type_ == varLongWord) return static_cast<int32_t>(static_cast<uint32_t>(v));
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw EVariantError("Overflow while converting variant of type (" + TypeName(type_) + ") into type (Integer)");
    return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
    switch (type_) {
    case varEmpty: return 0;
    case varString: {
        double d;
        if (TryStrToFloat(text_, d)) return d;
        CastError(varDouble);
    }
    case varNull:
    case varArray: CastError(varDouble);
    default: return NumberOf();
    }
}

Currency Variant::AsCurrency() const {
    if (type_ == varCurrency) return Currency::FromScaled(int_);
    try {
        return Currency::FromDouble(AsDouble());
    } catch (const EVariantError&) {
        CastError(varCurrency);
    }
}

bool Variant::AsBoolean() const {
    switch (type_) {
    case varEmpty: return false;
    case varString: {
        if (AnsiSameText(text_, "True")) return true;
        if (AnsiSameText(text_, "False")) return false;
        double d;
        if (TryStrToFloat(text_, d)) return d != 0;
        CastError(varBoolean);
    }
    case varNull:
    case varArray: CastError(varBoolean);
    default: return NumberOf() != 0;
    }
}

TDateTime Variant::AsDateTime() const {
    switch (type_) {
    case varEmpty: return 0;
    case varString: {
        TDateTime d;
        if (TryStrToDateTime(text_, d)) return d;
        CastError(varDate);
    }
    case varNull:
    case varArray: CastError(varDate);
    default: return NumberOf();
    }
}

namespace {

// Exact text of a currency amount: no trailing zeros among its four decimals.
AnsiString CurrencyText(Currency value) {
    const int64_t scaled = value.Scaled();
    const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    AnsiString out;
    if (scaled < 0) out += '-';
    out += std::to_string(magnitude / 10000);
    AnsiString fraction = std::to_string(magnitude % 10000 + 10000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) out += FormatSettings().DecimalSeparator + fraction;
    return out;
}

}  // namespace

AnsiString Variant::AsString() const {
    switch (type_) {
    case varEmpty: return AnsiString();
    case varString: return text_;
    case varBoolean: return int_ ? "True" : "False";
    case varDate: return DateTimeToStr(float_);
    case varSingle: return FloatToStrF(float_, TFloatFormat::ffGeneral, 7, 0);
    case varDouble: return FloatToStr(float_);
    case varCurrency: return CurrencyText(Currency::FromScaled(int_));
    case varNull:
    case varArray: CastError(varString);
    default: return IntToStr(int_);
    }
}

int Variant::LowBound() const {
    if (!array_) throw EVariantError("Variant is not an array");
    return array_->lowBound;
}

int Variant::HighBound() const {
    if (!array_) throw EVariantError("Variant is not an array");
    return array_->lowBound + static_cast<int>(array_->items.size()) - 1;
}

const Variant& Variant::operator[](int index) const {
    if (!array_) throw EVariantError("Variant is not an array");
    if (index < array_->lowBound || index > HighBound()) throw EVariantError("Variant array index out of bounds");
    return array_->items[static_cast<size_t>(index - array_->lowBound)];
}

Variant& Variant::operator[](int index) {
    return const_cast<Variant&>(static_cast<const Variant&>(*this)[index]);
}

void Variant::Redim(int highBound) {
    if (!array_) throw EVariantError("Variant is not an array");
    if (highBound < array_->lowBound - 1) throw EVariantError("Invalid variant array bounds");
    array_->items.resize(static_cast<size_t>(highBound - array_->lowBound + 1));
}

// ---- comparison ----

namespace {

TVariantRelationship Order(double a, double b) {
    if (a == b) return TVariantRelationship::vrEqual;
    return a < b ? TVariantRelationship::vrLessThan : TVariantRelationship::vrGreaterThan;
}

TVariantRelationship Order(int64_t a, int64_t b) {
    if (a == b) return TVariantRelationship::vrEqual;
    return a < b ? TVariantRelationship::vrLessThan : TVariantRelationship::vrGreaterThan;
}

bool IsWholeNumber(const Variant& v) { return v.IsOrdinal(); }

}  // namespace

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
    if (a.IsClear() || b.IsClear())
        return a.IsClear() && b.IsClear() ? TVariantRelationship::vrEqual : TVariantRelationship::vrNotEqual;
    if (a.IsArray() || b.IsArray()) {
        if (!a.IsArray() || !b.IsArray() || a.LowBound() != b.LowBound() || a.HighBound() != b.HighBound())
            return TVariantRelationship::vrNotEqual;
        for (int i = a.LowBound(); i <= a.HighBound(); ++i)
            if (VarCompareValue(a[i], b[i]) != TVariantRelationship::vrEqual) return TVariantRelationship::vrNotEqual;
        return TVariantRelationship::vrEqual;
    }
    if (a.IsString() && b.IsString()) {
        const int r = AnsiCompareStr(a.AsString(), b.AsString());
        return r == 0 ? TVariantRelationship::vrEqual
                      : (r < 0 ? TVariantRelationship::vrLessThan : TVariantRelationship::vrGreaterThan);
    }
    if (IsWholeNumber(a) && IsWholeNumber(b)) return Order(a.AsInt64(), b.AsInt64());
    if (a.VarType() == varBoolean || b.VarType() == varBoolean)
        return Order(int64_t(a.AsBoolean() ? -1 : 0), int64_t(b.AsBoolean() ? -1 : 0));
    // A text meets a number or date: read it as the other side's kind.
    if (a.VarType() == varDate || b.VarType() == varDate) return Order(a.AsDateTime(), b.AsDateTime());
    return Order(a.AsDouble(), b.AsDouble());
}

bool operator==(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == TVariantRelationship::vrEqual; }
bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }
bool operator<(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == TVariantRelationship::vrLessThan; }
bool operator>(const Variant& a, const Variant& b) { return VarCompareValue(a, b) == TVariantRelationship::vrGreaterThan; }
bool operator<=(const Variant& a, const Variant& b) {
    const TVariantRelationship r = VarCompareValue(a, b);
    return r == TVariantRelationship::vrLessThan || r == TVariantRelationship::vrEqual;
}
bool operator>=(const Variant& a, const Variant& b) {
    const TVariantRelationship r = VarCompareValue(a, b);
    return r == TVariantRelationship::vrGreaterThan || r == TVariantRelationship::vrEqual;
}

AnsiString VarToStr(const Variant& v) { return v.IsNull() ? AnsiString() : v.AsString(); }

}  // namespace platform
