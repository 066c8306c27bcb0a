// The stand-in ociw32.dll under Wine: the version 7 functions over the same server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/standins/oracle/OciLibrary.h"

namespace orastandin::testing {
namespace {

struct Oci7Library {
  Oci7Library() {
    module = LoadLibraryA("ociw32.dll");
    EXPECT_NE(module, nullptr);
  }
  ~Oci7Library() { FreeLibrary(module); }
  template <class F>
  F Bind(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  HMODULE module;
};

TEST(Oci7Client, ExportsTheVersion7Functions) {
  const char* const names[] = {"obindps", "obndra", "obndrn", "obndrv", "obreak", "ocan", "oclose", "ocof", "ocom",
                               "ocon", "odefin", "odefinps", "odescr", "odessp", "oerhms", "oermsg", "oexec",
                               "oexfet", "oexn", "ofen", "ofetch", "oflng", "ognfd", "olog", "ologof", "onbclr",
                               "onbset", "onbtst", "oopen", "oopt", "oparse", "opinit", "orol", "ogetpi", "osetpi",
                               "sqllda", "sqlld2"};
  Oci7Library oci7;
  for (const char* name : names) EXPECT_NE(GetProcAddress(oci7.module, name), nullptr) << name;
}

class Oci7ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SERVER();
    olog = oci7.Bind<ologProc>("olog");
    ologof = oci7.Bind<ologofProc>("ologof");
    oerhms = oci7.Bind<oerhmsProc>("oerhms");
    oopen = oci7.Bind<oopenProc>("oopen");
    oparse = oci7.Bind<oparseProc>("oparse");
    obndrv = oci7.Bind<obndrvProc>("obndrv");
    oexn = oci7.Bind<oexnProc>("oexn");
    odescr = oci7.Bind<odescrProc>("odescr");
    odefin = oci7.Bind<odefinProc>("odefin");
    ofen = oci7.Bind<ofenProc>("ofen");
    oclose = oci7.Bind<ocloseProc>("oclose");
    ocom = oci7.Bind<ocomProc>("ocom");
    obindps = oci7.Bind<obindpsProc>("obindps");
    odefinps = oci7.Bind<odefinpsProc>("odefinps");
    ogetpi = oci7.Bind<ogetpiProc>("ogetpi");
    osetpi = oci7.Bind<osetpiProc>("osetpi");
  }
  sword Logon(const char* user, const char* password) {
    return olog(&lda, hda, reinterpret_cast<const OraText*>(user), -1, reinterpret_cast<const OraText*>(password), -1,
                reinterpret_cast<const OraText*>("SETRIX_TEST"), -1, 0);
  }
  sword Parse(const std::string& sql) {
    return oparse(&cda, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<sb4>(sql.size() + 1), 0, 2);
  }

  Oci7Library oci7;
  Lda_Def lda{};
  ub1 hda[HdaSize] = {};
  Cda_Def cda{};
  ologProc olog;
  ologofProc ologof;
  oerhmsProc oerhms;
  oopenProc oopen;
  oparseProc oparse;
  obndrvProc obndrv;
  oexnProc oexn;
  odescrProc odescr;
  odefinProc odefin;
  ofenProc ofen;
  ocloseProc oclose;
  ocomProc ocom;
  obindpsProc obindps;
  odefinpsProc odefinps;
  ogetpiProc ogetpi;
  osetpiProc osetpi;
};

TEST_F(Oci7ServerTest, FailedLogonStatusResolvesToItsText) {
  sword status = Logon("SCOTT", "wrong");
  EXPECT_EQ(status, -1017);
  OraText text[512];
  oerhms(&lda, static_cast<sb2>(status), text, sizeof text);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "ORA-01017: invalid username/password; logon denied\n");
}

