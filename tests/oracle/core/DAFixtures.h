// An in-memory back end for the data-access components: a "server" that records what
// it is asked (log-on, statements with their parameter values, transactions) and
// answers each statement text with scripted rows, a row count and output values.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/CustomDASQL.h"
#include "oracle/core/QdAccess.h"
#include "oracle/core/WaitCursor.h"
#include "platform/Variant.h"

namespace oracle::test {

using platform::Variant;

struct FakeResult {
    std::vector<FieldSpec> Columns;
    std::vector<std::vector<Variant>> Rows;
    int RowsAffected = 1;
    std::map<std::string, Variant> Outputs;
};

struct FakeServer {
    std::vector<std::string> Log;
    // Parameter values (name -> value) of every execution, in order.
    std::vector<std::map<std::string, Variant>> Executed;
    std::vector<bool> ExecutedAutoCommit;
    std::map<std::string, FakeResult> Results;
    // Scripted failures: an error code raised by the next connect or commit (0: none).
    int FailConnect = 0;
    int FailCommit = 0;
    int Prepares = 0;
    int CursorAtConnect = 0;
    // An error code raised when a record set closes (0: none).
    int FailClose = 0;
    // Statement texts the server refuses to execute (ORA-00942).
    std::vector<std::string> Rejected;

    FakeResult& ResultFor(const std::string& sql) { return Results[sql]; }
    int Count(const std::string& entry) const {
        int n = 0;
        for (const auto& line : Log) n += line == entry;
        return n;
    }
};

class FakeConnection : public TQdConnection {
public:
    explicit FakeConnection(FakeServer& server) : fake_(server) {}
    void Connect() override {
        fake_.Log.push_back("connect " + username_ + "/" + password_ + "@" + server_);
        fake_.CursorAtConnect = ScreenCursor();
        if (fake_.FailConnect) RaiseError(std::exchange(fake_.FailConnect, 0));
        connected_ = true;
    }
    void Disconnect() override {
        fake_.Log.push_back("disconnect");
        connected_ = false;
    }
    void StartTransaction() override { fake_.Log.push_back("start"); }
    void Commit() override {
        fake_.Log.push_back("commit");
        if (fake_.FailCommit) RaiseError(std::exchange(fake_.FailCommit, 0));
    }
    void Rollback() override { fake_.Log.push_back("rollback"); }
    bool SetProp(int id, const Variant& value) override {
        if (id == prAutoCommit) fake_.Log.push_back(std::string("autocommit ") + (value.AsBoolean() ? "on" : "off"));
        return TQdConnection::SetProp(id, value);
    }
    bool AssignEvent(int id, TQdEventHandler handler) override {
        if (id != evConnectionError) return TQdConnection::AssignEvent(id, std::move(handler));
        errorHook_ = std::move(handler);
        return true;
    }
    std::unique_ptr<TQdCommand> CreateCommand() override;
    std::unique_ptr<TQdRecordSet> CreateRecordSet() override;

    // Raises an error as a back end does: through the session's hook first.
    void RaiseError(int code) {
        const EDAError error(code, "ORA-" + std::to_string(code) + ": scripted failure");
        TDAErrorReport report{&error, true};
        if (errorHook_) errorHook_(ErrorReportArgument(report));
        if (report.Fail) throw error;
        platform::Abort();
    }
    FakeServer& Server() { return fake_; }

private:
    FakeServer& fake_;
    TQdEventHandler errorHook_;
};

// Scans ":name" parameters of its text itself, as the Oracle command does.
class FakeCommand : public TQdCommand {
public:
    explicit FakeCommand(FakeServer& server) : server_(server) {}
    int RowsProcessed = 0;

