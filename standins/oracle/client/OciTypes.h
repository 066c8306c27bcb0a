// The describe of a type, shared by the describe calls and the object instances that are
// laid out from it.
#pragma once
#include <string>
#include <vector>

#include "standins/oracle/client/OciHandles.h"

namespace orastandin::oci {

// The type's parameter (owned by owner) with its attribute list or collection element;
// ORA-04043 for an unknown type.
ParamDescriptor* DescribeTypeNamed(SvcCtxHandle* svc, const void* owner, const std::string& name);

// Runs a statement of the client's own on the service context's session.
ExecuteReply ServerQuery(SvcCtxHandle* svc, const std::string& sql, const std::vector<BindValue>& binds);

}  // namespace orastandin::oci