TEST_F(Oci7ServerTest, StatementsRunThroughCursorDataAreas) {
  ASSERT_EQ(Logon("SCOTT", "TIGER"), 0);
  ASSERT_EQ(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
  std::string table = UniqueName("SEVEN");
  ASSERT_EQ(Parse("CREATE TABLE " + table + " (ID NUMBER(5), NAME VARCHAR2(8))"), 0);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  ASSERT_EQ(Parse("INSERT INTO " + table + " VALUES (:ID, :NAME)"), 0);
  EXPECT_EQ(cda.functionType, 3);
  sb4 id = 7;
  char name[9] = "seven";
  obndrv(&cda, reinterpret_cast<const OraText*>(":ID"), -1, reinterpret_cast<ub1*>(&id), 4, SQLT_INT, -1, nullptr, nullptr, -1, -1);
  obndrv(&cda, reinterpret_cast<const OraText*>(":NAME"), -1, reinterpret_cast<ub1*>(name), sizeof name, SQLT_STR, -1, nullptr, nullptr, -1, -1);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  EXPECT_EQ(cda.rowsProcessed, 1u);
  ub4 row = 0;
  std::memcpy(&row, cda.rowid + 11, 4);
  EXPECT_EQ(row, 1u);
  EXPECT_EQ(ocom(&lda), 0);

  ASSERT_EQ(Parse("SELECT ID, NAME FROM " + table), 0);
  EXPECT_EQ(cda.functionType, 4);
  sb4 size = 0, nameLength = 50, displaySize = 0;
  sb2 type = 0, precision = 0, scale = 0, nullable = 0;
  sb1 columnName[50];
  ASSERT_EQ(odescr(&cda, 2, &size, &type, columnName, &nameLength, &displaySize, &precision, &scale, &nullable), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(columnName), static_cast<std::size_t>(nameLength)), "NAME");
  EXPECT_EQ(type, SQLT_CHR);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(odescr(&cda, 3, &size, &type, columnName, &nameLength, &displaySize, &precision, &scale, &nullable),
            OCI7_PAST_SELECT_LIST);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  sb4 fetchedId = 0;
  char fetchedName[9] = {};
  sb2 ind[2];
  odefin(&cda, 1, reinterpret_cast<ub1*>(&fetchedId), 4, SQLT_INT, -1, &ind[0], nullptr, -1, -1, nullptr, nullptr);
  odefin(&cda, 2, reinterpret_cast<ub1*>(fetchedName), sizeof fetchedName, SQLT_STR, -1, &ind[1], nullptr, -1, -1, nullptr, nullptr);
  EXPECT_EQ(ofen(&cda, 1), 0);
  EXPECT_EQ(fetchedId, 7);
  EXPECT_STREQ(fetchedName, "seven");
  EXPECT_EQ(ofen(&cda, 1), OCI7_END_OF_FETCH);
  EXPECT_EQ(cda.rowsProcessed, 1u);

  EXPECT_EQ(Parse("SELECT * FROM NO_SUCH_TABLE_SEVEN"), 0);
  sword status = oexn(&cda, 1, 0);
  EXPECT_EQ(status, -942);
  EXPECT_EQ(cda.returnCode, 942);
  EXPECT_EQ(oclose(&cda), 0);
  EXPECT_EQ(ologof(&lda), 0);
}

