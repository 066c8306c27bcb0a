#include "oracle/core/CustomDASQL.h"

#include <cmath>
#include <typeinfo>

#include "oracle/core/Assertion.h"
#include "oracle/core/CustomDAConnection.h"
#include "oracle/core/CustomDADataSet.h"
#include "oracle/core/DAError.h"
#include "oracle/core/DASQLMonitor.h"
#include "oracle/core/MemDataSet.h"
#include "oracle/core/WaitCursor.h"

namespace oracle {

using namespace platform;

TCustomDASQL::TCustomDASQL(TComponent* owner, TCustomDADataSet* owningDataSet)
    : TComponent(owner), owningDataSet_(owningDataSet) {
    sql_.OnChange = [this](TStringList&) { SQLChanged(); };
    macros_.OnChanged = [this] {
        if (owningDataSet_)
            owningDataSet_->MacrosChanged();
        else
            StatementTextChanged();
    };
}

void TCustomDASQL::AfterConstruction() {
    TComponent::AfterConstruction();
    params_ = NewParamsObject();
    if (!owningDataSet_) NewCommand();
}

TCustomDASQL::~TCustomDASQL() {
    sql_.OnChange = nullptr;
    macros_.OnChanged = nullptr;
    try {
        if (command_ && !owningDataSet_ && command_->GetPrepared()) Unprepare();
    } catch (...) {
        // A destructor must not throw; the command goes anyway.
    }
    if (TCustomDAConnection* session = CommandConnection()) session->DetachStatement(this);
    command_ = nullptr;
    ownedCommand_.reset();
}

const TClassInfo& TCustomDASQL::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TCustomDASQL", &TComponent::StaticClassInfo());
        i.Property("ParamCheck", &TCustomDASQL::ParamCheck, &TCustomDASQL::SetParamCheck);
        i.Property("SQL", &TCustomDASQL::SQLText, &TCustomDASQL::SetSQLText);
        i.ObjectProperty("Params", &TCustomDASQL::Params);
        i.ObjectProperty("Macros", &TCustomDASQL::Macros);
        i.Property("AutoCommit", &TCustomDASQL::AutoCommit, &TCustomDASQL::SetAutoCommit);
        i.FieldProperty("Debug", &TCustomDASQL::Debug);
        return i;
    }();
    return info;
}

const TClassInfo& TDASQL::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i = TClassInfo::Of<TDASQL>("TDASQL", &TCustomDASQL::StaticClassInfo());
        i.ComponentProperty("Connection", &TCustomDASQL::SetConnection);
        return i;
    }();
    return info;
}

std::unique_ptr<TParams> TCustomDASQL::NewParamsObject() { return std::make_unique<TParams>(this); }

// ---------------------------------------------------------------- session and command

void TCustomDASQL::SetConnection(TCustomDAConnection* session) {
    if (session == connection_ && session == CommandConnection()) return;
    if (TCustomDAConnection* old = CommandConnection()) {
        ConnectionClosed();
        old->DetachStatement(this);
    }
    connection_ = session;
    if (TCustomDAConnection* now = CommandConnection()) {
        now->AttachStatement(this);
        RebindCommand();
        if (command_) command_->SetConnection(now->ConnectionObject());
    } else if (command_) {
        command_->SetConnection(nullptr);
    }
}

void TCustomDASQL::NewCommand() {
    TCustomDAConnection* session = CommandConnection();
    if (session && session->ConnectionObject()) {
        ownedCommand_ = session->ConnectionObject()->CreateCommand();
        AttachCommand(ownedCommand_.get());
    } else {
        AttachCommand(nullptr);
    }
}

void TCustomDASQL::FreeCommand() {
    command_ = nullptr;
    ownedCommand_.reset();
}

void TCustomDASQL::AttachCommand(TQdCommand* command) {
    command_ = command;
    if (!command_) return;
    TCustomDAConnection* session = CommandConnection();
    command_->SetConnection(session ? session->ConnectionObject() : nullptr);
    command_->SetSQL(finalText_);
    command_->SetProp(prAutoCommit, Variant(autoCommit_));
    command_->AssignEvent(evAfterExecute, [this](const Variant& argument) {
        CommandExecuted(argument.IsClear() || argument.AsBoolean());
    });
    Variant scans;
    command_->GetProp(prCommandHasCursor, scans);
    if (!params_) return;
    // A command that scans its text itself describes the parameters from now on.
    if (scans.AsBoolean())
        StatementTextChanged();
    else
        ParamsToCommand();
}

void TCustomDASQL::RebindCommand() {
    if (owningDataSet_) return;  // the dataset's record set brings its command
    TCustomDAConnection* session = CommandConnection();
    if (session && session->ConnectionObject() && command_) {
        const std::unique_ptr<TQdCommand> probe = session->ConnectionObject()->CreateCommand();
        if (probe && typeid(*probe) == typeid(*command_)) return;
    }
    FreeCommand();
    NewCommand();
}

