// oci.dll: numbers and strings of object instances. An OCINumber holds this client's own
// format (all-zero bytes are zero); an OCIString is a registered text owned by the
// environment of its first use, freed by a resize to 0.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "standins/oracle/client/OciCalls.h"
#include "standins/oracle/client/OciObjects.h"

using namespace orastandin;
using namespace orastandin::oci;

namespace {

// bytes[0]: 0 zero, 1 a 64-bit integer, 2 a double, in bytes 1..8.
enum NumberKind : ub1 { NumberZero = 0, NumberInteger = 1, NumberReal = 2 };

void StoreInteger(OCINumber& number, std::int64_t value) {
  std::memset(number.bytes, 0, sizeof number.bytes);
  if (value == 0) return;
  number.bytes[0] = NumberInteger;
  std::memcpy(number.bytes + 1, &value, sizeof value);
}

void StoreReal(OCINumber& number, double value) {
  if (!std::isfinite(value)) throw OraError(22053);
  if (value == std::trunc(value) && std::fabs(value) < 9.2e18) return StoreInteger(number, static_cast<std::int64_t>(value));
  std::memset(number.bytes, 0, sizeof number.bytes);
  number.bytes[0] = NumberReal;
  std::memcpy(number.bytes + 1, &value, sizeof value);
}

long double ValueOf(const OCINumber& number) {
  switch (number.bytes[0]) {
    case NumberZero: return 0;
    case NumberInteger: {
      std::int64_t v;
      std::memcpy(&v, number.bytes + 1, sizeof v);
      return static_cast<long double>(v);
    }
    case NumberReal: {
      double v;
      std::memcpy(&v, number.bytes + 1, sizeof v);
      return v;
    }
    default: throw OraError(22060, "1");
  }
}

// Each branch widens on its own: a conditional would bring both to the unsigned type.
template <class S, class U>
std::int64_t ReadInteger(const void* in, bool isSigned) {
  if (isSigned) return *static_cast<const S*>(in);
  return *static_cast<const U*>(in);
}

template <class T>
void PutInteger(long double value, void* out) {
  if (value < static_cast<long double>(std::numeric_limits<T>::min()) ||
      value > static_cast<long double>(std::numeric_limits<T>::max()))
    throw OraError(22053);
  *static_cast<T*>(out) = static_cast<T>(value);
}


StringValue* StringOf(const void* s) { return Handles().Find<StringValue>(s, StandinString); }

}  // namespace

void orastandin::oci::NumberFromValue(const Value& v, OCINumber& number) {
  switch (v.kind) {
    case Value::Kind::Integer: return StoreInteger(number, v.integer);
    case Value::Kind::Real: return StoreReal(number, v.real);
    case Value::Kind::Text: {
      char* end = nullptr;
      const double d = std::strtod(v.bytes.c_str(), &end);
      if (!end || *end != '\0') throw OraError(1722);
      return StoreReal(number, d);
    }
    default: std::memset(number.bytes, 0, sizeof number.bytes);
  }
}

Value orastandin::oci::NumberValue(const OCINumber& number) {
  if (number.bytes[0] == NumberReal) return Value::Float(static_cast<double>(ValueOf(number)));
  return Value::Int(static_cast<std::int64_t>(ValueOf(number)));
}

OCI_EXPORT sword OCINumberFromInt(OCIError* err, const dvoid* inum, uword inumLength, uword inumSFlag,
                                  OCINumber* number) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!inum || !number) return OCI_INVALID_HANDLE;
    const bool isSigned = inumSFlag == OCI_NUMBER_SIGNED;
    std::int64_t value = 0;
    std::uint64_t unsignedValue = 0;
    switch (inumLength) {
      case 1: value = ReadInteger<std::int8_t, std::uint8_t>(inum, isSigned); break;
      case 2: value = ReadInteger<std::int16_t, std::uint16_t>(inum, isSigned); break;
      case 4: value = ReadInteger<std::int32_t, std::uint32_t>(inum, isSigned); break;
      case 8:
        std::memcpy(&unsignedValue, inum, 8);
        if (!isSigned && unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
          StoreReal(*number, static_cast<double>(unsignedValue));
          return OCI_SUCCESS;
        }
        value = static_cast<std::int64_t>(unsignedValue);
        break;
      default: throw OraError(22053);
    }
    StoreInteger(*number, value);
    return OCI_SUCCESS;
  });
}