// Piecewise binds and defines (opcode 0): oexn asks for each piece with -3129 and ofen offers
// each with -3130; ogetpi names the piece and the program's context, osetpi answers.
TEST_F(Oci7ServerTest, PiecewiseValuesTravelThroughGetAndSetPieceInfo) {
  ASSERT_EQ(Logon("SCOTT", "TIGER"), 0);
  ASSERT_EQ(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
  const std::string table = UniqueName("SEVENLONG");
  ASSERT_EQ(Parse("CREATE TABLE " + table + " (ID NUMBER, TEXT LONG)"), 0);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  ASSERT_EQ(Parse("INSERT INTO " + table + " VALUES (1, :TEXT)"), 0);
  int context = 0;
  sb2 indicator = 0;
  ASSERT_EQ(obindps(&cda, 0, reinterpret_cast<const OraText*>(":TEXT"), -1, reinterpret_cast<ub1*>(&context),
                    2147483647, SQLT_LNG, 0, &indicator, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, 0, 0),
            0);
  const struct {
    ub1 asked;
    const char* data;
    ub1 given;
  } pieces[] = {{OCI_FIRST_PIECE, "ab", OCI_FIRST_PIECE}, {OCI_NEXT_PIECE, "cd", OCI_LAST_PIECE}};
  for (const auto& p : pieces) {
    ASSERT_EQ(oexn(&cda, 1, 0), OCI7_NEED_PIECE_IN);
    ub1 piece = 0;
    void* ctx = nullptr;
    ub4 iteration = 9, index = 9;
    ASSERT_EQ(ogetpi(&cda, &piece, &ctx, &iteration, &index), 0);
    EXPECT_EQ(piece, p.asked);
    EXPECT_EQ(ctx, &context);
    EXPECT_EQ(iteration, 0u);
    ub4 length = 2;
    ASSERT_EQ(osetpi(&cda, p.given, const_cast<char*>(p.data), &length), 0);
  }
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  EXPECT_EQ(cda.rowsProcessed, 1u);

  ASSERT_EQ(Parse("SELECT TEXT FROM " + table), 0);
  int defineContext = 0;
  sb2 fetchedIndicator = 5;
  ASSERT_EQ(odefinps(&cda, 0, 1, reinterpret_cast<ub1*>(&defineContext), 2147483647, SQLT_LNG, 0, &fetchedIndicator,
                     nullptr, 0, 0, nullptr, nullptr, 0, 0, 0, 0),
            0);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  std::string value;
  std::vector<ub1> offered;
  sword status = ofen(&cda, 1);
  while (status == OCI7_NEED_PIECE_OUT && offered.size() < 10) {
    ub1 piece = 0;
    void* ctx = nullptr;
    ub4 row = 9, index = 0;
    ASSERT_EQ(ogetpi(&cda, &piece, &ctx, &row, &index), 0);
    EXPECT_EQ(ctx, &defineContext);
    EXPECT_EQ(row, 0u);
    offered.push_back(piece);
    char chunk[3];
    ub4 length = sizeof chunk;
    ASSERT_EQ(osetpi(&cda, piece, chunk, &length), 0);
    status = ofen(&cda, 1);
    value.append(chunk, length);
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(value, "abcd");
  EXPECT_EQ(fetchedIndicator, 0);
  EXPECT_EQ(offered, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE}));
  EXPECT_EQ(ofen(&cda, 1), OCI7_END_OF_FETCH);
  ub1 piece = 0;
  void* ctx = nullptr;
  ub4 row = 0, index = 0;
  EXPECT_EQ(ogetpi(&cda, &piece, &ctx, &row, &index), -1002);  // nothing waits for a piece

  // A block's value for a piecewise bind comes back through oexn's -3130.
  ASSERT_EQ(Parse("BEGIN :TEXT := :TEXT || 'ef'; END;"), 0);
  ASSERT_EQ(obindps(&cda, 0, reinterpret_cast<const OraText*>(":TEXT"), -1, reinterpret_cast<ub1*>(&context),
                    2147483647, SQLT_LNG, 0, &indicator, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr, 0, 0),
            0);
  ASSERT_EQ(oexn(&cda, 1, 0), OCI7_NEED_PIECE_IN);
  ub4 length = 4;
  ASSERT_EQ(osetpi(&cda, OCI_ONE_PIECE, const_cast<char*>("abcd"), &length), 0);
  std::string returned;
  offered.clear();
  status = oexn(&cda, 1, 0);
  while (status == OCI7_NEED_PIECE_OUT && offered.size() < 10) {
    ASSERT_EQ(ogetpi(&cda, &piece, &ctx, &row, &index), 0);
    EXPECT_EQ(ctx, &context);
    offered.push_back(piece);
    char chunk[4];
    length = sizeof chunk;
    ASSERT_EQ(osetpi(&cda, piece, chunk, &length), 0);
    status = oexn(&cda, 1, 0);
    returned.append(chunk, length);
  }
  EXPECT_EQ(status, 0);
  EXPECT_EQ(returned, "abcdef");
  EXPECT_EQ(offered, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE}));
  EXPECT_EQ(oclose(&cda), 0);
  EXPECT_EQ(ologof(&lda), 0);
}

