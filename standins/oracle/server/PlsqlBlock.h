// Runs an anonymous PL/SQL block by interpreting the constructs clients send: local
// variables and records (%ROWTYPE), cursors, assignment to binds and variables, table binds
// (:T(i), :T.COUNT/FIRST/LAST, :T(i) := v),
// SELECT ... INTO, IF/ELSIF/ELSE, WHILE, FOR (numeric ranges, cursors, queries) and plain
// loops with EXIT [WHEN], nested blocks with WHEN OTHERS / NO_DATA_FOUND handlers, and SQL
// statements. Anything else is ORA-06550. Check() only parses (stored program units).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "standins/oracle/protocol/Wire.h"
#include "standins/oracle/server/Session.h"
#include "standins/oracle/server/SqlLexer.h"

namespace orastandin {

class PlsqlBlock {
 public:
  explicit PlsqlBlock(Session& session) : session_(session) {}
  // Returns the binds the block assigned.
  std::vector<BindValue> Run(const std::vector<Token>& tokens, const Session::BindLookup& binds);
  // Parses declarations (from `from`) and the block that follows without running anything;
  // throws ORA-06550 at the first construct it cannot read. Returns the index after the block.
  std::size_t Check(const std::vector<Token>& tokens, std::size_t from);
  // Runs a stored function (a SQL function of the session) with positional arguments.
  static Value CallFunction(Session& session, const std::string& name, const std::vector<Value>& arguments);
  // Runs a BEFORE ... FOR EACH ROW trigger on the row to be written (its :NEW values; the
  // :OLD values of an updated row).
  void RunRowTrigger(const std::string& source, std::map<std::string, Value>& newRow,
                     const std::map<std::string, Value>& oldRow = {});
  // The queries the block opened for cursor binds.
  std::vector<OpenedCursor>& Opened() { return opened_; }

 private:
  std::size_t Statements(std::size_t i, bool execute, std::initializer_list<const char*> stops);
  std::size_t Statement(std::size_t i, bool execute);
  std::size_t Block(std::size_t i, bool execute);
  std::size_t Declarations(std::size_t i);
  void Simple(std::size_t from, std::size_t to);
  Value Evaluate(std::size_t from, std::size_t to);
  bool Condition(std::size_t from, std::size_t to);
  std::vector<Token> WithVariables(std::size_t from, std::size_t to) const;
  void Assign(const Token& target, const Value& value);
  void AssignField(const Token& record, const std::string& field, const Value& value);
  // :T(index) := value for a table bind: the table grows with nulls up to the index.
  void AssignElement(const Token& table, const Value& index, const Value& value);
  std::size_t Find(std::size_t from, const char* word) const;  // at depth 0; throws when missing
  std::size_t Expect(std::size_t i, const char* word) const;
  [[noreturn]] void Unsupported(std::size_t i) const;
  const Value* Lookup(const std::string& name) const;

  Session& session_;
  std::vector<Token> t_;
  Session::BindLookup binds_;
  std::size_t ForLoop(std::size_t i, bool execute);
  // Runs a stored procedure with the argument expressions between from and to; OUT
  // parameters are assigned back to their arguments.
  bool CallProcedure(const std::string& name, std::size_t from, std::size_t to);
  struct Parameter {
    std::string name;
    bool in = true, out = false;
  };
  // Reads a stored unit's header: its parameters become locals (with their defaults).
  std::vector<Parameter> OpenUnit(const std::string& source, const char* kind);
  void RunUnit();
  std::size_t body_ = 0;
  bool returned_ = false;
  Value returnValue_;
  int depth_ = 0;
  std::map<std::string, Value> locals_;
  std::map<std::string, std::map<std::string, Value>> records_;
  std::map<std::string, std::pair<std::size_t, std::size_t>> cursors_;  // query token range
  bool checking_ = false;
  std::vector<OpenedCursor> opened_;
  std::map<std::string, Value> assigned_;
  std::vector<std::string> assignedOrder_;
  bool exiting_ = false;
  std::string source_;
};

}  // namespace orastandin
