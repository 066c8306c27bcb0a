// LONG values piece by piece without callbacks through oci.dll: the call answers
// OCI_NEED_DATA, OCIStmtGetPieceInfo names the bind or define and the piece, and
// OCIStmtSetPieceInfo hands over the piece or the buffer for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

class OciPieceTest : public OciSessionTest {
 protected:
  void SetUp() override {
    OciSessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    getPiece_ = oci_->Bind<OCIStmtGetPieceInfoProc>("OCIStmtGetPieceInfo");
    setPiece_ = oci_->Bind<OCIStmtSetPieceInfoProc>("OCIStmtSetPieceInfo");
    table_ = UniqueName("PIECES");
    Create("create table " + table_ + " (id number, text long)");
  }
  void Prepare(const std::string& sql) {
    ASSERT_EQ(oci_->StmtPrepare(connection_->stmt, oci_->err, reinterpret_cast<const OraText*>(sql.c_str()),
                                static_cast<ub4>(sql.size() + 1), OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
  }
  struct PieceInfo {
    void* handle = nullptr;
    ub4 type = 0, iteration = 0, index = 0;
    ub1 direction = 0, piece = 0;
  };
  PieceInfo Info() {
    PieceInfo info;
    EXPECT_EQ(getPiece_(connection_->stmt, oci_->err, &info.handle, &info.type, &info.direction, &info.iteration,
                        &info.index, &info.piece),
              OCI_SUCCESS);
    return info;
  }
  sword Execute(ub4 iterations = 1) {
    return oci_->StmtExecute(connection_->svc, connection_->stmt, oci_->err, iterations, 0, nullptr, nullptr,
                             OCI_DEFAULT);
  }

  OCIStmtGetPieceInfoProc getPiece_ = nullptr;
  OCIStmtSetPieceInfoProc setPiece_ = nullptr;
  std::string table_;
};

TEST_F(OciPieceTest, BindValuesAreAskedForPieceByPieceForEachIteration) {
  Prepare("insert into " + table_ + " values (:id, :text)");
  std::int32_t ids[2] = {1, 2};
  OCIBind* id = nullptr;
  OCIBind* text = nullptr;
  oci_->BindByName(connection_->stmt, &id, oci_->err, reinterpret_cast<const OraText*>("ID"), 2, ids, sizeof ids[0],
                   SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  oci_->BindByName(connection_->stmt, &text, oci_->err, reinterpret_cast<const OraText*>("TEXT"), 4, nullptr,
                   2147483647, SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  // Per iteration the pieces the program gives: iteration 0 in three, iteration 1 null.
  const struct {
    ub4 iteration;
    ub1 asked;
    const char* data;
    ub1 given;
    sb2 indicator;
  } steps[] = {
      {0, OCI_FIRST_PIECE, "alpha ", OCI_FIRST_PIECE, 0},
      {0, OCI_NEXT_PIECE, "beta ", OCI_NEXT_PIECE, 0},
      {0, OCI_NEXT_PIECE, "gamma", OCI_LAST_PIECE, 0},
      {1, OCI_FIRST_PIECE, "", OCI_ONE_PIECE, -1},
  };
  for (const auto& step : steps) {
    ASSERT_EQ(Execute(2), OCI_NEED_DATA) << step.data;
    PieceInfo info = Info();
    EXPECT_EQ(info.handle, text);
    EXPECT_EQ(info.type, OCI_HTYPE_BIND);
    EXPECT_EQ(info.direction, OCI_PARAM_IN);
    EXPECT_EQ(info.iteration, step.iteration);
    EXPECT_EQ(info.piece, step.asked);
    ub4 length = static_cast<ub4>(std::string(step.data).size());
    ASSERT_EQ(setPiece_(text, OCI_HTYPE_BIND, oci_->err, step.data, &length, step.given, &step.indicator, nullptr),
              OCI_SUCCESS);
  }
  ASSERT_EQ(Execute(2), OCI_SUCCESS) << oci_->LastError();
  ub4 rows = 0;
  oci_->AttrGet(connection_->stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, oci_->err);
  EXPECT_EQ(rows, 2u);

  // Read back whole, and nothing waits for a piece any more.
  Prepare("select text from " + table_ + " order by id");
  char value[64] = {};
  sb2 indicators[2] = {};
  OCIDefine* define = nullptr;
  oci_->DefineByPos(connection_->stmt, &define, oci_->err, 1, value, 32, SQLT_STR, indicators, nullptr, nullptr, 0);
  ASSERT_EQ(Execute(2), OCI_SUCCESS);
  EXPECT_STREQ(value, "alpha beta gamma");
  EXPECT_EQ(indicators[1], -1);
  PieceInfo none;
  EXPECT_EQ(getPiece_(connection_->stmt, oci_->err, &none.handle, &none.type, &none.direction, &none.iteration,
                      &none.index, &none.piece),
            OCI_ERROR);
}

TEST_F(OciPieceTest, DynamicDefinesHandTheirValuesOutIntoTheProgramsBuffers) {
  Create("insert into " + table_ + " values (1, 'abcdefghij')");
  Create("insert into " + table_ + " values (2, null)");
  Create("insert into " + table_ + " values (3, 'xyz')");
  Prepare("select id, text from " + table_ + " order by id");
  std::int32_t ids[3] = {};
  OCIDefine* id = nullptr;
  OCIDefine* text = nullptr;
  oci_->DefineByPos(connection_->stmt, &id, oci_->err, 1, ids, sizeof ids[0], SQLT_INT, nullptr, nullptr, nullptr, 0);
  oci_->DefineByPos(connection_->stmt, &text, oci_->err, 2, nullptr, 2147483647, SQLT_LNG, nullptr, nullptr, nullptr,
                    OCI_DYNAMIC_FETCH);
  ASSERT_EQ(Execute(0), OCI_SUCCESS);

  std::vector<std::string> values(3);
  std::vector<sb2> indicators(3, 5);
  std::vector<ub1> offered;
  sword status = oci_->StmtFetch(connection_->stmt, oci_->err, 3, OCI_FETCH_NEXT, OCI_DEFAULT);
  char chunk[4];
  ub4 length = 0;
  PieceInfo last;
  int rounds = 0;
  while (status == OCI_NEED_DATA && ++rounds < 20) {
    if (length) values[last.iteration].append(chunk, length);
    last = Info();
    EXPECT_EQ(last.handle, text);
    EXPECT_EQ(last.type, OCI_HTYPE_DEFINE);
    EXPECT_EQ(last.direction, OCI_PARAM_OUT);
    offered.push_back(last.piece);
    length = sizeof chunk;
    ASSERT_EQ(setPiece_(text, OCI_HTYPE_DEFINE, oci_->err, chunk, &length, last.piece, &indicators[last.iteration],
                        nullptr),
              OCI_SUCCESS);
    status = oci_->StmtFetch(connection_->stmt, oci_->err, 3, OCI_FETCH_NEXT, OCI_DEFAULT);
  }
  if (length) values[last.iteration].append(chunk, length);
  ASSERT_EQ(status, OCI_SUCCESS) << oci_->LastError();
  EXPECT_EQ(values, (std::vector<std::string>{"abcdefghij", "", "xyz"}));
  EXPECT_EQ(indicators, (std::vector<sb2>{0, -1, 0}));
  // Row 1 in three pieces, row 2 (null) and row 3 in one each.
  EXPECT_EQ(offered, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_NEXT_PIECE, OCI_FIRST_PIECE,
                                       OCI_FIRST_PIECE}));
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[2], 3);
  ub4 rows = 0;
  oci_->AttrGet(connection_->stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, oci_->err);
  EXPECT_EQ(rows, 3u);
}

// A block's value for a data-at-execution bind comes back piece by piece, after its own
// value went in.
TEST_F(OciPieceTest, OutBindValuesAreHandedOutAfterTheExecution) {
  Prepare("begin :text := :text || 'defgh'; end;");
  OCIBind* text = nullptr;
  oci_->BindByName(connection_->stmt, &text, oci_->err, reinterpret_cast<const OraText*>("TEXT"), 4, nullptr,
                   2147483647, SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  ASSERT_EQ(Execute(), OCI_NEED_DATA);
  EXPECT_EQ(Info().direction, OCI_PARAM_IN);
  ub4 length = 3;
  ASSERT_EQ(setPiece_(text, OCI_HTYPE_BIND, oci_->err, "abc", &length, OCI_ONE_PIECE, nullptr, nullptr), OCI_SUCCESS);
  std::string value;
  std::vector<ub1> offered;
  sb2 indicator = 5;
  char chunk[3];
  length = 0;
  sword status = Execute();
  while (status == OCI_NEED_DATA && offered.size() < 10) {
    value.append(chunk, length);
    PieceInfo info = Info();
    EXPECT_EQ(info.handle, text);
    EXPECT_EQ(info.direction, OCI_PARAM_OUT);
    offered.push_back(info.piece);
    length = sizeof chunk;
    ASSERT_EQ(setPiece_(text, OCI_HTYPE_BIND, oci_->err, chunk, &length, info.piece, &indicator, nullptr), OCI_SUCCESS);
    status = Execute();
  }
  value.append(chunk, length);
  ASSERT_EQ(status, OCI_SUCCESS) << oci_->LastError();
  EXPECT_EQ(value, "abcdefgh");
  EXPECT_EQ(indicator, 0);
  EXPECT_EQ(offered, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_NEXT_PIECE}));
}

