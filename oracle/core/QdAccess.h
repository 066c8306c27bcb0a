// The back-end interface of the Oracle library: a server session, a statement
// with parameters, a record set filled from a statement, and one parameter.
// The data-access components talk only to these; the Oracle layer implements
// them. Options and notifications cross as integer property and event ids.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "oracle/core/MemData.h"
#include "platform/Variant.h"

// <windows.h> defines SetProp and GetProp as macros of its own; it is taken in here first
// so that the back-end interface keeps the names wherever both are seen.
#include <windows.h>
#undef SetProp
#undef GetProp

namespace oracle {

// Property identifiers of the base (the Oracle layer adds its own).
inline constexpr int prAutoCommit = 5;
inline constexpr int prCommandHasCursor = 11;
// Rows processed by the last execution of a command.
inline constexpr int prRowsProcessed = 13;
inline constexpr int prUniDirectional = 20;
inline constexpr int prFetchRows = 21;
inline constexpr int prFetchAll = 22;
inline constexpr int prExecuting = 24;
inline constexpr int prLongStrings = 25;
inline constexpr int prKeepEmptyStrings = 26;
// Event identifiers.
inline constexpr int evAfterExecute = 100;
inline constexpr int evRecordSetExecuted = 102;
inline constexpr int evAllRowsFetched = 103;
inline constexpr int evBlockFetch = 104;

// Handler of an event; the argument is the event's own (true/false at a block fetch).
using TQdEventHandler = std::function<void(const platform::Variant& argument)>;

// An identifier neither the back end nor the base knows: a programming error.
[[noreturn]] void UnknownIdentifier(int id);

class TQdCommand;
class TQdRecordSet;

class TQdConnection {
public:
    TQdConnection() = default;
    TQdConnection(const TQdConnection&) = delete;
    TQdConnection& operator=(const TQdConnection&) = delete;
    virtual ~TQdConnection() = default;

    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual bool SetProp(int id, const platform::Variant& value);
    virtual bool GetProp(int id, platform::Variant& value);
    virtual bool AssignEvent(int id, TQdEventHandler handler);
    virtual std::unique_ptr<TQdCommand> CreateCommand() = 0;
    virtual std::unique_ptr<TQdRecordSet> CreateRecordSet() = 0;

    bool GetConnected() const { return connected_; }
    void SetUsername(const char* value) { username_ = value ? value : ""; }
    void SetPassword(const char* value) { password_ = value ? value : ""; }
    void SetServer(const char* value) { server_ = value ? value : ""; }
    const std::string& Username() const { return username_; }
    const std::string& Password() const { return password_; }
    const std::string& Server() const { return server_; }
    bool AutoCommit() const { return autoCommit_; }

protected:
    bool connected_ = false;
    std::string username_;
    std::string password_;
    std::string server_;
    bool autoCommit_ = false;
};

class TParamDesc {
public:
    TParamDesc() = default;
    TParamDesc(const TParamDesc&) = delete;
    TParamDesc& operator=(const TParamDesc&) = delete;
    virtual ~TParamDesc() = default;

    virtual void SetDataType(TDataType value) { dataType_ = value; }
    virtual void SetSize(int32_t value) { size_ = value; }
    virtual void GetValue(platform::Variant& value) { value = value_; }
    // Answers whether the value is null (empty or Null).
    virtual bool SetValue(const platform::Variant& value);
    virtual bool GetNull() { return isNull_; }
    virtual void SetNull(bool value) { isNull_ = value; }