// Fractions are cut off; a value the result cannot hold: ORA-22053.
OCI_EXPORT sword OCINumberToInt(OCIError* err, const OCINumber* number, uword rsltLength, uword rsltFlag, dvoid* rslt) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!number || !rslt) return OCI_INVALID_HANDLE;
    const long double value = std::trunc(ValueOf(*number));
    const bool isSigned = rsltFlag == OCI_NUMBER_SIGNED;
    switch (rsltLength) {
      case 1: isSigned ? PutInteger<std::int8_t>(value, rslt) : PutInteger<std::uint8_t>(value, rslt); break;
      case 2: isSigned ? PutInteger<std::int16_t>(value, rslt) : PutInteger<std::uint16_t>(value, rslt); break;
      case 4: isSigned ? PutInteger<std::int32_t>(value, rslt) : PutInteger<std::uint32_t>(value, rslt); break;
      case 8: isSigned ? PutInteger<std::int64_t>(value, rslt) : PutInteger<std::uint64_t>(value, rslt); break;
      default: throw OraError(22053);
    }
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCINumberFromReal(OCIError* err, const dvoid* rnum, uword rnumLength, OCINumber* number) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!rnum || !number) return OCI_INVALID_HANDLE;
    if (rnumLength == sizeof(float)) StoreReal(*number, *static_cast<const float*>(rnum));
    else if (rnumLength == sizeof(double)) StoreReal(*number, *static_cast<const double*>(rnum));
    else if (rnumLength == sizeof(long double)) StoreReal(*number, static_cast<double>(*static_cast<const long double*>(rnum)));
    else throw OraError(22053);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCINumberToReal(OCIError* err, const OCINumber* number, uword rsltLength, dvoid* rslt) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!number || !rslt) return OCI_INVALID_HANDLE;
    const long double value = ValueOf(*number);
    if (rsltLength == sizeof(float)) *static_cast<float*>(rslt) = static_cast<float>(value);
    else if (rsltLength == sizeof(double)) *static_cast<double*>(rslt) = static_cast<double>(value);
    else if (rsltLength == sizeof(long double)) *static_cast<long double*>(rslt) = value;
    else throw OraError(22053);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCINumberAssign(OCIError* err, const OCINumber* from, OCINumber* to) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!from || !to) return OCI_INVALID_HANDLE;
    ValueOf(*from);  // refuses what is not a number
    std::memcpy(to, from, sizeof *to);
    return OCI_SUCCESS;
  });
}

// A size of 0 frees the string; a null string is allocated.
OCI_EXPORT sword OCIStringResize(OCIEnv* env, OCIError* err, ub4 newSize, OCIString** str) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !str) return OCI_INVALID_HANDLE;
    if (newSize == 0) {
      if (*str && !Handles().Free(*str, StandinString)) return OCI_INVALID_HANDLE;
      *str = nullptr;
      return OCI_SUCCESS;
    }
    StringValue* value = *str ? StringOf(*str) : Handles().Create<StringValue>(StandinString, env);
    if (!value) return OCI_INVALID_HANDLE;
    if (value->text.size() >= newSize) value->text.resize(newSize - 1);
    *str = reinterpret_cast<OCIString*>(value);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIStringAssignText(OCIEnv* env, OCIError* err, const OraText* rhs, ub4 rhsLen, OCIString** lhs) {
  return Guard(err, [&](ErrorHandle*) -> sword {
    if (!Handles().Is(env, OCI_HTYPE_ENV) || !lhs || (!rhs && rhsLen)) return OCI_INVALID_HANDLE;
    StringValue* value = *lhs ? StringOf(*lhs) : Handles().Create<StringValue>(StandinString, env);
    if (!value) return OCI_INVALID_HANDLE;
    value->text.assign(reinterpret_cast<const char*>(rhs), rhsLen);
    *lhs = reinterpret_cast<OCIString*>(value);
    return OCI_SUCCESS;
  });
}

OCI_EXPORT sword OCIStringAssign(OCIEnv* env, OCIError* err, const OCIString* rhs, OCIString** lhs) {
  StringValue* from = StringOf(rhs);
  if (!from) return OCI_INVALID_HANDLE;
  const std::string text = from->text;
  return OCIStringAssignText(env, err, reinterpret_cast<const OraText*>(text.data()), static_cast<ub4>(text.size()), lhs);
}

OCI_EXPORT OraText* OCIStringPtr(OCIEnv*, const OCIString* vs) {
  StringValue* value = StringOf(vs);
  return value ? reinterpret_cast<OraText*>(value->text.data()) : nullptr;
}

OCI_EXPORT ub4 OCIStringSize(OCIEnv*, const OCIString* vs) {
  StringValue* value = StringOf(vs);
  return value ? static_cast<ub4>(value->text.size()) : 0;
}
