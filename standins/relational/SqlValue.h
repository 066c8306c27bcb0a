// Values of the engine's expressions and their encoding in the fields of a record, by the
// field's Btrieve data type.
#pragma once

#include <cstdint>
#include <string>

#include "btrieve/engines/RelationalApi.h"

namespace wssql {

// A failure inside the engine, carrying the status the entry point answers.
class SqlError {
public:
    explicit SqlError(int16_t status) : status_(status) {}
    int16_t Status() const { return status_; }

private:
    int16_t status_;
};

struct FieldDef {
    std::string name;
    uint8_t type = 0;
    uint16_t offset = 0;
    uint16_t size = 0;
    uint8_t decimals = 0;
};

struct Value {
    // Dates are kept as yyyymmdd, times as hhmmsscc, so both compare as numbers.
    enum Kind { Null, Int, Float, Text, Date, Time };
    Kind kind = Null;
    int64_t integer = 0;
    double real = 0;
    std::string text;

    static Value OfInt(int64_t v) { return Value{Int, v, 0, {}}; }
    static Value OfFloat(double v) { return Value{Float, 0, v, {}}; }
    static Value OfText(std::string v) { return Value{Text, 0, 0, std::move(v)}; }
    bool IsNumber() const { return kind == Int || kind == Float; }
    double AsDouble() const { return kind == Float ? real : static_cast<double>(integer); }
};

// -1, 0, 1; texts convert to the other side's kind. Raises SqlStatusBadValue when they
// cannot; a Null on either side is the caller's to handle.
int Compare(const Value& a, const Value& b);
// The pattern's "%" matches any run, "_" one character.
bool Like(const std::string& text, const std::string& pattern);

Value DecodeField(const FieldDef& field, const uint8_t* record);
// Writes the value into the field's bytes of the record; SqlStatusBadValue when it does
// not convert.
void EncodeField(const FieldDef& field, const Value& value, uint8_t* record);
// The bytes of a field with no value: blanks for fixed strings, zeros otherwise.
void ClearField(const FieldDef& field, uint8_t* record);

}  // namespace wssql
