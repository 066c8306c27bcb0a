#include "standins/oracle/protocol/OraError.h"

#include <cstdio>
#include <map>

namespace orastandin {

namespace {
// "%1" and "%2" stand for the arguments.
const std::map<int, const char*>& Messages() {
  static const std::map<int, const char*> messages = {
      {1, "unique constraint (%1) violated"},
      {28, "your session has been killed"},
      {54, "resource busy and acquire with NOWAIT specified"},
      {60, "deadlock detected while waiting for resource"},
      {100, "no data found"},
      {900, "invalid SQL statement"},
      {904, "%1: invalid identifier"},
      {905, "missing keyword"},
      {909, "invalid number of arguments"},
      {934, "group function is not allowed here"},
      {1418, "specified index does not exist"},
      {1785, "ORDER BY item must be the number of a SELECT-list expression"},
      {1789, "query block has incorrect number of result columns"},
      {2290, "check constraint (%1) violated"},
      {907, "missing right parenthesis"},
      {913, "too many values"},
      {918, "column ambiguously defined"},
      {922, "missing or invalid option"},
      {933, "SQL command not properly ended"},
      {936, "missing expression"},
      {942, "table or view does not exist"},
      {947, "not enough values"},
      {955, "name is already used by an existing object"},
      {1002, "fetch out of sequence"},
      {1005, "null password given; logon denied"},
      {1012, "not logged on"},
      {1013, "user requested cancel of current operation"},
      {1406, "fetched column value was truncated"},
      {1007, "variable not in select list"},
      {12545, "Connect failed because target host or object does not exist"},
      {24338, "statement handle not executed"},
      {1009, "missing mandatory parameter"},
      {1008, "not all variables bound"},
      {1086, "savepoint %1 never established in this session or is invalid"},
      {1476, "divisor is equal to zero"},
      {938, "not enough arguments for function"},
      {1017, "invalid username/password; logon denied"},
      {1917, "user or role '%1' does not exist"},
      {1918, "user '%1' does not exist"},
      {1920, "user name '%1' conflicts with another user or role name"},
      {1031, "insufficient privileges"},
      {28009, "connection as SYS should be as SYSDBA or SYSOPER"},
      {1400, "cannot insert NULL into (%1)"},
      {1401, "inserted value too large for column"},
      {1438, "value larger than specified precision allows for this column"},
      {932, "inconsistent datatypes"},
      {975, "date + date not allowed"},
      {1756, "quoted string not properly terminated"},
      {1403, "no data found"},
      {1422, "exact fetch returns more than requested number of rows"},
      {1722, "invalid number"},
      {1830, "date format picture ends before converting entire input string"},
      {1840, "input value not long enough for date format"},
      {1843, "not a valid month"},
      {1847, "day of month must be between 1 and last day of month"},
      {1858, "a non-numeric character was found where a numeric was expected"},
      {1861, "literal does not match format string"},
      {2289, "sequence does not exist"},
      {2291, "integrity constraint (%1) violated - parent key not found"},
      {2292, "integrity constraint (%1) violated - child record found"},
      {3001, "unimplemented feature"},
      {3113, "end-of-file on communication channel"},
      {3114, "not connected to ORACLE"},
      {4021, "timeout occurred while waiting to lock object %1"},
      {4043, "object %1 does not exist"},
      {6503, "PL/SQL: Function returned without value"},
      {6553, "PLS-306: wrong number or types of arguments in call"},
      {6502, "PL/SQL: numeric or value error"},
      {6513, "PL/SQL: index for PL/SQL table out of range for host language array"},
      {6550, "line %1, column %2:\nPLS-00103: Encountered an unsupported construct"},
      {8002, "sequence %1.CURRVAL is not yet defined in this session"},
      {12154, "TNS:could not resolve the connect identifier specified"},
      {12514, "TNS:listener does not currently know of service requested in connect descriptor"},
      {12535, "TNS:operation timed out"},
      {12608, "TNS: Send timeout occurred"},
      {12609, "TNS: Receive timeout occurred"},
      {12541, "TNS:no listener"},
      {12560, "TNS:protocol adapter error"},
      {24344, "success with compilation error"},
      {22053, "overflow error"},
      {902, "invalid datatype"},
      {2315, "incorrect number of arguments for default constructor"},
      {21700, "object does not exist or is marked for delete"},
      {21710, "argument is expecting a valid memory address of an object"},
      {22909, "exceeded maximum VARRAY limit"},
      {22913, "must specify table name for nested table column or attribute"},
      {22060, "argument [%1] is an invalid or uninitialized number"},
      {22160, "element at index [%1] does not exist"},
      {21560, "argument %1 is null, invalid, or out of range"},
      {22165, "given index [%1] must be in the range of [%2]"},
      {22920, "row containing the LOB value is not locked"},
      {22285, "non-existent directory or file for %1 operation"},
      {22289, "cannot perform %1 operation on an unopened file or LOB"},
      {22275, "invalid LOB locator specified"},
      {24315, "illegal attribute type"},
      {24333, "zero iteration count"},
      {24334, "no descriptor for this position"},
      {1036, "illegal variable name/number"},
      {30006, "resource busy; acquire with WAIT timeout expired"},
  };
  return messages;
}
}  // namespace

std::string OraError::TextOf(int code, const std::string& arg1, const std::string& arg2) {
  auto it = Messages().find(code);
  std::string pattern = it == Messages().end() ? "message " + std::to_string(code) + " not found" : it->second;
  std::string body;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
      body += pattern[i + 1] == '1' ? arg1 : arg2;
      ++i;
    } else {
      body += pattern[i];
    }
  }
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "ORA-%05d: ", code);
  return prefix + body + "\n";
}

OraError::OraError(int code, const std::string& arg1, const std::string& arg2)
    : std::runtime_error(TextOf(code, arg1, arg2)), code_(code), text_(TextOf(code, arg1, arg2)) {}

}  // namespace orastandin

namespace orastandin {

OraError OraError::Verbatim(int code, const std::string& text, int offset) {
  OraError e(code);
  e.text_ = text;
  e.offset_ = offset;
  return e;
}

}  // namespace orastandin