// A PL/SQL table (obindps opcode 1 with a maximum size) sends its elements in use and takes
// back the block's with their count; a cursor bind's data area takes the query a block opens.
TEST_F(Oci7ServerTest, TablesAndCursorsOfABlock) {
  ASSERT_EQ(Logon("SCOTT", "TIGER"), 0);
  ASSERT_EQ(oopen(&cda, &lda, nullptr, -1, -1, nullptr, -1), 0);
  ASSERT_EQ(Parse("BEGIN :TOTAL := 0; FOR i IN 1 .. :T.COUNT LOOP :TOTAL := :TOTAL + :T(i); END LOOP; "
                  ":T(4) := 40; OPEN :C FOR SELECT 'a' || DUMMY LETTERS FROM DUAL; END;"),
            0);
  sb4 numbers[5] = {10, 20, 30, 99, 99};
  sb2 numberInd[5] = {0, 0, 0, 0, 0};
  ub4 inUse = 3;
  ASSERT_EQ(obindps(&cda, 1, reinterpret_cast<const OraText*>(":T"), -1, reinterpret_cast<ub1*>(numbers), 4, SQLT_INT,
                    0, numberInd, nullptr, nullptr, 4, sizeof(sb2), 0, 0, 5, &inUse, nullptr, 0, 0),
            0);
  sb4 total = 0;
  sb2 totalInd = -1;
  obndrv(&cda, reinterpret_cast<const OraText*>(":TOTAL"), -1, reinterpret_cast<ub1*>(&total), 4, SQLT_INT, -1,
         &totalInd, nullptr, -1, -1);
  Cda_Def opened{};
  obndrv(&cda, reinterpret_cast<const OraText*>(":C"), -1, reinterpret_cast<ub1*>(&opened), -1, SQLT_CUR, -1, nullptr,
         nullptr, -1, -1);
  ASSERT_EQ(oexn(&cda, 1, 0), 0);
  EXPECT_EQ(total, 60);  // the fourth element was not in use when the block began
  EXPECT_EQ(inUse, 4u);
  EXPECT_EQ(numbers[3], 40);

  sb4 size = 0, nameLength = 50, displaySize = 0;
  sb2 type = 0, precision = 0, scale = 0, nullable = 0;
  sb1 columnName[50];
  ASSERT_EQ(odescr(&opened, 1, &size, &type, columnName, &nameLength, &displaySize, &precision, &scale, &nullable), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(columnName), static_cast<std::size_t>(nameLength)), "LETTERS");
  char letters[8] = {};
  odefin(&opened, 1, reinterpret_cast<ub1*>(letters), sizeof letters, SQLT_STR, -1, nullptr, nullptr, -1, -1, nullptr,
         nullptr);
  EXPECT_EQ(ofen(&opened, 1), 0);
  EXPECT_STREQ(letters, "aX");
  EXPECT_EQ(ofen(&opened, 1), OCI7_END_OF_FETCH);
  EXPECT_EQ(oclose(&opened), 0);

  inUse = 5;  // the block's fifth element would be the sixth: more than the room
  ASSERT_EQ(Parse("BEGIN :T(6) := 1; END;"), 0);
  ASSERT_EQ(obindps(&cda, 1, reinterpret_cast<const OraText*>(":T"), -1, reinterpret_cast<ub1*>(numbers), 4, SQLT_INT,
                    0, numberInd, nullptr, nullptr, 4, sizeof(sb2), 0, 0, 5, &inUse, nullptr, 0, 0),
            0);
  EXPECT_EQ(oexn(&cda, 1, 0), -6513);
  EXPECT_EQ(oclose(&cda), 0);
  EXPECT_EQ(ologof(&lda), 0);
}

}  // namespace
}  // namespace orastandin::testing