sb4 OCI_CALL CountPieceRequest(dvoid* context, OCIBind*, ub4, ub4, dvoid** buffer, ub4* length, ub1* piece,
                               dvoid** indicator) {
  ++*static_cast<int*>(context);
  *buffer = nullptr;
  *length = 0;
  *piece = OCI_ONE_PIECE;
  *indicator = nullptr;
  return OCI_CONTINUE;
}

// A statement prepared again on the handle takes only the binds it names: an earlier
// statement's data-at-execution binds (with or without callbacks) are not asked for.
TEST_F(OciPieceTest, BindsOfAnEarlierStatementAreLeftOut) {
  Prepare("insert into " + table_ + " values (:id, :text)");
  OCIBind* binds[2] = {};
  int requests = 0;
  oci_->BindByName(connection_->stmt, &binds[0], oci_->err, reinterpret_cast<const OraText*>("ID"), 2, nullptr,
                   2147483647, SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  oci_->BindByName(connection_->stmt, &binds[1], oci_->err, reinterpret_cast<const OraText*>("TEXT"), 4, nullptr,
                   2147483647, SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC);
  oci_->BindDynamic(binds[0], oci_->err, &requests, CountPieceRequest, nullptr, nullptr);
  Prepare("select count(*) from " + table_);
  EXPECT_EQ(Execute(0), OCI_SUCCESS) << oci_->LastError();
  EXPECT_EQ(requests, 0);
}

}  // namespace
}  // namespace orastandin::testing
