// Variant: the runtime's self-describing value (empty, null, integers, floats, currency,
// text, date-time, boolean and one-dimensional arrays of variants). Field values,
// parameters, Locate/Lookup keys and published property values all travel as variants.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "SysUtils.h"

namespace platform {

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

// A conversion or operation the variant's type does not allow. It is a conversion
// error, so callers that guard text conversions catch it too.
class EVariantError : public EConvertError { using EConvertError::EConvertError; };

// Fixed-point money value: the amount times 10000.
class Currency {
public:
    Currency() = default;
    static Currency FromScaled(int64_t scaled) { Currency c; c.scaled_ = scaled; return c; }
    // Rounds to the nearest ten-thousandth; raises EVariantError beyond the range.
    static Currency FromDouble(double value);
    int64_t Scaled() const { return scaled_; }
    double ToDouble() const { return static_cast<double>(scaled_) / 10000.0; }
    friend bool operator==(Currency a, Currency b) { return a.scaled_ == b.scaled_; }

private:
    int64_t scaled_ = 0;
};

// Type codes; the values follow the runtime's variant type numbering.
enum TVarType : uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varSingle = 0x0004,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varOleStr = 0x0008,  // never produced: texts are single-byte (varString)
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varShortInt = 0x0010,
    varByte = 0x0011,
    varWord = 0x0012,
    varLongWord = 0x0013,
    varInt64 = 0x0014,
    varString = 0x0100,
    varArray = 0x2000,
};

// Outcome of comparing two variants. vrNotEqual: they differ but have no order
// (one of them is empty or null).
enum class TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
public:
    Variant() = default;  // empty
    Variant(int16_t v) : type_(varSmallint), int_(v) {}
    Variant(int32_t v) : type_(varInteger), int_(v) {}
    Variant(long v) : type_(varInteger), int_(v) {}
    Variant(int64_t v) : type_(varInt64), int_(v) {}
    Variant(int8_t v) : type_(varShortInt), int_(v) {}
    Variant(uint8_t v) : type_(varByte), int_(v) {}
    Variant(uint16_t v) : type_(varWord), int_(v) {}
    Variant(uint32_t v) : type_(varLongWord), int_(v) {}
    Variant(unsigned long v) : type_(varLongWord), int_(static_cast<uint32_t>(v)) {}
    Variant(float v) : type_(varSingle), float_(v) {}
    Variant(double v) : type_(varDouble), float_(v) {}
    Variant(Currency v) : type_(varCurrency), int_(v.Scaled()) {}
    Variant(bool v) : type_(varBoolean), int_(v ? -1 : 0) {}
    Variant(const AnsiString& v) : type_(varString), text_(v) {}
    Variant(AnsiString&& v) : type_(varString), text_(std::move(v)) {}
    Variant(const char* v) : type_(varString), text_(v ? v : "") {}

    static Variant Null();
    static Variant FromDateTime(TDateTime value);
    // An array indexed lowBound..highBound whose elements are empty.
    static Variant Array(int lowBound, int highBound);
    // An array indexed from 0 holding the given values.
    static Variant ArrayOf(std::initializer_list<Variant> values);
    static Variant ArrayOf(const std::vector<Variant>& values);

    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    TVarType VarType() const { return type_; }
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNull() const { return type_ == varNull; }
    // Empty or null: the variant holds no value.
    bool IsClear() const { return type_ == varEmpty || type_ == varNull; }
    bool IsArray() const { return type_ == varArray; }
    bool IsString() const { return type_ == varString; }
    bool IsOrdinal() const;   // the integer types and boolean
    bool IsFloat() const;     // single, double, currency
    bool IsNumeric() const { return IsOrdinal() || IsFloat(); }

    // Conversions. Empty reads as 0, "" or false; null and arrays raise EVariantError;
    // text is read with the process's format settings and raises EVariantError when
    // it does not hold the wanted kind of value.
    int32_t AsInteger() const;
    int64_t AsInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    AnsiString AsString() const;

    // Arrays: bounds and element access; an index outside the bounds or a
    // non-array variant raises EVariantError.
    int LowBound() const;
    int HighBound() const;
    int ElementCount() const { return HighBound() - LowBound() + 1; }
    const Variant& operator[](int index) const;
    Variant& operator[](int index);
    // Moves the high bound; elements inside both bounds are kept.
    void Redim(int highBound);

    // Name of a variant type for messages ("Integer", "String", "Null" ...).
    static AnsiString TypeName(TVarType type);

private:
    struct ArrayData;
    [[noreturn]] void CastError(TVarType target) const;
    double NumberOf() const;  // numeric and date types as a double

    TVarType type_ = varEmpty;
    int64_t int_ = 0;
    double float_ = 0;
    AnsiString text_;
    std::shared_ptr<ArrayData> array_;  // never shared: copies copy the elements
};

// Ordering rules:
// - empty and null equal each other and differ from every value (vrNotEqual);
// - numbers, booleans (-1/0), currency and dates compare by value;
// - two texts compare in the user's locale, case-sensitively;
// - a text against a number or date is read as that kind first (EVariantError when
//   it cannot be);
// - arrays are equal when their bounds and elements are; they have no order.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
bool operator==(const Variant& a, const Variant& b);
bool operator!=(const Variant& a, const Variant& b);
bool operator<(const Variant& a, const Variant& b);
bool operator<=(const Variant& a, const Variant& b);
bool operator>(const Variant& a, const Variant& b);
bool operator>=(const Variant& a, const Variant& b);

// Text of a variant with null and empty as "".
AnsiString VarToStr(const Variant& v);

}  // namespace platform
