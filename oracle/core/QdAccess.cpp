#include "oracle/core/QdAccess.h"

#include "oracle/core/Assertion.h"
#include "platform/ScopeExit.h"
#include "platform/SysUtils.h"

namespace oracle {

void UnknownIdentifier(int id) { AssertionFailed(UnitQdAccess, std::to_string(id)); }

// Connection

bool TQdConnection::SetProp(int id, const platform::Variant& value) {
    if (id != prAutoCommit) UnknownIdentifier(id);
    autoCommit_ = value.AsBoolean();
    return true;
}

bool TQdConnection::GetProp(int id, platform::Variant&) { UnknownIdentifier(id); }

bool TQdConnection::AssignEvent(int id, TQdEventHandler) { UnknownIdentifier(id); }

// Parameters

bool TParamDesc::SetValue(const platform::Variant& value) {
    value_ = value;
    isNull_ = value.IsClear();
    return isNull_;
}

TParamDesc* TParamDescs::Add(std::unique_ptr<TParamDesc> param) {
    items_.push_back(std::move(param));
    return items_.back().get();
}

TParamDesc* TParamDescs::FindParam(const std::string& name) const {
    for (const auto& param : items_)
        if (platform::AnsiSameText(param->GetName(), name)) return param.get();
    return nullptr;
}

// Command

TParamDesc* TQdCommand::AddParam() { return params_.Add(std::make_unique<TParamDesc>()); }

bool TQdCommand::SetProp(int id, const platform::Variant& value) {
    if (id != prAutoCommit) UnknownIdentifier(id);
    autoCommit_ = value.AsBoolean();
    return true;
}

bool TQdCommand::GetProp(int id, platform::Variant& value) {
    switch (id) {
        case prCommandHasCursor:
            value = platform::Variant(false);
            return true;
        case prExecuting:
            value = platform::Variant(executing_.load());
            return true;
        default:
            UnknownIdentifier(id);
    }
}

bool TQdCommand::AssignEvent(int id, TQdEventHandler handler) {
    if (id != evAfterExecute) UnknownIdentifier(id);
    afterExecute_ = std::move(handler);
    return true;
}

// Record set

TQdRecordSet::~TQdRecordSet() {
    // Close and unprepare while the command still exists, then free it.
    platform::CleanUpStep([this] { Close(); });
    platform::CleanUpStep([this] { Unprepare(); });
    command_.reset();
}

TQdCommand* TQdRecordSet::Command() {
    if (!command_) CreateCommand();
    Check(command_ != nullptr, UnitQdAccess, "Record set has no command");
    return command_.get();
}

void TQdRecordSet::InternalPrepare() {
    TMemData::InternalPrepare();
    Command()->Prepare();
}

void TQdRecordSet::InternalUnprepare() {
    if (command_) command_->Unprepare();
}

void TQdRecordSet::InternalOpen() {
    eof_ = false;
    allFetched_ = false;
    ExecCommand();
}

void TQdRecordSet::ExecCommand() {
    Command()->Execute(1);
    if (fetchAll_)
        FetchAllRows();
    else
        Fetch();
}

void TQdRecordSet::FetchAllRows() {
    while (Fetch()) {
    }
    allFetched_ = true;
}

void TQdRecordSet::SetToBegin() {
    TMemData::SetToBegin();
    if (!firstItem_ && Active() && !allFetched_) eof_ = false;
}

void TQdRecordSet::GetNextRecord(void* dest) {
    if (Eof()) return;
    PItemHeader item = currentItem_ ? currentItem_->Next : firstItem_;
    if (!firstItem_) {
        if (!Fetch()) {
            allFetched_ = true;
            currentItem_ = nullptr;
            eof_ = true;
            return;
        }
        item = firstItem_;
    }
    while (true) {
        while (item && OmitRecord(item)) item = item->Next;
        if (item) break;
        // A unidirectional set may drop its older records when it fetches: the walk goes
        // on after the former last record while that is still there, else at the first.
        const PItemHeader formerLast = lastItem_;
        const uint32_t formerSerial = formerLast ? formerLast->Serial : 0;
        if (!Fetch()) {
            allFetched_ = true;
            currentItem_ = nullptr;
            eof_ = true;
            return;
        }
        item = formerLast && BlockManager().ItemAlive(formerLast, formerSerial) ? formerLast->Next : firstItem_;
    }
    currentItem_ = item;
    bof_ = eof_ = false;
    if (dest) BlockManager().GetRecord(item, dest);
}

void TQdRecordSet::GetPriorRecord(void* dest) {
    if (uniDirectional_) {
        bof_ = true;
        currentItem_ = nullptr;
        return;
    }
    TMemData::GetPriorRecord(dest);
}

bool TQdRecordSet::SetProp(int id, const platform::Variant& value) {
    switch (id) {
        case prUniDirectional:
            uniDirectional_ = value.AsBoolean();
            return true;
        case prFetchRows:
            fetchRows_ = value.AsInteger();
            return true;
        case prFetchAll:
            fetchAll_ = value.AsBoolean();
            return true;
        case prLongStrings:
            longStrings_ = value.AsBoolean();
            return true;
        case prKeepEmptyStrings:
            KeepEmptyStrings = value.AsBoolean();
            return true;
        default:
            UnknownIdentifier(id);
    }
}

bool TQdRecordSet::GetProp(int id, platform::Variant&) { UnknownIdentifier(id); }

bool TQdRecordSet::AssignEvent(int id, TQdEventHandler handler) {
    switch (id) {
        case evRecordSetExecuted:
            afterExecute_ = std::move(handler);
            return true;
        case evAllRowsFetched:
            afterFetchAll_ = std::move(handler);
            return true;
        case evBlockFetch:
            blockFetch_ = std::move(handler);
            return true;
        default:
            UnknownIdentifier(id);
    }
}

}  // namespace oracle
