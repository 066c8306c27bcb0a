// Server name resolution of the stand-in client: tnsnames.ora entries and descriptors.
#include <gtest/gtest.h>
#include <windows.h>

#include "standins/oracle/client/TnsNames.h"
#include "standins/oracle/protocol/OraError.h"

namespace orastandin {
namespace {

const char* const kTnsNames =
    "# comment (HOST = ignored)\n"
    "PROD.WORLD, PROD_ALIAS =\n"
    "  (DESCRIPTION =\n"
    "    (ADDRESS_LIST = (ADDRESS = (PROTOCOL = TCP)(HOST = db1)(PORT = 1522)))\n"
    "    (CONNECT_DATA = (SERVICE_NAME = prod)))\n"
    "old=(description=(address=(protocol=tcp)(host=legacy)(port=1521))(connect_data=(sid=ORCL)))\n"
    "SLOW = (DESCRIPTION = (CONNECT_TIMEOUT = 3)(ADDRESS = (HOST = h)(PORT = 1))(CONNECT_DATA = (SERVICE_NAME = s)))\n";

TEST(TnsNames, AliasesResolveToHostPortAndService) {
  struct Case { const char* alias; const char* host; int port; const char* service; int timeoutMs; };
  const Case cases[] = {
      {"PROD", "db1", 1522, "prod", 10000},
      {"prod.world", "db1", 1522, "prod", 10000},
      {"Prod_Alias", "db1", 1522, "prod", 10000},
      {"OLD", "legacy", 1521, "ORCL", 10000},
      {"slow", "h", 1, "s", 3000},
  };
  for (const auto& c : cases) {
    std::string descriptor = FindAlias(kTnsNames, c.alias);
    ServerAddress a;
    ASSERT_TRUE(ParseDescriptor(descriptor, a)) << c.alias;
    EXPECT_EQ(a.host, c.host) << c.alias;
    EXPECT_EQ(a.port, c.port) << c.alias;
    EXPECT_EQ(a.service, c.service) << c.alias;
    EXPECT_EQ(a.connectTimeoutMs, c.timeoutMs) << c.alias;
  }
  EXPECT_EQ(FindAlias(kTnsNames, "MISSING"), "");
  EXPECT_EQ(FindAlias(kTnsNames, "comment"), "");
}

TEST(TnsNames, EasyConnectAndDescriptorTexts) {
  ServerAddress a = ResolveServerName("127.0.0.1:1600/SETRIX");
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, 1600);
  EXPECT_EQ(a.service, "SETRIX");
  a = ResolveServerName("(DESCRIPTION=(ADDRESS=(HOST=x)(PORT=7))(CONNECT_DATA=(SID=Y)))");
  EXPECT_EQ(a.port, 7);
  EXPECT_EQ(a.service, "Y");
}

TEST(TnsNames, AnEmptyNameMeansTheLocalDatabase) {
  SetEnvironmentVariableA("TWO_TASK", nullptr);
  SetEnvironmentVariableA("LOCAL", "//127.0.0.1:1700/LOCALDB");
  ServerAddress a = ResolveServerName("  ");
  EXPECT_EQ(a.port, 1700);
  EXPECT_EQ(a.service, "LOCALDB");
  SetEnvironmentVariableA("LOCAL", nullptr);
  try {
    ResolveServerName("");
    FAIL();
  } catch (const OraError& e) {
    EXPECT_EQ(e.Code(), 12560);
  }
}

TEST(TnsNames, UnknownAliasIsOra12154) {
  try {
    ResolveServerName("NO_SUCH_ALIAS_ANYWHERE");
    FAIL();
  } catch (const OraError& e) {
    EXPECT_EQ(e.Code(), 12154);
    EXPECT_EQ(e.Text(), "ORA-12154: TNS:could not resolve the connect identifier specified\n");
  }
}

}  // namespace
}  // namespace orastandin
