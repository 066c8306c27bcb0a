// The version 7 entry points' log-on data areas as the version 8 client makes them from a
// service context (OCISvcCtxToLda): statements run over the service context's connection.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "oracle/oci/OciApi.h"
#include "standins/oracle/client/ServerConnection.h"

namespace orastandin {

// connection answers the server connection while it lasts (nil afterwards); the area's
// pending error text is kept when it is made again for the same program.
void AttachLogonArea(oracle::oci::Lda_Def* lda, std::function<ServerConnection*()> connection,
                     std::int64_t sessionId, const std::string& breakKey);

}  // namespace orastandin
