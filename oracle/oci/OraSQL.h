// TOraSQL: the Oracle statement component. A statement without a result set (DML, DDL,
// PL/SQL blocks) run on a TOraSession through an OCI command, with TOraParams as its
// parameters; without a session of its own it works on the default session.
#pragma once

#include <memory>

#include "oracle/core/CustomDASQL.h"
#include "oracle/oci/OraParams.h"

namespace oracle {

class TOraSession;
class TOCIConnection;

// Oracle error: the statement created a stored unit with compilation errors.
inline constexpr int32_t OraSuccessWithCompilationErrors = 24344;

class TOraSQL : public TCustomDASQL {
public:
    explicit TOraSQL(platform::TComponent* owner, TCustomDADataSet* owningDataSet = nullptr);
    ~TOraSQL() override;
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    TOraSession* Session() const;
    void SetSession(TOraSession* session);
    TOraParams& Params() const { return static_cast<TOraParams&>(TCustomDASQL::Params()); }
    void SetParams(const TOraParams& values) { TCustomDASQL::Params().CopyFromSource(&values); }
    TOraParam* FindParam(const platform::AnsiString& name) const { return Params().FindParam(name); }
    TOraParam& ParamByName(const platform::AnsiString& name) const { return Params().ParamByName(name); }
    bool NonBlocking() const { return TCustomDASQL::NonBlocking; }
    void SetNonBlocking(bool value);

    TCustomDAConnection* CommandConnection() const override;
    void AttachCommand(TQdCommand* command) override;
    // Parameters rebuilt for a new text keep the value objects (LOB contents) of those
    // of the same name and type.
    void StatementTextChanged() override;
    void CopyToTarget(platform::TPersistent& target) const override;

protected:
    void NewCommand() override;
    std::unique_ptr<platform::TParams> NewParamsObject() override;
    void ConnectionClosed() override;
    void ExecuteIterations(int iterations) override;
    void ParamsFromCommand() override;
    void ParamValueIn(int index) override;
    void ParamValueOut(int index) override;

private:
    // The command made while no session could make one.
    std::unique_ptr<TQdCommand> ownCommand_;
};

}  // namespace oracle
