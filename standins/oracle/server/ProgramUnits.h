// The stored program units of the database (procedures, functions, packages, triggers,
// types): creating and dropping them with their compile errors, and finding them to run.
#pragma once
#include <string>
#include <vector>

#include "standins/oracle/server/Session.h"

namespace orastandin {

class ProgramUnits {
 public:
  explicit ProgramUnits(Session& session) : session_(session) {}
  // CREATE or DROP of a unit; false for any other statement.
  bool Command(const std::vector<Token>& tokens, const std::string& source, ExecuteReply& reply);
  // The source of a unit that compiled, or empty; an invalid one is ORA-06550.
  std::string Source(const std::string& name, const std::string& kind);
  // The BEFORE INSERT|UPDATE ... FOR EACH ROW triggers of a table, as stored.
  std::vector<std::string> RowTriggers(const std::string& table, const char* event);

 private:
  Session& session_;
};

}  // namespace orastandin
