// TCustomDASQL: the engine-neutral statement component: an SQL text with parameters and
// macros, run by one back-end command. A statement prepares itself when executed
// without an explicit Prepare and unprepares afterwards. An SQL dataset owns one as its
// inner statement, which then carries the dataset's text, parameters and macros and
// works on the dataset's record-set command. TDASQL is the published generic form.
#pragma once

#include <functional>
#include <memory>

#include "oracle/core/Macros.h"
#include "oracle/core/QdAccess.h"
#include "platform/Params.h"
#include "platform/StringList.h"

namespace oracle {

class TCustomDAConnection;
class TCustomDADataSet;

class TCustomDASQL : public platform::TComponent {
public:
    using TAfterExecuteEvent = std::function<void(platform::TComponent& sender, bool result)>;

    // owningDataSet: the dataset whose inner statement this is, or none.
    explicit TCustomDASQL(platform::TComponent* owner, TCustomDADataSet* owningDataSet = nullptr);
    // Creates the parameters and, for a standalone statement, the command.
    void AfterConstruction() override;
    ~TCustomDASQL() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TCustomDAConnection* Connection() const { return connection_; }
    virtual void SetConnection(TCustomDAConnection* session);
    platform::TStringList& SQL() { return sql_; }
    const platform::TStringList& SQL() const { return sql_; }
    // Takes the text only when it differs from the current one.
    void SetSQLText(const platform::AnsiString& text);
    platform::AnsiString SQLText() const { return sql_.JoinedText(); }
    platform::TParams& Params() const { return *params_; }
    // Copies the values into the parameters of the same names.
    void SetParams(const platform::TParams& values);
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value);
    TMacros& Macros() { return macros_; }
    const TMacros& Macros() const { return macros_; }
    void SetMacros(const TMacros& value) { value.CopyToTarget(macros_); }
    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value);
    bool Debug = false;
    bool NonBlocking = false;
    // No monitor notices (the session's own housekeeping statements).
    bool Untraced = false;
    TAfterExecuteEvent AfterExecute;

    void Prepare();
    void Unprepare();
    bool Prepared() const;
    void Execute() { ExecuteN(1); }
    void ExecuteN(int iterations);
    bool Executing() const;
    int RowsAffected() const;
    int ParamCount() const { return params_->Count(); }
    platform::Variant ParamValues(const platform::AnsiString& names) const { return params_->ParamValues(names); }
    platform::TParam* FindParam(const platform::AnsiString& name) const { return params_->FindParam(name); }

    TQdCommand* Command() const { return command_; }
    TCustomDADataSet* OwningDataSet() const { return owningDataSet_; }
    // The text given to the command (macros expanded; a dataset's effective text).
    const platform::AnsiString& FinalText() const { return finalText_; }
    // The session the statement works on (the Oracle statement: or the default one).
    virtual TCustomDAConnection* CommandConnection() const { return connection_; }

    // "Connection is not defined" without a session; connects it; registers with a
    // session that came from CommandConnection.
    void CheckConnection();
    // Makes a new command when the session's commands are of another class.
    void RebindCommand();
    // The session connected (true) or is disconnecting (false).
    void ConnectChanged(bool connecting);
    // The inner statement takes its dataset's record-set command (not owned).
    virtual void AttachCommand(TQdCommand* command);
    // Parameter values to and from the command.
    void WriteParams();
    void ReadParams();
    // The text changed: final text renewed and parameters rebuilt.
    virtual void StatementTextChanged();
    virtual platform::AnsiString FinalStatementText() const;

    void CopyToTarget(platform::TPersistent& target) const override;
    // "ParamData" and "MacroData": the items of the parameters and of the macros, or
    // the collections' older binary form.
    void DeclareStreamedValues(platform::TStreamedValues& values) override;

protected:
    virtual void NewCommand();
    virtual std::unique_ptr<platform::TParams> NewParamsObject();
    virtual void ConnectionClosed();
    virtual void PrepareStatement() { command_->Prepare(); }
    virtual void UnprepareStatement() { command_->Unprepare(); }
    virtual void ExecuteIterations(int iterations) { command_->Execute(iterations); }
    virtual void ScanSQLMacros();
    virtual void ParamsFromCommand();
    virtual void ParamsToCommand();
    virtual void ParamValueIn(int index);
    virtual void ParamValueOut(int index);
    // The command finished an execution.
    void CommandExecuted(bool success);
    void FreeCommand();

private:
    void SQLChanged();
    // Parameters of a text for a command that does not scan it itself.
    void ParseParams(const platform::AnsiString& text, platform::TParams& params) const;

    TCustomDAConnection* connection_ = nullptr;
    TCustomDADataSet* owningDataSet_;
    platform::TStringList sql_;
    std::unique_ptr<platform::TParams> params_;
    bool paramCheck_ = true;
    TMacros macros_;
    bool autoCommit_ = false;
    bool preparedByExecute_ = false;
    TQdCommand* command_ = nullptr;
    std::unique_ptr<TQdCommand> ownedCommand_;
    platform::AnsiString finalText_;
    bool settingText_ = false;
};

class TDASQL : public TCustomDASQL {
public:
    using TCustomDASQL::TCustomDASQL;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
};

}  // namespace oracle
