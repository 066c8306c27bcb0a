// Fixture of the Oracle dataset and query tests: a session logged on to the stand-in
// server, statements run on it, tables made and counted, queries created the way the
// installation exports create them, and the statement texts a monitor receives.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "oracle/core/DASQLMonitor.h"
#include "oracle/oci/OraError.h"
#include "oracle/oci/OraQuery.h"
#include "oracle/oci/OraSQL.h"
#include "oracle/oci/OraSession.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle::testing {

class OraQueryTest : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        session_ = Connect();
    }

    void TearDown() override {
        session_.reset();
        OracleRegistryTest::TearDown();
    }

    static std::unique_ptr<TOraSession> Connect() {
        auto session = platform::NewUnownedComponent<TOraSession>();
        session->SetConnectPrompt(false);
        session->SetUsername("scott");
        session->SetPassword("tiger");
        session->SetServer("SETRIX_TEST");
        session->Connect();
        return session;
    }

    static void Exec(TOraSession& session, const std::string& sql) {
        auto statement = platform::NewUnownedComponent<TOraSQL>();
        statement->SetSession(&session);
        statement->SetSQLText(sql);
        statement->Execute();
    }
    void Exec(const std::string& sql) { Exec(*session_, sql); }

    // A table made afresh (dropped first when it exists).
    void MakeTable(const std::string& name, const std::string& columns) {
        try {
            Exec("DROP TABLE " + name);
        } catch (const EOraError&) {
        }
        Exec("CREATE TABLE " + name + " (" + columns + ")");
    }

    static int Count(TOraSession& session, const std::string& table, const std::string& where = "") {
        return session
            .ExecuteStatement("begin SELECT COUNT(*) INTO :Result FROM " + table + (where.empty() ? "" : " WHERE " + where) +
                                  "; end;",
                              {})
            .AsInteger();
    }

    // A query without owner on the session, its text given as the exports give it.
    std::unique_ptr<TOraQuery> NewQuery(const std::string& sql) {
        auto query = platform::NewUnownedComponent<TOraQuery>();
        query->SetSession(session_.get());
        query->SQL().AssignText(sql);
        return query;
    }

    std::unique_ptr<TOraSession> session_;
};

// Captures the texts the monitor receives.
class TTextCapture {
public:
    TTextCapture() : monitor_(platform::NewUnownedComponent<TDASQLMonitor>()) {
        monitor_->OnSQL = [this](void*, const platform::AnsiString& text, TDATraceFlag) { texts_.push_back(text); };
        monitor_->SetOptions(moCustom);
        monitor_->SetActive(true);
    }
    bool Saw(const std::string& part) const {
        for (const std::string& text : texts_)
            if (text.find(part) != std::string::npos) return true;
        return false;
    }
    // Every text, line breaks shown as \r and \n.
    std::string All() const {
        std::string all;
        for (const std::string& text : texts_) {
            for (char c : text) all += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
            all += "\n";
        }
        return all;
    }

private:
    std::unique_ptr<TDASQLMonitor> monitor_;
    std::vector<std::string> texts_;
};

}  // namespace oracle::testing
