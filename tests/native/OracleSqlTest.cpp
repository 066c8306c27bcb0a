// Oracle SQL as the stand-in server runs it: functions, conversions, pseudo-columns,
// dictionary views and error codes.
#include <map>

#include "tests/native/OracleServerTestSupport.h"

namespace orastandin::testing {
namespace {

class OracleSqlTest : public ServerTest {};

struct ScalarCase {
  const char* expression;
  const char* expected;
};

TEST_F(OracleSqlTest, ExpressionsGiveOracleResults) {
  const ScalarCase cases[] = {
      {"NVL(NULL, 'x')", "x"},
      {"NVL('', 'empty is null')", "empty is null"},
      {"NVL2(1, 'a', 'b')", "a"},
      {"DECODE(2, 1, 'one', 2, 'two', 'other')", "two"},
      {"DECODE(NULL, NULL, 'null matches null', 'no')", "null matches null"},
      {"DECODE(5, 1, 'one', 'other')", "other"},
      {"'a' || NULL || 'b'", "ab"},
      {"'n=' || 12.5", "n=12.5"},
      {"7 / 2", "3.5"},
      {"TO_NUMBER('12.5') * 2", "25"},
      {"TO_CHAR(0.5)", ".5"},
      {"TO_CHAR(-0.25)", "-.25"},
      {"TO_CHAR(1234.5, '9,999.99')", " 1,234.50"},
      {"TO_CHAR(7, 'FM000')", "007"},
      {"TO_CHAR(TO_DATE('2001-01-15 12:30', 'YYYY-MM-DD HH24:MI'), 'DD.MM.YYYY HH24:MI:SS')", "15.01.2001 12:30:00"},
      {"TO_CHAR(TO_DATE('15-JAN-01'))", "15-JAN-01"},
      {"TO_CHAR(TO_DATE('03/07/1999 01:05:09 PM', 'MM/DD/YYYY HH:MI:SS AM'), 'YYYY-MM-DD HH24:MI:SS')", "1999-03-07 13:05:09"},
      {"TO_CHAR(TO_DATE('15.01.2001', 'DD.MM.YYYY'), 'Mon DY Month')", "Jan MON January  "},
      {"ADD_MONTHS(TO_DATE('31.01.2001', 'DD.MM.YYYY'), 1)", "2001-02-28 00:00:00"},
      {"TRUNC(TO_DATE('2001-05-17 10:11:12', 'YYYY-MM-DD HH24:MI:SS'), 'MM')", "2001-05-01 00:00:00"},
      {"TRUNC(12.789, 1)", "12.7"},
      {"SUBSTR('abcdef', 0, 2)", "ab"},
      {"SUBSTR('abcdef', -3)", "def"},
      {"INSTR('a,b,c', ',', 1, 2)", "4"},
      {"LPAD('7', 3, '0')", "007"},
      {"RPAD('ab', 4)", "ab  "},
      {"MOD(7, 3)", "1"},
      {"LENGTHB(CHR(65))", "1"},
      {"NVL(LENGTHB(CHR(65536)), 1)", "1"},
      {"GREATEST(3, 9, 4)", "9"},
      {"NLS_CHARSET_ID('CL8MSWIN1251')", "171"},
      {"USER", "SCOTT"},
      {"DECODE('abc' LIKE 'A%', 1, 'case-blind', 'case-sensitive')", "case-sensitive"},
      {"2 + 3 * 4 - 1", "13"},
      {"-2 * -3 + -1", "5"},
      {"10 - 2 - 3", "5"},
      {"TO_CHAR(TO_DATE('2001-02-27', 'YYYY-MM-DD') + 2, 'YYYY-MM-DD')", "2001-03-01"},
      {"TO_CHAR(TO_DATE('2001-03-01', 'YYYY-MM-DD') - 1 / 24, 'YYYY-MM-DD HH24:MI')", "2001-02-28 23:00"},
      {"TO_DATE('2001-03-01', 'YYYY-MM-DD') - TO_DATE('2001-02-01', 'YYYY-MM-DD')", "28"},
      {"9007199254740993 + 1", "9007199254740994"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Scalar(*session_, std::string("SELECT ") + c.expression + " FROM DUAL"), c.expected) << c.expression;
}

TEST_F(OracleSqlTest, SysdateIsADateOfToday) {
  ExecuteReply r = Exec(*session_, "SELECT SYSDATE, TO_CHAR(SYSDATE, 'YYYY') FROM DUAL");
  ASSERT_EQ(r.columns.size(), 2u);
  EXPECT_EQ(r.columns[0].name, "SYSDATE");
  EXPECT_EQ(r.columns[0].oraType, oratype::Date);
  EXPECT_TRUE(r.rows[0][0].isDate);
  EXPECT_EQ(r.rows[0][0].bytes.substr(0, 4), r.rows[0][1].bytes);
}

TEST_F(OracleSqlTest, DateTextsAreTextAndDateExpressionsAreDates) {
  Exec(*session_, "create table t (d date)");
  Exec(*session_, "insert into t values (to_date('2001-01-15', 'YYYY-MM-DD'))");
  ExecuteReply r = Exec(*session_, "select to_char(d, 'YYYY-MM-DD HH24:MI:SS'), add_months(d, 1), d, nvl(d, sysdate) from t");
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_FALSE(r.rows[0][0].isDate);
  EXPECT_EQ(r.columns[0].oraType, oratype::Varchar2);
  for (int c = 1; c < 4; ++c) {
    EXPECT_TRUE(r.rows[0][c].isDate) << c;
    EXPECT_EQ(r.columns[c].oraType, oratype::Date) << c;
  }
}

TEST_F(OracleSqlTest, CreateTableKeepsOracleTypesForDescribe) {
  Exec(*session_, "create table t (id number(9) not null, name varchar2(40), amt number(10,2), d date, "
                  "c char(3), l long, r raw(16), n number, v varchar(100))");
  ExecuteReply r = Exec(*session_, "select * from t");
  ASSERT_EQ(r.columns.size(), 9u);
  struct Expected { const char* name; int type, size, precision, scale; };
  const Expected expected[] = {{"ID", oratype::Number, 22, 9, 0},     {"NAME", oratype::Varchar2, 40, 0, 0},
                               {"AMT", oratype::Number, 22, 10, 2},   {"D", oratype::Date, 7, 0, 0},
                               {"C", oratype::Char, 3, 0, 0},         {"L", oratype::Long, 0, 0, 0},
                               {"R", oratype::Raw, 16, 0, 0},         {"N", oratype::Number, 22, 0, -127},
                               {"V", oratype::Varchar2, 100, 0, 0}};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(r.columns[i].nullable, i != 0) << expected[i].name;
    EXPECT_EQ(r.columns[i].name, expected[i].name);
    EXPECT_EQ(r.columns[i].oraType, expected[i].type) << expected[i].name;
    EXPECT_EQ(r.columns[i].size, expected[i].size) << expected[i].name;
    EXPECT_EQ(r.columns[i].precision, expected[i].precision) << expected[i].name;
    EXPECT_EQ(r.columns[i].scale, expected[i].scale) << expected[i].name;
  }
}

TEST_F(OracleSqlTest, ExpressionColumnsAreNamedAsOracleNamesThem) {
  Exec(*session_, "create table t (id number)");
  Exec(*session_, "insert into t values (1)");
  ExecuteReply r = Exec(*session_, "select count( * ), id + 1, id as \"Mixed\", t.id, nvl(id, 0) total from t");
  std::vector<std::string> names;
  for (const auto& c : r.columns) names.push_back(c.name);
  EXPECT_EQ(names, (std::vector<std::string>{"COUNT(*)", "ID+1", "Mixed", "ID", "TOTAL"}));
  EXPECT_EQ(r.columns[0].oraType, oratype::Number);
}

TEST_F(OracleSqlTest, OracleStatementFormsRunAsWritten) {
  Exec(*session_, "create table t (id number, a varchar2(5), b varchar2(5), created date default sysdate, n number default 0)");
  Exec(*session_, "insert into t (id, a, b) values (1, 'x', 'y')");
  Exec(*session_, "insert into t (id, a, b) values (2, 'p', null)");
  EXPECT_EQ(Scalar(*session_, "select count(*) from t where created is not null and n = 0"), "2");
  EXPECT_EQ(Scalar(*session_, "select a || '-' || b || nvl(b, 'none') from t where id = 2"), "p-none");
  EXPECT_EQ(Scalar(*session_, "select upper(a) || lower('Q') || (id * 10) / 4 from t where id = 1"), "Xq2.5");
  EXPECT_EQ(Scalar(*session_, "select count(*) from (select id from t minus select 1 from dual)"), "1");
  EXPECT_EQ(Scalar(*session_, "select id from (select id from t order by id desc) where rownum = 1"), "2");
  EXPECT_EQ(Exec(*session_, "update t x set x.a = 'z' where x.id = 1").rowsAffected, 1);
  EXPECT_EQ(Exec(*session_, "delete t where id = 2").rowsAffected, 1);
  EXPECT_EQ(Scalar(*session_, "select decode(a, 'z', 'updated', 'not') from t"), "updated");
  Exec(*session_, "drop table t cascade constraints");
  EXPECT_EQ(ErrorOf(*session_, "select * from t"), 942);
}

TEST_F(OracleSqlTest, SchemaStatementsOfInstallScripts) {
  Exec(*session_, "create table t (id number(9) constraint t_id_nn not null enable) tablespace users "
                  "pctfree 10 storage (initial 64k next 64k) logging");
  Exec(*session_, "alter table t add (name varchar2(10) default 'n/a', created date)");
  Exec(*session_, "alter table scott.t add amount number(10,2)");
  Exec(*session_, "alter table t add constraint t_pk primary key (id)");
  Exec(*session_, "insert into t (id) values (1)");
  EXPECT_EQ(ErrorOf(*session_, "insert into t (id) values (1)"), 1);
  EXPECT_EQ(Scalar(*session_, "select name from t"), "n/a");
  EXPECT_EQ(Exec(*session_, "select * from t").columns.size(), 4u);
  Exec(*session_, "create or replace public synonym tt for scott.t");
  EXPECT_EQ(Scalar(*session_, "select count(*) from tt"), "1");
  Exec(*session_, "create or replace view v as select id from t");
  Exec(*session_, "create or replace view v as select id * 2 doubled from t");
  EXPECT_EQ(Scalar(*session_, "select doubled from v"), "2");
  Exec(*session_, "grant select on t to public");
  Exec(*session_, "comment on table t is 'a table'");
  Exec(*session_, "rename t to t2");
  EXPECT_EQ(Scalar(*session_, "select count(*) from t2"), "1");
  Exec(*session_, "drop public synonym tt");
  EXPECT_EQ(ErrorOf(*session_, "select * from tt"), 942);
  EXPECT_EQ(ErrorOf(*session_, "alter table t2 modify (name varchar2(20))"), 3001);
}

TEST_F(OracleSqlTest, ReturningIntoGivesValuesAndLobPlaces) {
  Exec(*session_, "create table docs (id number, body clob, data blob)");
  ExecuteReply r = Exec(*session_, "insert into docs values (:id, empty_clob(), empty_blob()) returning id * 2, body, data into :twice, :body, :data",
                        {{"ID", Value::Int(21)}});
  ASSERT_EQ(r.outBinds.size(), 3u);
  EXPECT_EQ(TextOf(r.outBinds[0].value), "42");
  EXPECT_TRUE(r.outBinds[0].value.lob.empty());
  ASSERT_FALSE(r.outBinds[1].value.lob.empty());
  EXPECT_FALSE(r.outBinds[1].value.IsNull());  // an empty LOB is not NULL
  Value body = r.outBinds[1].value;
  body.bytes = "hello lob";
  session_->StoreLob(body);
  EXPECT_EQ(Scalar(*session_, "select body from docs where id = 21"), "hello lob");
  r = Exec(*session_, "update docs d set d.body = empty_clob() where d.id = 21 returning body into :b");
  ASSERT_EQ(r.outBinds.size(), 1u);
  EXPECT_EQ(r.outBinds[0].value.lob, body.lob);
  auto other = Logon();
  Value stolen = body;
  stolen.bytes = "other";
  EXPECT_THROW(other->StoreLob(stolen), OraError);  // the row is locked by the update
}

TEST_F(OracleSqlTest, BfilesNameFilesUnderDirectoryAliases) {
  std::string folder = path_ + "-files";
  ASSERT_EQ(system(("mkdir -p " + folder + " && printf 'file body' > " + folder + "/a.txt").c_str()), 0);
  Exec(*session_, "create or replace directory DOCS as '" + folder + "'");
  Exec(*session_, "create table f (id number, doc bfile)");
  Exec(*session_, "insert into f values (1, bfilename('DOCS', 'a.txt'))");
  ExecuteReply r = Exec(*session_, "select doc from f");
  EXPECT_EQ(r.columns[0].oraType, oratype::Bfile);
  EXPECT_EQ(TextOf(r.rows[0][0]), "DOCS/a.txt");
  std::string contents;
  EXPECT_TRUE(session_->ReadFile("DOCS", "a.txt", true, contents));
  EXPECT_EQ(contents, "file body");
  EXPECT_FALSE(session_->ReadFile("DOCS", "missing.txt", false, contents));
  EXPECT_THROW(session_->ReadFile("DOCS", "missing.txt", true, contents), OraError);
  try {
    session_->ReadFile("NODIR", "a.txt", false, contents);
    FAIL();
  } catch (const OraError& e) {
    EXPECT_EQ(e.Code(), 22285);
  }
  EXPECT_EQ(Scalar(*session_, "select directory_path from all_directories where directory_name = 'DOCS'"), folder);
  system(("rm -rf " + folder).c_str());
}

// The listing block a client sends after ORA-24344 to read the compile errors of a unit.
const char* const kCompileErrorsBlock =
    "declare\nCURSOR Cur IS\nSELECT Line,Position,Text\nFROM User_Errors\nWHERE Name = :Name and Type = :Type\n"
    "ORDER BY Sequence;\nRec User_Errors%ROWTYPE;\nStartPos INTEGER;\nEndPos INTEGER;\nbegin\n:Res := '';\n"
    "for Rec in Cur loop\n:Res := :Res || RPad(Rec.Line || '/' || Rec.Position, 8);\nStartPos := 1;\nEndPos := 1;\n"
    "while EndPos > 0 and StartPos <= Length(Rec.Text) loop\nEndPos := InStr(Rec.Text, Chr(10), StartPos);\n"
    "if EndPos > 0 then\nif EndPos <> StartPos then\nif StartPos > 1 then\n:Res := :Res || RPad(' ', 10);\n"
    "end if;\n:Res := :Res || LTrim(SubStr(Rec.Text, StartPos, EndPos - StartPos)) || Chr(13);\nend if;\nelse\n"
    "if StartPos > 1 then\n:Res := :Res || RPad(' ', 10);\nend if;\n:Res := :Res || LTrim(SubStr(Rec.Text, StartPos)) || Chr(13);\n"
    "end if;\nStartPos := EndPos + 1;\nend loop;\nend loop;\nend;";

TEST_F(OracleSqlTest, ProgramUnitsAreKeptWithTheirCompileErrors) {
  ExecuteReply good = Exec(*session_, "create or replace procedure touch_it(p number) is\n  n number := 0;\nbegin\n"
                                      "  n := p + 1;\nend touch_it;");
  EXPECT_EQ(good.warning.code, 0);
  EXPECT_EQ(Scalar(*session_, "select status from user_objects where object_name = 'TOUCH_IT'"), "VALID");
  ExecuteReply bad = Exec(*session_, "create or replace procedure broken is\nbegin\n  if 1 = 1 then\n    null;\nend;");
  EXPECT_EQ(bad.warning.code, 24344);
  EXPECT_EQ(Scalar(*session_, "select status from user_objects where object_name = 'BROKEN'"), "INVALID");
  EXPECT_EQ(ErrorOf(*session_, "create procedure broken is begin null; end;"), 955);
  ExecuteReply listing = Exec(*session_, kCompileErrorsBlock,
                              {{"NAME", Value::Text("BROKEN")}, {"TYPE", Value::Text("PROCEDURE")}, {"RES", Value::Null()}});
  ASSERT_EQ(listing.outBinds.size(), 1u);
  EXPECT_EQ(TextOf(listing.outBinds[0].value), "5/1     PLS-00103: Encountered the symbol \"END\"\r");
  Exec(*session_, "create or replace procedure broken is begin null; end;");
  EXPECT_EQ(Scalar(*session_, "select count(*) from user_errors where name = 'BROKEN'"), "0");
}

TEST_F(OracleSqlTest, StoredProceduresRunWithInAndOutParameters) {
  Exec(*session_, "create table log_t (msg varchar2(20))");
  Exec(*session_, "create or replace procedure add_up(a in number, b number default 10, total out number, note in out varchar2) is\n"
                  "begin\n  total := a + b;\n  note := note || '!';\n  insert into log_t values (note);\nend;");
  ExecuteReply r = Exec(*session_, "begin add_up(1, total => :t, note => :n); scott.add_up(2, 3, :t2, :n); end;",
                        {{"T", Value::Null()}, {"N", Value::Text("hi")}, {"T2", Value::Null()}});
  std::map<std::string, std::string> out;
  for (const auto& b : r.outBinds) out[b.name] = TextOf(b.value);
  EXPECT_EQ(out["T"], "11");
  EXPECT_EQ(out["T2"], "5");
  EXPECT_EQ(out["N"], "hi!!");
  EXPECT_EQ(Scalar(*session_, "select count(*) from log_t"), "2");
  Exec(*session_, "create or replace procedure bad is begin if x then null; end;");
  EXPECT_EQ(ErrorOf(*session_, "begin bad; end;"), 6550);
}

TEST_F(OracleSqlTest, StoredFunctionsServeSqlAndBlocks) {
  Exec(*session_, "create or replace function twice(n number) return number is\nbegin\n  return n * 2;\nend;");
  Exec(*session_, "create function fact(n number) return number is begin if n <= 1 then return 1; end if; "
                  "return n * fact(n - 1); end;");
  EXPECT_EQ(Scalar(*session_, "select twice(21) from dual"), "42");
  EXPECT_EQ(Scalar(*session_, "select fact(5) from dual"), "120");
  auto other = Logon();
  ExecuteReply r = Exec(*other, "begin :x := twice(fact(3)); end;", {{"X", Value::Null()}});
  ASSERT_EQ(r.outBinds.size(), 1u);
  EXPECT_EQ(TextOf(r.outBinds[0].value), "12");
  Exec(*session_, "drop function twice");
  EXPECT_EQ(ErrorOf(*other, "select twice(1) from dual"), 904);
  EXPECT_EQ(ErrorOf(*session_, "drop procedure nothing_here"), 4043);
}

TEST_F(OracleSqlTest, BeforeInsertRowTriggersFillNewValues) {
  Exec(*session_, "create table orders (id number not null, note varchar2(20), made date)");
  Exec(*session_, "create sequence order_ids start with 500");
  Exec(*session_, "create or replace trigger orders_bi before insert on orders for each row when (new.id is null)\n"
                  "begin\n  select order_ids.nextval into :new.id from dual;\n  :new.made := sysdate;\nend;");
  ExecuteReply r = Exec(*session_, "insert into orders (note) values (:note)", {{"NOTE", Value::Text("first")}});
  EXPECT_EQ(r.rowsAffected, 1);
  EXPECT_EQ(r.rowid.size(), 18u);
  Exec(*session_, "insert into orders values (7, 'given', null)");
  ExecuteReply rows = Exec(*session_, "select id, note, made from orders order by note");
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(TextOf(rows.rows[0][0]), "500");
  EXPECT_TRUE(rows.rows[0][2].isDate);
  EXPECT_EQ(TextOf(rows.rows[1][0]), "7");  // WHEN kept the trigger out
  EXPECT_TRUE(rows.rows[1][2].IsNull());
  EXPECT_EQ(Exec(*session_, "insert into orders (note) select note || '+' from orders").rowsAffected, 2);
  EXPECT_EQ(Scalar(*session_, "select count(*) from orders where id >= 501"), "2");
}

TEST_F(OracleSqlTest, BeforeUpdateRowTriggersSeeOldAndSetNew) {
  Exec(*session_, "create table stock (item varchar2(10), qty number, changes number default 0, note varchar2(40))");
  Exec(*session_, "insert into stock (item, qty) values ('bolt', 5)");
  Exec(*session_, "insert into stock (item, qty) values ('nut', 9)");
  Exec(*session_, "create or replace trigger stock_bu before update on stock for each row\nbegin\n"
                  "  :new.changes := :old.changes + 1;\n  :new.note := :old.qty || '->' || :new.qty;\nend;");
  ExecuteReply r = Exec(*session_, "update stock s set s.qty = qty * 2 where item = :i", {{"I", Value::Text("bolt")}});
  EXPECT_EQ(r.rowsAffected, 1);
  ExecuteReply rows = Exec(*session_, "select qty, changes, note from stock order by item");
  EXPECT_EQ(TextOf(rows.rows[0][0]), "10");
  EXPECT_EQ(TextOf(rows.rows[0][1]), "1");
  EXPECT_EQ(TextOf(rows.rows[0][2]), "5->10");
  EXPECT_EQ(TextOf(rows.rows[1][1]), "0");  // the other row is untouched
}

TEST_F(OracleSqlTest, ForLoopsOverRangesAndQueries) {
  Exec(*session_, "create table t (n number)");
  Exec(*session_, "begin for i in 1 .. 4 loop insert into t values (i * i); end loop; end;");
  ExecuteReply r = Exec(*session_, "declare total number := 0; begin for r in (select n from t order by n) loop "
                                   "total := total + r.n; exit when total > 10; end loop; :total := total; end;",
                        {{"TOTAL", Value::Null()}});
  ASSERT_EQ(r.outBinds.size(), 1u);
  EXPECT_EQ(TextOf(r.outBinds[0].value), "14");
}

TEST_F(OracleSqlTest, BlocksOpenCursorsForBinds) {
  ExecuteReply r = Exec(*session_, "begin open :c for select dummy, 42 answer from dual; end;", {{"C", Value::Null()}});
  ASSERT_EQ(r.cursors.size(), 1u);
  EXPECT_EQ(r.cursors[0].bind, "C");
  ASSERT_EQ(r.cursors[0].columns.size(), 2u);
  EXPECT_EQ(r.cursors[0].columns[1].name, "ANSWER");
  ASSERT_EQ(r.cursors[0].rows.size(), 1u);
  EXPECT_EQ(TextOf(r.cursors[0].rows[0][1]), "42");
}

TEST_F(OracleSqlTest, ColumnsKeepValuesToTheirDeclaredTypes) {
  Exec(*session_, "create table t (amt number(5,2), n number(3), name varchar2(4), c char(2), d date)");
  Exec(*session_, "insert into t values (:amt, '12', 'abcd', 'x', :d)",
       {{"AMT", Value::Float(1.239)}, {"D", Value::Text("15-JAN-01")}});
  EXPECT_EQ(Scalar(*session_, "select amt from t"), "1.24");
  EXPECT_EQ(Scalar(*session_, "select n + 1 from t"), "13");
  ExecuteReply r = Exec(*session_, "select d from t");
  EXPECT_TRUE(r.rows[0][0].isDate);
  EXPECT_EQ(r.rows[0][0].bytes, "2001-01-15 00:00:00");
  EXPECT_EQ(ErrorOf(*session_, "insert into t (name) values ('abcde')"), 1401);
  EXPECT_EQ(ErrorOf(*session_, "insert into t (n) values (1000)"), 1438);
  EXPECT_EQ(ErrorOf(*session_, "update t set amt = 'x'"), 1722);
  EXPECT_EQ(Exec(*session_, "update t set amt = 999.994").rowsAffected, 1);
  EXPECT_EQ(Scalar(*session_, "select amt from t"), "999.99");
  Exec(*session_, "alter table t add (extra number(2))");
  EXPECT_EQ(ErrorOf(*session_, "update t set extra = 100"), 1438);
}

TEST_F(OracleSqlTest, LongTextStaysText) {
  Exec(*session_, "create table t (l long)");
  Exec(*session_, "insert into t values (:v)", {{"V", Value::Text("007")}});
  EXPECT_EQ(Scalar(*session_, "select l from t"), "007");
}

TEST_F(OracleSqlTest, EmptyStringIsNull) {
  Exec(*session_, "create table t (id number, name varchar2(10))");
  Exec(*session_, "insert into t values (1, '')");
  Exec(*session_, "insert into t values (2, :n)", {{"N", Value::Text("")}});
  EXPECT_EQ(Scalar(*session_, "select count(*) from t where name is null"), "2");
}

TEST_F(OracleSqlTest, BindsByNameCoverEveryOccurrenceWhateverTheirCase) {
  Exec(*session_, "create table t (a number, b number)");
  Exec(*session_, "insert into t values (:x, :X + 1)", {{"X", Value::Int(4)}});
  EXPECT_EQ(Scalar(*session_, "select b from t where a = :x", {{"X", Value::Int(4)}}), "5");
  EXPECT_EQ(ErrorOf(*session_, "select b from t where a = :missing"), 1008);
}

TEST_F(OracleSqlTest, ArrayDmlRunsOncePerIteration) {
  Exec(*session_, "create table t (a number)");
  ExecuteRequest r;
  r.sql = "insert into t values (:a)";
  r.bindNames = {"A"};
  r.iterations = {{Value::Int(1)}, {Value::Int(2)}, {Value::Int(3)}};
  EXPECT_EQ(session_->Execute(r).rowsAffected, 3);
  EXPECT_EQ(Scalar(*session_, "select sum(a) from t"), "6");
}

TEST_F(OracleSqlTest, SequencesServeNextAndCurrentValues) {
  Exec(*session_, "create sequence s start with 10 increment by 5");
  EXPECT_EQ(Scalar(*session_, "select s.nextval from dual"), "10");
  EXPECT_EQ(Scalar(*session_, "select s.NEXTVAL from dual"), "15");
  EXPECT_EQ(Scalar(*session_, "select s.currval from dual"), "15");
  auto other = Logon();
  EXPECT_EQ(ErrorOf(*other, "select s.currval from dual"), 8002);
  EXPECT_EQ(Scalar(*other, "select scott.s.nextval from dual"), "20");
  EXPECT_EQ(ErrorOf(*session_, "select nosuch.nextval from dual"), 2289);
  EXPECT_EQ(ErrorOf(*session_, "create sequence s"), 955);
  Exec(*session_, "drop sequence s");
  EXPECT_EQ(ErrorOf(*session_, "select s.nextval from dual"), 2289);
}

TEST_F(OracleSqlTest, RownumFiltersLimitTheOuterQuery) {
  Exec(*session_, "create table t (a number)");
  for (int i = 1; i <= 5; ++i) Exec(*session_, "insert into t values (" + std::to_string(i) + ")");
  EXPECT_EQ(Exec(*session_, "select * from t where rownum <= 2").rows.size(), 2u);
  EXPECT_EQ(Exec(*session_, "select * from t where a > 1 and rownum < 2").rows.size(), 1u);
  EXPECT_EQ(Exec(*session_, "select * from t where 3 >= rownum and a > 0 order by a").rows.size(), 3u);
  EXPECT_EQ(Exec(*session_, "select * from t where rownum = 1").rows.size(), 1u);
  EXPECT_EQ(Exec(*session_, "select * from t where rownum < :n", {{"N", Value::Int(4)}}).rows.size(), 3u);
  ExecuteReply numbered = Exec(*session_, "select rownum, a from t where a > 3");
  ASSERT_EQ(numbered.rows.size(), 2u);
  EXPECT_EQ(numbered.columns[0].name, "ROWNUM");
  EXPECT_EQ(TextOf(numbered.rows[1][0]), "2");
  EXPECT_EQ(Exec(*session_, "select * from t where rownum <= :n order by a", {{"N", Value::Int(2)}}).rows.size(), 2u);
}

TEST_F(OracleSqlTest, RowidIdentifiesTheInsertedRow) {
  Exec(*session_, "create table t (a number, b varchar2(5))");
  Exec(*session_, "insert into t values (1, 'x')");
  ExecuteReply inserted = Exec(*session_, "insert into t values (2, 'y')");
  ASSERT_EQ(inserted.rowid.size(), 18u);
  EXPECT_EQ(Scalar(*session_, "select rowid from t where a = 2"), inserted.rowid);
  EXPECT_EQ(Scalar(*session_, "select b from t where rowid = :r", {{"R", Value::Text(inserted.rowid)}}), "y");
  ExecuteReply updated = Exec(*session_, "update t set b = 'z' where a = 1");
  EXPECT_EQ(Scalar(*session_, "select t.rowid from t where a = 1"), updated.rowid);
}

TEST_F(OracleSqlTest, SchemaQualifiedNamesReachTheSharedTables) {
  Exec(*session_, "create table scott.t (a number)");
  Exec(*session_, "insert into SCOTT.T values (1)");
  EXPECT_EQ(Scalar(*session_, "select count(*) from scott.t"), "1");
  EXPECT_EQ(Scalar(*session_, "select count(*) from sys.dual"), "1");
}

TEST_F(OracleSqlTest, DictionaryViewsDescribeTheUsersTables) {
  Exec(*session_, "create table emp (empno number(4) not null, ename varchar2(10))");
  ExecuteReply tables = Exec(*session_, "select table_name from user_tables");
  ASSERT_EQ(tables.rows.size(), 1u);
  EXPECT_EQ(TextOf(tables.rows[0][0]), "EMP");
  EXPECT_EQ(tables.columns[0].size, 3);  // sized by its values, not as a 4000-byte text
  ExecuteReply columns = Exec(*session_,
      "SELECT table_name,column_name,1 table_id,data_default,column_id FROM all_tab_columns "
      "WHERE owner = 'SCOTT' and table_name = 'EMP' ORDER BY column_id");
  ASSERT_EQ(columns.rows.size(), 2u);
  EXPECT_EQ(TextOf(columns.rows[0][1]), "EMPNO");
  EXPECT_EQ(TextOf(columns.rows[1][4]), "2");
  EXPECT_EQ(Scalar(*session_, "select data_type || '/' || data_precision from all_tab_columns where column_name = 'EMPNO'"),
            "NUMBER/4");
  EXPECT_EQ(Scalar(*session_, "select object_type from all_objects where object_name = 'EMP'"), "TABLE");
  EXPECT_EQ(Scalar(*session_, "select banner from v$version"), db_->Banner());
  EXPECT_EQ(Scalar(*session_, "select count(*) from user_errors"), "0");
}

// The server version read of the OCI7 road looks for the component whose product names Oracle.
TEST_F(OracleSqlTest, ProductComponentVersionNamesTheDatabaseProduct) {
  ExecuteReply r = Exec(*session_,
      "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE Upper(Product) LIKE '%ORACLE%'; "
      "end;",
      {{"RESULT", Value::Null()}});
  ASSERT_EQ(r.outBinds.size(), 1u);
  EXPECT_EQ(TextOf(r.outBinds[0].value), "9.2.0.1.0");
  EXPECT_EQ(Scalar(*session_, "select product from product_component_version where version = '9.2.0.1.0' and rownum = 1"),
            "Setrix9 Oracle database stand-in");
  EXPECT_EQ(Scalar(*session_, "select count(*) from product_component_version where product = 'PL/SQL'"), "1");
}

TEST_F(OracleSqlTest, FieldOriginQueryOfTwoTables) {
  Exec(*session_, "create table emp (empno number, ename varchar2(10), deptno number)");
  Exec(*session_, "create table dept (deptno number, dname varchar2(10))");
  ExecuteReply r = Exec(*session_,
      "SELECT table_name,column_name,table_id FROM (\nSELECT table_name,column_name,1 table_id,column_id FROM "
      "all_tab_columns WHERE owner = 'SCOTT' and table_name = 'EMP'\nUNION (\nSELECT table_name,column_name,2 "
      "table_id,column_id FROM all_tab_columns WHERE owner = 'SCOTT' and table_name = 'DEPT'\n)\n)\nORDER BY "
      "table_id,column_id");
  ASSERT_EQ(r.rows.size(), 5u);
  EXPECT_EQ(TextOf(r.rows[0][1]), "EMPNO");
  EXPECT_EQ(TextOf(r.rows[4][0]), "DEPT");
  EXPECT_EQ(TextOf(r.rows[4][1]), "DNAME");
  EXPECT_EQ(r.columns[2].name, "TABLE_ID");
}

TEST_F(OracleSqlTest, OuterJoinMarksKeepUnmatchedRows) {
  Exec(*session_, "create table emp (empno number, deptno number)");
  Exec(*session_, "create table dept (deptno number, dname varchar2(10), loc varchar2(10))");
  Exec(*session_, "insert into emp values (1, 10)");
  Exec(*session_, "insert into emp values (2, 20)");
  Exec(*session_, "insert into dept values (10, 'SALES', 'NY')");
  ExecuteReply r = Exec(*session_, "select e.empno, d.dname from emp e, dept d where e.deptno = d.deptno(+) "
                                   "and d.loc(+) = 'NY' and e.empno > 0 order by e.empno");
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(TextOf(r.rows[0][1]), "SALES");
  EXPECT_TRUE(r.rows[1][1].IsNull());
  // Conditions without a mark still filter the joined rows.
  EXPECT_EQ(Exec(*session_, "select e.empno from emp e, dept d where e.deptno = d.deptno(+) and e.empno = 2").rows.size(), 1u);
}

TEST_F(OracleSqlTest, SessionNlsParametersFollowAlterSession) {
  const char* query =
      "SELECT * FROM nls_session_parameters WHERE parameter = 'NLS_DATE_FORMAT' or parameter = "
      "'NLS_DATE_LANGUAGE'ORDER BY parameter";
  ExecuteReply r = Exec(*session_, query);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.columns[1].name, "VALUE");
  EXPECT_EQ(TextOf(r.rows[0][1]), "DD-MON-RR");
  EXPECT_EQ(TextOf(r.rows[1][1]), "AMERICAN");
  Exec(*session_, "ALTER SESSION SET NLS_DATE_FORMAT = 'DD.MM.YYYY'");
  EXPECT_EQ(TextOf(Exec(*session_, query).rows[0][1]), "DD.MM.YYYY");
  EXPECT_EQ(Scalar(*session_, "select to_char(to_date('05.06.2007')) from dual"), "05.06.2007");
  auto other = Logon();
  EXPECT_EQ(TextOf(Exec(*other, query).rows[0][1]), "DD-MON-RR");
}

struct ErrorCase {
  const char* sql;
  int code;
};

TEST_F(OracleSqlTest, FailuresCarryOracleCodesAndTexts) {
  Exec(*session_, "create table t (id number primary key, name varchar2(10) not null)");
  Exec(*session_, "insert into t values (1, 'a')");
  const ErrorCase cases[] = {
      {"select * from missing", 942},
      {"select nocol from dual", 904},
      {"create table t (a number)", 955},
      {"insert into t values (1, 'b')", 1},
      {"insert into t (id) values (2)", 1400},
      {"insert into t values (3)", 947},
      {"insert into t values (3, 'a', 'b')", 913},
      {"frobnicate the table", 900},
      {"select * from t t1 t2 t3", 933},
      {"select to_number('x') from dual", 1722},
      {"select to_date('2001-13-01', 'YYYY-MM-DD') from dual", 1843},
      {"select 1 / 0 from dual", 1476},
      {"select 'open from dual", 1756},
      {"rollback to savepoint never_set", 1086},
      {"select 1, 2 from dual union select 1 from dual", 1789},
      {"select * from t where count(*) > 1", 934},
      {"select nvl(1) from dual", 909},
      {"drop index no_such_index", 1418},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(*session_, c.sql), c.code) << c.sql;
  std::string text;
  ErrorOf(*session_, "select * from missing", &text);
  EXPECT_EQ(text, "ORA-00942: table or view does not exist\n");
  ErrorOf(*session_, "select nocol from dual", &text);
  EXPECT_EQ(text, "ORA-00904: \"NOCOL\": invalid identifier\n");
}

TEST_F(OracleSqlTest, ParseErrorOffsetPointsIntoTheCallersText) {
  try {
    Exec(*session_, "select id from   dual");
    FAIL();
  } catch (const OraError& e) {
    EXPECT_EQ(e.Code(), 904);
    EXPECT_EQ(e.Offset(), 7);
  }
}

TEST_F(OracleSqlTest, PlsqlBlocksAssignBinds) {
  Exec(*session_, "create sequence emp_seq start with 7");
  struct Case { const char* block; std::vector<BindValue> in; const char* out; const char* expected; };
  const Case cases[] = {
      {"begin SELECT NLS_CHARSET_ID(:Charset) INTO :Result FROM Dual; end;", {{"CHARSET", Value::Text("CL8MSWIN1251")}, {"RESULT", Value::Int(0)}}, "RESULT", "171"},
      {"begin SELECT Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(65536)), 1)) INTO :Result FROM Dual; end;", {{"RESULT", Value::Int(0)}}, "RESULT", "1"},
      {"begin\r  SELECT EMP_SEQ.NEXTVAL INTO :EMPNO FROM Dual;\rend;", {{"EMPNO", Value::Null()}}, "EMPNO", "7"},
      {"declare i number := 0; begin while i < 5 loop i := i + 1; end loop; :r := i; end;", {{"R", Value::Null()}}, "R", "5"},
      {"declare n integer := 0; begin loop n := n + 2; exit when n >= 6; end loop; :r := n; end;", {{"R", Value::Null()}}, "R", "6"},
      {"begin if :a > 1 then :r := 'big'; elsif :a = 1 then :r := 'one'; else :r := 'small'; end if; end;", {{"A", Value::Int(1)}, {"R", Value::Null()}}, "R", "one"},
      {"begin :r := ''; :r := :r || 'x' || :r; end;", {{"R", Value::Null()}}, "R", "x"},
      {"declare v varchar2(10); begin select dummy into v from dual where 1 = 0; :r := v; exception when no_data_found then :r := 'none'; end;", {{"R", Value::Null()}}, "R", "none"},
  };
  for (const auto& c : cases) {
    ExecuteReply r = Exec(*session_, c.block, c.in);
    std::string value = "<unassigned>";
    for (const auto& b : r.outBinds)
      if (b.name == c.out) value = TextOf(b.value);
    EXPECT_EQ(value, c.expected) << c.block;
    EXPECT_EQ(r.statementType, c.block[0] == 'd' ? 9 : 8);
  }
  EXPECT_EQ(ErrorOf(*session_, "begin select dummy into :x from dual where 1 = 0; end;"), 1403);
  EXPECT_EQ(ErrorOf(*session_, "declare type list is table of number; begin null; end;"), 6550);
}

}  // namespace
}  // namespace orastandin::testing
