// The describe of a type, shared by the describe calls and the object instances that are
// laid out from it.
#pragma once
#include <string>

#include "standins/oracle/client/OciHandles.h"

namespace orastandin::oci {

// The type's parameter (owned by owner) with its attribute list or collection element;
// ORA-04043 for an unknown type.
ParamDescriptor* DescribeTypeNamed(SvcCtxHandle* svc, const void* owner, const std::string& name);

}  // namespace orastandin::oci