void TCustomDASQL::CheckConnection() {
    TCustomDAConnection* session = CommandConnection();
    if (!session) DADatabaseError(SConnectionNotDefined);
    if (!session->Connected()) session->Connect();
    if (!connection_ && !session->HasStatementClient(this)) {
        session->AttachStatement(this);
        RebindCommand();
        if (command_) command_->SetConnection(session->ConnectionObject());
    }
}

void TCustomDASQL::ConnectChanged(bool connecting) {
    if (!connecting) ConnectionClosed();
}

void TCustomDASQL::ConnectionClosed() {
    if (owningDataSet_)
        owningDataSet_->DisconnectDataSet();
    else
        Unprepare();
}

// ---------------------------------------------------------------- properties

void TCustomDASQL::SetSQLText(const AnsiString& text) {
    TStringList lines;
    lines.AssignText(text);
    if (lines.JoinedText() == sql_.JoinedText()) return;
    TStringsUpdate update(sql_);
    sql_.Clear();
    sql_.AddStrings(lines);
}

void TCustomDASQL::SetParams(const TParams& values) { params_->AssignValues(values); }

void TCustomDASQL::SetParamCheck(bool value) {
    paramCheck_ = value;
    const bool scan = value || InState(csDesigning);
    if (command_) {
        // Only a command that scans its text itself takes the setting.
        Variant scans;
        command_->GetProp(prCommandHasCursor, scans);
        if (scans.AsBoolean()) command_->SetProp(prCommandHasCursor, Variant(scan));
    }
    if (scan) StatementTextChanged();
}

void TCustomDASQL::SetAutoCommit(bool value) {
    autoCommit_ = value;
    if (command_) command_->SetProp(prAutoCommit, Variant(value));
}

bool TCustomDASQL::Prepared() const { return command_ && command_->GetPrepared(); }

bool TCustomDASQL::Executing() const {
    if (!command_) return false;
    Variant value;
    command_->GetProp(prExecuting, value);
    return value.AsBoolean();
}

int TCustomDASQL::RowsAffected() const {
    if (!command_) return 0;
    Variant value;
    command_->GetProp(prRowsProcessed, value);
    return value.AsInteger();
}

// ---------------------------------------------------------------- text and parameters

void TCustomDASQL::SQLChanged() {
    if (owningDataSet_) {
        owningDataSet_->CloseForChange();
        owningDataSet_->UnprepareDataSet();
        owningDataSet_->FieldDefs().SetUpdated(false);
    } else {
        Unprepare();
    }
    ScanSQLMacros();
    StatementTextChanged();
}

void TCustomDASQL::ScanSQLMacros() {
    if (owningDataSet_)
        owningDataSet_->ScanMacros();
    else
        macros_.Scan(sql_.JoinedText());
}

AnsiString TCustomDASQL::FinalStatementText() const {
    AnsiString text = sql_.JoinedText();
    if (macros_.Count() > 0) macros_.Expand(text);
    return text;
}

void TCustomDASQL::StatementTextChanged() {
    finalText_ = owningDataSet_ ? owningDataSet_->EffectiveSQL() : FinalStatementText();
    if (!params_) return;
    Variant scans(false);
    if (command_) command_->GetProp(prCommandHasCursor, scans);
    if (!(paramCheck_ || InState(csDesigning))) {
        if (command_) command_->SetSQL(finalText_);
        return;
    }
    std::unique_ptr<TParams> fresh = NewParamsObject();
    if (scans.AsBoolean()) {
        fresh->CopyFromSource(params_.get());
        command_->SetSQL(finalText_);
        ParamsFromCommand();
        params_->AssignValues(*fresh);
        return;
    }
    ParseParams(finalText_, *fresh);
    fresh->AssignValues(*params_);
    params_->BeginUpdate();
    try {
        params_->Clear();
        params_->CopyFromSource(fresh.get());
    } catch (...) {
        params_->EndUpdate();
        throw;
    }
    params_->EndUpdate();
    if (command_) {
        command_->SetSQL(finalText_);
        ParamsToCommand();
    }
}

// ":name" outside strings and comments names a parameter; "::" is not one, nor is a
// name that is already listed.
void TCustomDASQL::ParseParams(const AnsiString& text, TParams& params) const {
    TParser parser(text);
    parser.OmitBlank = false;
    parser.OmitComment = true;
    parser.Uppercase = false;
    std::string token;
    bool afterColon = false;
    for (int code = parser.GetNext(token); code != lcEnd; code = parser.GetNext(token)) {
        if (afterColon && (code == lcIdent || code == lcNumber || code > parser.Lexemes().SymbolCount)) {
            if (!params.FindParam(token)) params.CreateParam(ftUnknown, token, ptUnknown);
        }
        afterColon = token == ":" && !afterColon;  // the second colon of "::" marks nothing
    }
}

