// INSERT and UPDATE on tables with BEFORE ... FOR EACH ROW triggers, row by row: the
// triggers see :OLD and change :NEW before the row is written.
#pragma once
#include <string>
#include <vector>

#include "standins/oracle/server/Session.h"

namespace orastandin {

class TriggeredWrites {
 public:
  explicit TriggeredWrites(Session& session) : session_(session) {}
  // INSERT ... VALUES or INSERT ... SELECT.
  void Insert(const std::vector<Token>& tokens, const ExecuteRequest& request, const std::vector<std::string>& triggers,
              ExecuteReply& reply);
  void Update(const std::vector<Token>& tokens, const TranslatedSql& sql, const ExecuteRequest& request,
              const std::vector<std::string>& triggers, ExecuteReply& reply);

 private:
  Session& session_;
};

}  // namespace orastandin
