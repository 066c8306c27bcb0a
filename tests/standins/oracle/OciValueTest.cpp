// Numbers and strings of object instances through oci.dll, bound by name as the Oracle
// layer binds them. No server is involved.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

class OciValueTest : public ::testing::Test {
 protected:
  OciLibrary oci_;
  OCINumberFromIntProc fromInt_ = oci_.Bind<OCINumberFromIntProc>("OCINumberFromInt");
  OCINumberToIntProc toInt_ = oci_.Bind<OCINumberToIntProc>("OCINumberToInt");
  OCINumberFromRealProc fromReal_ = oci_.Bind<OCINumberFromRealProc>("OCINumberFromReal");
  OCINumberToRealProc toReal_ = oci_.Bind<OCINumberToRealProc>("OCINumberToReal");
  OCIStringResizeProc resize_ = oci_.Bind<OCIStringResizeProc>("OCIStringResize");
  OCIStringAssignTextProc assignText_ = oci_.Bind<OCIStringAssignTextProc>("OCIStringAssignText");
  OCIStringPtrProc ptr_ = oci_.Bind<OCIStringPtrProc>("OCIStringPtr");
};

TEST_F(OciValueTest, NumbersKeepIntegersAndReals) {
  const std::int64_t integers[] = {0, 1, -1, 999999999, -2147483647 - 1, 9007199254740993LL};
  for (std::int64_t value : integers) {
    OCINumber number{};
    ASSERT_EQ(fromInt_(oci_.err, &value, sizeof value, OCI_NUMBER_SIGNED, &number), OCI_SUCCESS);
    std::int64_t back = 0;
    ASSERT_EQ(toInt_(oci_.err, &number, sizeof back, OCI_NUMBER_SIGNED, &back), OCI_SUCCESS);
    EXPECT_EQ(back, value);
  }
  const double reals[] = {3.25, -0.5, 1e-7, 12345678.875};
  for (double value : reals) {
    OCINumber number{};
    ASSERT_EQ(fromReal_(oci_.err, &value, sizeof value, &number), OCI_SUCCESS);
    double back = 0;
    ASSERT_EQ(toReal_(oci_.err, &number, sizeof back, &back), OCI_SUCCESS);
    EXPECT_EQ(back, value);
  }
  // A fraction read as an integer is cut off; an integer read as a real is exact.
  double fraction = -2.75;
  OCINumber number{};
  fromReal_(oci_.err, &fraction, sizeof fraction, &number);
  std::int32_t truncated = 0;
  EXPECT_EQ(toInt_(oci_.err, &number, sizeof truncated, OCI_NUMBER_SIGNED, &truncated), OCI_SUCCESS);
  EXPECT_EQ(truncated, -2);
  std::int32_t whole = 42;
  fromInt_(oci_.err, &whole, sizeof whole, OCI_NUMBER_SIGNED, &number);
  double real = 0;
  toReal_(oci_.err, &number, sizeof real, &real);
  EXPECT_EQ(real, 42.0);
}

TEST_F(OciValueTest, ZeroBytesAreZeroAndOverflowIsRefused) {
  OCINumber zero{};
  std::int32_t value = -1;
  ASSERT_EQ(toInt_(oci_.err, &zero, sizeof value, OCI_NUMBER_SIGNED, &value), OCI_SUCCESS);
  EXPECT_EQ(value, 0);
  double real = -1;
  ASSERT_EQ(toReal_(oci_.err, &zero, sizeof real, &real), OCI_SUCCESS);
  EXPECT_EQ(real, 0.0);

  std::int32_t big = 300;
  OCINumber number{};
  fromInt_(oci_.err, &big, sizeof big, OCI_NUMBER_SIGNED, &number);
  std::int8_t small = 0;
  EXPECT_EQ(toInt_(oci_.err, &number, sizeof small, OCI_NUMBER_SIGNED, &small), OCI_ERROR);
  EXPECT_EQ(oci_.LastError(), 22053);
  std::int32_t negative = -5;
  fromInt_(oci_.err, &negative, sizeof negative, OCI_NUMBER_SIGNED, &number);
  std::uint32_t unsignedValue = 0;
  EXPECT_EQ(toInt_(oci_.err, &number, sizeof unsignedValue, 0, &unsignedValue), OCI_ERROR);
  EXPECT_EQ(oci_.LastError(), 22053);
  OCINumber garbage{};
  garbage.bytes[0] = 0x7F;
  EXPECT_EQ(toReal_(oci_.err, &garbage, sizeof real, &real), OCI_ERROR);
  EXPECT_EQ(oci_.LastError(), 22060);
}

TEST_F(OciValueTest, StringsAreAllocatedAssignedAndFreed) {
  OCIString* text = nullptr;
  ASSERT_EQ(resize_(oci_.env, oci_.err, 6, &text), OCI_SUCCESS);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(ptr_(oci_.env, text)), "");
  const char hello[] = "hello";
  ASSERT_EQ(assignText_(oci_.env, oci_.err, reinterpret_cast<const OraText*>(hello), 5, &text), OCI_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(ptr_(oci_.env, text)), "hello");
  ASSERT_EQ(resize_(oci_.env, oci_.err, 3, &text), OCI_SUCCESS);  // room for two characters and the end
  EXPECT_STREQ(reinterpret_cast<char*>(ptr_(oci_.env, text)), "he");

  OCIString* assigned = nullptr;  // assigning to a null string allocates it
  ASSERT_EQ(assignText_(oci_.env, oci_.err, reinterpret_cast<const OraText*>(hello), 4, &assigned), OCI_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(ptr_(oci_.env, assigned)), "hell");

  OCIString* freed = text;
  ASSERT_EQ(resize_(oci_.env, oci_.err, 0, &text), OCI_SUCCESS);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(ptr_(oci_.env, freed), nullptr);  // a freed string is no longer followed
  EXPECT_EQ(resize_(oci_.env, oci_.err, 4, &freed), OCI_INVALID_HANDLE);
  resize_(oci_.env, oci_.err, 0, &assigned);
}

}  // namespace
}  // namespace orastandin::testing