    void SetSQL(const std::string& text) override {
        TQdCommand::SetSQL(text);
        ClearParams();
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\'') {
                i = text.find('\'', i + 1);
                if (i == std::string::npos) break;
                continue;
            }
            if (text[i] != ':') continue;
            size_t end = i + 1;
            while (end < text.size() && (isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
            const std::string name = text.substr(i + 1, end - i - 1);
            if (!name.empty() && !FindParam(name)) AddParam()->SetName(name);
        }
    }
    void Prepare() override {
        prepared_ = true;
        ++server_.Prepares;
        server_.Log.push_back("prepare " + sql_);
    }
    void Unprepare() override {
        if (prepared_) server_.Log.push_back("unprepare " + sql_);
        prepared_ = false;
    }
    bool GetPrepared() override { return prepared_; }
    void Execute(int) override {
        server_.Log.push_back("execute " + sql_);
        std::map<std::string, Variant> values;
        for (int i = 0; i < ParamCount(); ++i) {
            Variant value;
            ParamAt(i)->GetValue(value);
            values[ParamAt(i)->GetName()] = value;
        }
        server_.Executed.push_back(values);
        server_.ExecutedAutoCommit.push_back(autoCommit_);
        for (const auto& rejected : server_.Rejected)
            if (rejected == sql_) throw EDAError(942, "ORA-00942: table or view does not exist");
        const FakeResult& result = server_.ResultFor(sql_);
        RowsProcessed = result.Columns.empty() ? result.RowsAffected : 0;
        for (const auto& [name, value] : result.Outputs)
            if (TParamDesc* param = FindParam(name)) param->SetValue(value);
        if (afterExecute_) afterExecute_(Variant(true));
    }
    int GetCursorState() override { return 0; }
    bool SetProp(int id, const Variant& value) override {
        if (id == prCommandHasCursor) return true;
        return TQdCommand::SetProp(id, value);
    }
    bool GetProp(int id, Variant& value) override {
        if (id == prCommandHasCursor) {
            value = Variant(true);
            return true;
        }
        if (id == prRowsProcessed) {
            value = Variant(RowsProcessed);
            return true;
        }
        return TQdCommand::GetProp(id, value);
    }

private:
    FakeServer& server_;
    bool prepared_ = false;
};

class FakeRecordSet : public TQdRecordSet {
public:
    explicit FakeRecordSet(FakeServer& server) : server_(server) {}
    ~FakeRecordSet() override { Close(); }

protected:
    void CreateCommand() override { SetCommand(std::make_unique<FakeCommand>(server_)); }
    void InternalInitFields() override {
        for (const FieldSpec& column : server_.ResultFor(Command()->SQL()).Columns) AddField(*this, column);
    }
    bool Fetch() override {
        const FakeResult& result = server_.ResultFor(Command()->SQL());
        if (fetched_ >= static_cast<int>(result.Rows.size())) return false;
        const int block = fetchRows_ > 0 ? fetchRows_ : 25;
        for (int i = 0; i < block && fetched_ < static_cast<int>(result.Rows.size()); ++i, ++fetched_) {
            PItemHeader item = BlockManager().AllocItem();
            void* record = TBlockManager::ItemData(item);
            InitRecord(record);
            const auto& row = result.Rows[static_cast<size_t>(fetched_)];
            for (size_t c = 0; c < row.size(); ++c)
                if (!row[c].IsClear()) PutFieldAsVariant(static_cast<int>(c) + 1, record, row[c]);
            AppendItem(item);
            ++recordCount_;
        }
        static_cast<FakeCommand*>(Command())->RowsProcessed = fetched_;
        return true;
    }
    void FreeData() override {
        TQdRecordSet::FreeData();
        fetched_ = 0;
    }
    void InternalClose() override {
        if (server_.FailClose) throw EDAError(std::exchange(server_.FailClose, 0), "ORA: scripted close failure");
    }

private:
    FakeServer& server_;
    int fetched_ = 0;
};

inline std::unique_ptr<TQdCommand> FakeConnection::CreateCommand() { return std::make_unique<FakeCommand>(fake_); }
inline std::unique_ptr<TQdRecordSet> FakeConnection::CreateRecordSet() {
    return std::make_unique<FakeRecordSet>(fake_);
}

// A session over the fake server; error code 3113 counts as a lost connection.
class TestSession : public TCustomDAConnection {
public:
    TestSession(platform::TComponent* owner, FakeServer* server) : TCustomDAConnection(owner), server_(server) {
        SetLoginPrompt(false);
    }
    bool IsFatalConnectionError(const EDAError& error) const override { return error.ErrorCode() == 3113; }
    FakeConnection& Fake() { return static_cast<FakeConnection&>(*ConnectionObject()); }
    // A fresh connection object of the same kind.
    void Renew() { AttachConnectionObject(std::make_unique<FakeConnection>(*server_)); }

protected:
    void NewConnectionObject() override { AttachConnectionObject(std::make_unique<FakeConnection>(*server_)); }

private:
    FakeServer* server_;
};

// The action raises the platform's database error with exactly this message.
template <class F>
void ExpectDatabaseError(F&& action, const char* message) {
    try {
        action();
        ADD_FAILURE() << "no error; expected: " << message;
    } catch (const platform::EDatabaseError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

inline std::unique_ptr<TestSession> NewSession(FakeServer& server) {
    return platform::NewUnownedComponent<TestSession>(&server);
}

}  // namespace oracle::test