void TCustomDASQL::ParamsFromCommand() {
    params_->BeginUpdate();
    try {
        params_->Clear();
        for (int i = 0; i < command_->ParamCount(); ++i) {
            const TParamDesc* desc = command_->ParamAt(i);
            params_->CreateParam(FieldTypeForDataType(desc->GetDataType()), desc->GetName(),
                                 static_cast<TParamType>(desc->GetParamType()));
        }
    } catch (...) {
        params_->EndUpdate();
        throw;
    }
    params_->EndUpdate();
}

void TCustomDASQL::ParamsToCommand() {
    if (!command_) return;
    command_->ClearParams();
    for (int i = 0; i < params_->Count(); ++i) {
        const TParam& param = params_->Items(i);
        TParamDesc* desc = command_->AddParam();
        desc->SetName(param.Name());
        desc->SetDataType(DataTypeForFieldType(param.DataType()));
        desc->SetParamType(static_cast<uint8_t>(param.ParamType()));
    }
}

void TCustomDASQL::ParamValueIn(int index) {
    if (index >= command_->ParamCount()) return;
    const TParam& param = params_->Items(index);
    TParamDesc* desc = command_->ParamAt(index);
    desc->SetDataType(DataTypeForFieldType(param.DataType()));
    desc->SetParamType(static_cast<uint8_t>(param.ParamType()));
    const Variant& value = param.Value();
    // A date parameter carries whole days only.
    if (param.DataType() == ftDate && !value.IsClear())
        desc->SetValue(Variant::FromDateTime(std::trunc(value.AsDateTime())));
    else
        desc->SetValue(value);
}

void TCustomDASQL::ParamValueOut(int index) {
    if (index >= command_->ParamCount()) return;
    Variant value;
    command_->ParamAt(index)->GetValue(value);
    params_->Items(index).SetValue(value);
}

void TCustomDASQL::WriteParams() {
    for (int i = 0; i < params_->Count(); ++i) ParamValueIn(i);
}

void TCustomDASQL::ReadParams() {
    for (int i = 0; i < params_->Count(); ++i) ParamValueOut(i);
}

// ---------------------------------------------------------------- prepare and execute

void TCustomDASQL::Prepare() {
    if (Prepared()) return;
    CheckConnection();
    Check(command_ != nullptr, UnitDBAccess, "Statement has no command");
    if (!Untraced)
        TCustomDASQLMonitor::NotifyPrepare(CommandConnection()->SQLMonitorClass(), this, finalText_,
                                           preparedByExecute_, params_.get());
    PrepareStatement();
}

void TCustomDASQL::Unprepare() {
    if (Prepared()) UnprepareStatement();
    preparedByExecute_ = false;
}

void TCustomDASQL::ExecuteN(int iterations) {
    if (Executing()) return;
    preparedByExecute_ = !Prepared();
    // The background cursor counts this statement from here until the command reports
    // its completion; a failure before the command took it over gives it back here.
    bool backgroundCursorHeld = false;
    try {
        Prepare();
        if (!Untraced)
            TCustomDASQLMonitor::NotifyExecute(CommandConnection()->SQLMonitorClass(), this, finalText_, "",
                                               params_.get());
        SetWaitCursor(NonBlocking ? crBackground : crSQLWait);
        backgroundCursorHeld = NonBlocking;
        WriteParams();
        backgroundCursorHeld = false;
        ExecuteIterations(iterations);
    } catch (...) {
        if (backgroundCursorHeld) SetWaitCursor(crDefault);
        // The command reports no completion for a statement that failed on its way.
        if (preparedByExecute_) {
            try {
                Unprepare();
            } catch (...) {
            }
        }
        throw;
    }
}

void TCustomDASQL::CommandExecuted(bool success) {
    if (success) ReadParams();
    if (NonBlocking) SetWaitCursor(crDefault);
    if (preparedByExecute_) Unprepare();
    if (AfterExecute) AfterExecute(*this, success);
}

void TCustomDASQL::DeclareStreamedValues(TStreamedValues& values) {
    TComponent::DeclareStreamedValues(values);
    values.DefineCollection("ParamData", *params_, TStreamedValues::BinaryOf(*params_, "Data"));
    values.DefineCollection("MacroData", macros_, TStreamedValues::BinaryOf(macros_, "Data"));
}

void TCustomDASQL::CopyToTarget(TPersistent& target) const {
    auto* statement = dynamic_cast<TCustomDASQL*>(&target);
    if (!statement) {
        TComponent::CopyToTarget(target);
        return;
    }
    statement->SetConnection(connection_);
    statement->SetParamCheck(paramCheck_);
    statement->SetSQLText(sql_.JoinedText());
    statement->SetMacros(macros_);
    statement->Params().CopyFromSource(params_.get());
    statement->Debug = Debug;
    statement->SetAutoCommit(autoCommit_);
}

}  // namespace oracle
