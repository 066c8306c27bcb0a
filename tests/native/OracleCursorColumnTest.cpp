// CURSOR(subquery) items of a select list: each row's cell names a cursor of the reply
// holding the subquery's rows for that row.
#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleCursorColumnTest : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    Exec(*session_, "create table dept (deptno number(2), dname varchar2(14))");
    Exec(*session_, "create table emp (empno number(4), ename varchar2(10), deptno number(2), hired date)");
    Exec(*session_, "insert into dept values (10, 'ACCOUNTING')");
    Exec(*session_, "insert into dept values (20, 'RESEARCH')");
    Exec(*session_, "insert into dept values (30, 'SALES')");
    Exec(*session_, "insert into emp values (7782, 'CLARK', 10, to_date('1981-06-09', 'YYYY-MM-DD'))");
    Exec(*session_, "insert into emp values (7839, 'KING', 10, to_date('1981-11-17', 'YYYY-MM-DD'))");
    Exec(*session_, "insert into emp values (7369, 'SMITH', 20, null)");
  }

  // The cursor a cell names.
  const OpenedCursor& CursorOf(const ExecuteReply& r, std::size_t row, std::size_t column) {
    const Value& cell = r.rows.at(row).at(column);
    EXPECT_EQ(cell.kind, Value::Kind::Integer);
    return r.cursors.at(static_cast<std::size_t>(cell.integer));
  }
};

TEST_F(OracleCursorColumnTest, EachRowGetsTheRowsCorrelatedToIt) {
  ExecuteReply r = Exec(*session_,
                        "select d.deptno, cursor(select e.ename, e.empno * 2 as twice from emp e "
                        "where e.deptno = d.deptno order by e.ename desc) emps from dept d order by d.deptno");
  ASSERT_EQ(r.columns.size(), 2u);
  EXPECT_EQ(r.columns[1].name, "EMPS");
  EXPECT_EQ(r.columns[1].oraType, oratype::Cursor);
  ASSERT_EQ(r.rows.size(), 3u);
  const struct {
    std::size_t row;
    std::vector<std::string> names;
  } cases[] = {{0, {"KING", "CLARK"}}, {1, {"SMITH"}}, {2, {}}};
  for (const auto& c : cases) {
    const OpenedCursor& cursor = CursorOf(r, c.row, 1);
    EXPECT_TRUE(cursor.bind.empty());
    ASSERT_EQ(cursor.columns.size(), 2u);
    EXPECT_EQ(cursor.columns[0].name, "ENAME");
    EXPECT_EQ(cursor.columns[1].name, "TWICE");
    EXPECT_EQ(cursor.columns[1].oraType, oratype::Number);
    ASSERT_EQ(cursor.rows.size(), c.names.size()) << c.row;
    for (std::size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(TextOf(cursor.rows[i][0]), c.names[i]);
  }
  EXPECT_EQ(CursorOf(r, 0, 1).rows[0][1].integer, 2 * 7839);
}

TEST_F(OracleCursorColumnTest, ColumnsAreNamedAndTypedAsOracleDescribesThem) {
  ExecuteReply r = Exec(*session_,
                        "select cursor(select hired, count(*), ename from emp e where e.deptno = d.deptno "
                        "group by hired, ename), dname from dept d where deptno = 10");
  ASSERT_EQ(r.columns.size(), 2u);
  EXPECT_EQ(r.columns[0].name, "CURSOR(SELECTHIRED,COUNT(*),ENAMEFROMEMPEWHEREE.DEPTNO=D.DEPTNOGROUPBYHIRED,ENAME)");
  EXPECT_EQ(r.columns[1].name, "DNAME");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(TextOf(r.rows[0][1]), "ACCOUNTING");
  const OpenedCursor& cursor = CursorOf(r, 0, 0);
  ASSERT_EQ(cursor.columns.size(), 3u);
  EXPECT_EQ(cursor.columns[0].oraType, oratype::Date);
  EXPECT_EQ(cursor.columns[1].name, "COUNT(*)");
  EXPECT_EQ(cursor.rows.size(), 2u);
}

TEST_F(OracleCursorColumnTest, DescribingGivesTheCursorType) {
  ExecuteRequest request;
  request.sql = "select deptno, cursor(select ename from emp where emp.deptno = dept.deptno) as e from dept";
  request.describeOnly = true;
  ExecuteReply r = session_->Execute(request);
  ASSERT_EQ(r.columns.size(), 2u);
  EXPECT_EQ(r.columns[1].oraType, oratype::Cursor);
  EXPECT_TRUE(r.rows.empty());
}

// "*" and "t.*" stand for the columns of the subquery's tables, correlated as any item.
TEST_F(OracleCursorColumnTest, StarItemsGiveTheTablesColumns) {
  const struct {
    const char* sql;
    std::vector<std::string> names;
  } cases[] = {
      {"select cursor(select * from emp where emp.deptno = d.deptno order by empno) from dept d where deptno = 10",
       {"EMPNO", "ENAME", "DEPTNO", "HIRED"}},
      {"select cursor(select e.ename, x.* from emp e, dept x where x.deptno = e.deptno and e.deptno = d.deptno "
       "order by e.empno) c from dept d where deptno = 10",
       {"ENAME", "DEPTNO", "DNAME"}},
  };
  for (const auto& c : cases) {
    ExecuteReply r = Exec(*session_, c.sql);
    ASSERT_EQ(r.rows.size(), 1u) << c.sql;
    const OpenedCursor& cursor = CursorOf(r, 0, 0);
    ASSERT_EQ(cursor.columns.size(), c.names.size()) << c.sql;
    for (std::size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(cursor.columns[i].name, c.names[i]) << c.sql;
    ASSERT_EQ(cursor.rows.size(), 2u) << c.sql;
    EXPECT_EQ(TextOf(cursor.rows[0][c.names.size() == 4 ? 1 : 0]), "CLARK") << c.sql;
  }
}

TEST_F(OracleCursorColumnTest, FaultsInTheSubqueryAreStatementErrors) {
  const struct {
    const char* sql;
    int code;
  } cases[] = {
      {"select cursor(select nosuch from emp) from dept", 904},
      {"select cursor(select * from nosuch) from dept", 942},
      {"select cursor(update emp set ename = 'x') from dept", 936},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(*session_, c.sql), c.code) << c.sql;
}

}  // namespace
}  // namespace orastandin::testing
