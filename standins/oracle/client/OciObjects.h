// Object values between a program's instances and what travels to the server: an
// instance, collection or REF becomes an object image (Null when it is null), and a
// fetched or returned image fills the program's instance in place.
#pragma once
#include "standins/oracle/client/OciHandles.h"

namespace orastandin::oci {

// The value of the object (dty SQLT_NTY) or REF (SQLT_REF) in a bind's slot; indicator is
// the program's indicator structure, or null for the instance's own.
Value ObjectBindValue(ub2 dty, const void* instance, const void* indicator);

// Fills the object or REF in *instanceSlot from v (a new one when the slot is empty, of
// type's kind) and points *indicatorSlot (when given) at its indicator structure.
void StoreObjectValue(TypeDescriptor* type, ub2 dty, void** instanceSlot, void** indicatorSlot, const Value& v,
                      SvcCtxHandle* service);

// OCINumber in this client's own format, from and to the values that travel.
void NumberFromValue(const Value& v, OCINumber& number);
Value NumberValue(const OCINumber& number);

}  // namespace orastandin::oci