    const std::string& GetName() const { return name_; }
    void SetName(const std::string& value) { name_ = value; }
    TDataType GetDataType() const { return dataType_; }
    // The framework's parameter type (unknown, input, output, input-output, result).
    uint8_t GetParamType() const { return paramType_; }
    void SetParamType(uint8_t value) { paramType_ = value; }
    int32_t GetSize() const { return size_; }

protected:
    std::string name_;
    TDataType dataType_ = dtUnknown;
    uint8_t paramType_ = 0;
    int32_t size_ = 0;
    platform::Variant value_;
    bool isNull_ = true;
};

// Owning list of parameter descriptors.
class TParamDescs {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TParamDesc* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    TParamDesc* Add(std::unique_ptr<TParamDesc> param);
    void ClearItems() { items_.clear(); }
    // Case-insensitive; nil when there is none.
    TParamDesc* FindParam(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TParamDesc>> items_;
};

class TQdCommand {
public:
    TQdCommand() = default;
    TQdCommand(const TQdCommand&) = delete;
    TQdCommand& operator=(const TQdCommand&) = delete;
    virtual ~TQdCommand() = default;

    virtual void Prepare() = 0;
    virtual void Unprepare() = 0;
    virtual bool GetPrepared() = 0;
    virtual void Execute(int iterations) = 0;
    virtual void SetConnection(TQdConnection* connection) { connection_ = connection; }
    virtual void SetSQL(const std::string& text) { sql_ = text; }
    virtual int GetCursorState() = 0;
    virtual TParamDesc* AddParam();
    virtual bool SetProp(int id, const platform::Variant& value);
    virtual bool GetProp(int id, platform::Variant& value);
    virtual bool AssignEvent(int id, TQdEventHandler handler);

    void ClearParams() { params_.ClearItems(); }
    int ParamCount() const { return params_.Count(); }
    TParamDesc* ParamAt(int index) const { return params_.Items(index); }
    TParamDesc* FindParam(const std::string& name) const { return params_.FindParam(name); }

    TQdConnection* Connection() const { return connection_; }
    const std::string& SQL() const { return sql_; }
    bool AutoCommit() const { return autoCommit_; }
    bool Executing() const { return executing_; }

protected:
    TQdConnection* connection_ = nullptr;
    std::string sql_;
    TParamDescs params_;
    bool autoCommit_ = false;
    TQdEventHandler afterExecute_;
    // Written by a background execution while the owner reads it.
    std::atomic<bool> executing_{false};
};

// A record store filled from its own command. A back end creates the command in
// CreateCommand, which the record set calls the first time it needs one, and
// closes the record set in its own destructor.
class TQdRecordSet : public TMemData {
public:
    TQdRecordSet() = default;
    ~TQdRecordSet() override;

    void GetNextRecord(void* dest) override;
    void GetPriorRecord(void* dest) override;
    // Rows not fetched yet still lie ahead of the beginning.
    void SetToBegin() override;

    virtual void SetCommand(std::unique_ptr<TQdCommand> command) { command_ = std::move(command); }
    virtual void ExecCommand();
    virtual void FetchAllRows();
    // The prepared statement has rows to fetch (left to the back end).
    virtual bool CursorReady() { return false; }
    virtual void SetConnection(TQdConnection* connection) { Command()->SetConnection(connection); }
    virtual void SetSQL(const std::string& text) { Command()->SetSQL(text); }
    virtual bool SetProp(int id, const platform::Variant& value);
    virtual bool GetProp(int id, platform::Variant& value);
    virtual bool AssignEvent(int id, TQdEventHandler handler);

    TQdCommand* Command();
    bool UniDirectional() const { return uniDirectional_; }
    bool FetchKeepsRecords() const override { return !uniDirectional_; }
    int32_t FetchRows() const { return fetchRows_; }
    bool FetchAll() const { return fetchAll_; }
    bool LongStrings() const { return longStrings_; }
    // Every row of the statement is in the store.
    bool AllFetched() const { return allFetched_; }

protected:
    // Creates the record set's own command and attaches it with SetCommand.
    virtual void CreateCommand() = 0;
    void InternalPrepare() override;
    void InternalUnprepare() override;
    void InternalOpen() override;

    bool uniDirectional_ = false;
    int32_t fetchRows_ = 0;
    bool fetchAll_ = false;
    bool longStrings_ = true;
    bool allFetched_ = false;
    TQdEventHandler afterExecute_;
    TQdEventHandler afterFetchAll_;
    TQdEventHandler blockFetch_;

private:
    std::unique_ptr<TQdCommand> command_;
};

}  // namespace oracle
