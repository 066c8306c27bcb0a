#include "btrieve/components/QnDatabase.h"

#include <cstring>
#include <exception>
#include <vector>

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/CallHelpers.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnDBDataset.h"
#include "btrieve/components/QnSession.h"
#include "platform/ScopeExit.h"

namespace btrieve {

using platform::AnsiSameText;
using platform::DatabaseError;
using platform::DatabaseErrorFmt;
using platform::TComponent;

namespace {

constexpr uint32_t kDatabaseTypeProp = 0x40002;
constexpr int kSessionOnlyMode = 4;

// The open parameters as the engine takes them: one descriptor per name=value line and
// the values, in the OEM page and zero-terminated, one after another.
struct TParamBlock {
    std::vector<TEngineFieldDesc> descs;
    std::vector<char> values;
};

TParamBlock MakeParamBlock(const platform::TStrings& params) {
    TParamBlock block;
    for (int i = 0; i < params.Count(); ++i) {
        const AnsiString& line = params.Get(i);
        const size_t eq = line.find('=');
        if (eq == AnsiString::npos) continue;
        const AnsiString value = line.substr(eq + 1, 255);
        TEngineFieldDesc desc{};
        desc.fieldNumber = static_cast<uint16_t>(block.descs.size() + 1);
        CopyToField(desc.name, 32, line.substr(0, eq));
        desc.fieldType = 1;
        desc.offset = static_cast<uint16_t>(block.values.size());
        desc.length = static_cast<uint16_t>(value.size() + 1);
        AnsiString oem;
        AnsiToOemStr(value, oem);
        block.values.insert(block.values.end(), oem.begin(), oem.end());
        block.values.push_back('\0');
        block.descs.push_back(desc);
    }
    return block;
}

}  // namespace

const platform::TClassInfo& TQnDatabase::StaticClassInfo() {
    static const platform::TClassInfo info = [] {
        platform::TClassInfo i("TQnDatabase", &TCustomConnection::StaticClassInfo());
        i.Property("AliasName", &TQnDatabase::AliasName, &TQnDatabase::SetAliasName);
        i.Property("DatabaseName", &TQnDatabase::DatabaseName, &TQnDatabase::SetDatabaseName);
        i.Property("Exclusive", &TQnDatabase::Exclusive, &TQnDatabase::SetExclusive);
        i.Property("HandleShared", &TQnDatabase::HandleShared, &TQnDatabase::SetHandleShared);
        i.Property("KeepConnection", &TQnDatabase::KeepConnection, &TQnDatabase::SetKeepConnection);
        i.Property("ReadOnly", &TQnDatabase::ReadOnly, &TQnDatabase::SetReadOnly);
        i.Property("SessionName", &TQnDatabase::SessionName, &TQnDatabase::SetSessionName);
        i.EnumProperty("TransIsolation", &TQnDatabase::TransIsolation, &TQnDatabase::SetTransIsolation,
                       {{"tiDirtyRead", platform::tiDirtyRead},
                        {"tiReadCommitted", platform::tiReadCommitted},
                        {"tiRepeatableRead", platform::tiRepeatableRead}});
        return i;
    }();
    return info;
}

TQnDatabase::TQnDatabase(TComponent* owner) : TCustomConnection(owner) {
    params_.OnChanging = [this](platform::TStringList&) { CheckInactive(); };
}

void TQnDatabase::AfterConstruction() {
    BindSessionList();
    auto* ownerSession = dynamic_cast<TQnSession*>(Owner());
    session_ = ownerSession ? ownerSession : PrimarySession();
    sessionName_ = session_->SessionName();
    session_->AddDatabase(this);
    SetLoginPrompt(InitialLoginPrompt());
}

TQnDatabase::~TQnDatabase() {
    if (session_) session_->RemoveDatabase(this);
    params_.OnChanging = nullptr;
}

void TQnDatabase::CloseBeforeDestruction() {
    IncludeState(platform::csDestroying);
    // The engine may refuse to close; the component goes all the same.
    if (Connected()) platform::CleanUpStep([this] { CloseConnection(); });
    if (session_) session_->RemoveDatabase(this);
    session_ = nullptr;
}

TVirtEng& TQnDatabase::Engine() {
    TVirtEng* engine = EngineInstance();
    if (!engine) DatabaseError("Session is not active");
    return *engine;
}

// ---------------------------------------------------------------- properties

void TQnDatabase::SetAliasName(const AnsiString& value) {
    CheckInactive();
    storedName_ = value;
    aliased_ = true;
}

void TQnDatabase::SetDatabaseName(const AnsiString& value) {
    if (InState(platform::csReading) || InState(platform::csLoading)) {
        databaseName_ = value;
        return;
    }
    if (value == databaseName_) return;
    CheckInactive();
    ValidateName(value);
    databaseName_ = value;
}

void TQnDatabase::SetExclusive(bool value) {
    CheckInactive();
    exclusive_ = value;
}

void TQnDatabase::SetReadOnly(bool value) {
    CheckInactive();
    readOnly_ = value;
}

void TQnDatabase::SetKeepConnection(bool value) {
    if (value == keepConnection_) return;
    keepConnection_ = value;
    if (!value && refCount_ == 0) CloseConnection();
}

void TQnDatabase::SetParams(const platform::TStrings& value) {
    CheckInactive();
    params_.Clear();
    params_.AddStrings(value);
}

void TQnDatabase::SetSessionName(const AnsiString& value) {
    CheckInactive();
    if (value == sessionName_) return;
    sessionName_ = value;
    CheckSessionName(false);
}

// ---------------------------------------------------------------- checks

void TQnDatabase::CheckInactive() {
    if (!Connected()) return;
    if (InState(platform::csDesigning))
        CloseConnection();
    else
        DatabaseError("Cannot perform this operation on an open database");
}

void TQnDatabase::CheckDatabaseName() {
    if (databaseName_.empty() && !temporary_) DatabaseError("Database name missing");
}

void TQnDatabase::BindSession(TQnSession* session) {
    if (session_) session_->RemoveDatabase(this);
    session_ = session;
    FreeNotification(session);
    session_->AddDatabase(this);
}

void TQnDatabase::CheckSessionName(bool required) {
    if (!sessionList_) return;
    TQnSession* found = required ? sessionList_->GetSession(sessionName_) : sessionList_->FindSession(sessionName_);
    if (found && found != session_) {
        BindSession(found);
        try {
            ValidateName(databaseName_);
        } catch (...) {
            databaseName_.clear();
            throw;
        }
    }
    if (required && session_) session_->SetActive(true);
}

void TQnDatabase::ValidateName(const AnsiString& name) {
    if (name.empty() || !session_) return;
    TQnDatabase* other = nullptr;
    for (int i = 0; i < session_->DatabaseCount() && !other; ++i) {
        TQnDatabase* candidate = session_->Databases(i);
        // Only another component counts as a duplicate, never this one.
        if (candidate != this && (!candidate->DatabaseName().empty() || candidate->Temporary()) &&
            AnsiSameText(candidate->DatabaseName(), name))
            other = candidate;
    }
    if (!other || (handleShared_ && other->HandleShared())) return;
    if (!other->Temporary() || other->RefCount() > 0) DatabaseErrorFmt("Duplicate database name '%s'", name);
    if (other->Owner()) other->Owner()->RemoveComponent(other).reset();
}

// ---------------------------------------------------------------- connecting

void TQnDatabase::EstablishConnection() {
    if (handle_) return;
    CheckDatabaseName();
    CheckSessionName(true);
    if (!session_) DatabaseErrorFmt("Invalid session name %s", sessionName_);
    if (handleShared_ && OpenFromExisting()) return;
    TQnSession& session = *session_;
    TQnSessionLock lock(session);
    const int32_t configMode = session.GetConfigMode();
    try {
        const AnsiString password = GetConnectParams();
        try {
            OpenEngineDatabase(password);
        } catch (...) {
            if (sessionAlias_) {
                sessionAlias_ = false;
                session.InternalDeleteAlias(databaseName_);
            }
            throw;
        }
    } catch (...) {
        session.SetConfigMode(configMode);
        throw;
    }
    session.SetConfigMode(configMode);
}

void TQnDatabase::OpenEngineDatabase(const AnsiString& password) {
    char name[261];
    AnsiToNativeBuf(Engine(), nullptr, databaseName_, 260, name);
    char oemPassword[256];
    AnsiToNativeBuf(Engine(), nullptr, password, 255, oemPassword);
    TParamBlock block = MakeParamBlock(params_);
    TBaseDatabase* opened = nullptr;
    Check(Engine(), Engine().OpenDatabase(name, nullptr, readOnly_ ? 1 : 0, exclusive_ ? 1 : 0, oemPassword,
                                          static_cast<uint16_t>(block.descs.size()),
                                          block.descs.empty() ? nullptr : block.descs.data(),
                                          block.values.empty() ? nullptr : block.values.data(), opened));
    handle_ = opened;
    try {
        Engine().SetProp(handle_, 0x40005, 1);
        Engine().SetProp(handle_, 0x40004, 1);
        Engine().SetProp(handle_, 0x4040011, 1);
        ReadDatabaseType();
        session_->DBNotification(0, this);
    } catch (...) {
        // A connect that failed after the open leaves nothing open behind it.
        TBaseDatabase* closing = handle_;
        handle_ = nullptr;
        Engine().CloseDatabase(closing);
        throw;
    }
}

void TQnDatabase::ReadDatabaseType() {
    char type[32] = {};
    uint16_t length = 0;
    Check(Engine(), Engine().GetProp(handle_, kDatabaseTypeProp, type, sizeof type, length));
    sqlBased_ = !AnsiSameText(FieldText(type, sizeof type), "STANDARD");
    pseudoIndexes_ = false;
}

AnsiString TQnDatabase::GetConnectParams() {
    sessionAlias_ = false;
    const AnsiString name = !AliasName().empty() ? AliasName() : databaseName_;
    platform::TStringList list;
    session_->GetAliasParams(name, list);
    connectedAliasParams_ = list.JoinedText();
    if (!InState(platform::csDesigning)) {
        for (int i = 0; i < list.Count(); ++i) {
            const AnsiString key = list.Names(i);
            const int at = params_.IndexOfName(key);
            if (at < 0)
                params_.Add(list.Get(i));
            else if (params_.Values(key).empty())
                params_.SetValue(key, list.Values(key));
        }
    }
    AnsiString password;
    if (list.IndexOfName("USER NAME") >= 0) {
        if (LoginPrompt()) {
            if (params_.Values("USER NAME").empty()) params_.SetValue("USER NAME", list.Values("USER NAME"));
            platform::TStringList login;
            login.Add("USER NAME=" + params_.Values("USER NAME"));
            Login(login);
            password = login.Values("PASSWORD");
            params_.SetValue("USER NAME", login.Values("USER NAME"));
        } else {
            password = params_.Values("PASSWORD");
        }
    }
    bool needed = !AliasName().empty() && AliasName() != databaseName_;
    for (int i = 0; i < params_.Count(); ++i) {
        if (list.IndexOf(params_.Get(i)) >= 0) continue;
        const AnsiString key = params_.Names(i);
        if (AnsiSameText(key, "PASSWORD") || list.IndexOfName(key) < 0) continue;
        needed = true;
        list.SetValue(key, params_.Values(key));
    }
    if (needed) {
        session_->InternalAddAlias(databaseName_, "", false, kSessionOnlyMode, list);
        sessionAlias_ = true;
    }
    return password;
}

void TQnDatabase::Login(platform::TStrings& loginParams) {
    if (OnLogin) {
        OnLogin(*this, loginParams);
        return;
    }
    // No login dialog in this library: the user name stays, the password is empty.
    loginParams.SetValue("PASSWORD", "");
}

bool TQnDatabase::AliasParamsChanged() {
    const AnsiString name = !AliasName().empty() ? AliasName() : databaseName_;
    platform::TStringList list;
    try {
        session_->GetAliasParams(name, list);
    } catch (const platform::Exception&) {
        return true;
    }
    return list.JoinedText() != connectedAliasParams_;
}

bool TQnDatabase::OpenFromExisting() {
    TBaseDatabase* shared = session_->FindSharedHandle(databaseName_);
    if (!shared) return false;
    SetHandle(shared);
    acquiredHandle_ = false;
    return true;
}

void TQnDatabase::SetHandle(TBaseDatabase* handle) {
    if (Connected()) CloseConnection();
    if (!handle) return;
    TBapiListItem* owner = nullptr;
    Check(Engine(), Engine().GetObjFromObj(handle, 2, owner));
    CheckDatabaseName();
    CheckSessionName(true);
    if (session_->Handle() != owner) DatabaseError("Database handle owned by a different session");
    handle_ = handle;
    ReadDatabaseType();
    session_->DBNotification(0, this);
    acquiredHandle_ = true;
}

void TQnDatabase::SetDirectory(const AnsiString& directory) {
    if (!Connected()) return;
    char buffer[261];
    AnsiToNativeBuf(Engine(), nullptr, directory, 260, buffer);
    Check(Engine(), Engine().SetDirectory(handle_, buffer));
}

void TQnDatabase::CloseDataSets() {
    // A dataset whose close reports (cached changes dropped) is closed all the same: the
    // others close after it, and the first report passes on at the end.
    std::exception_ptr failure;
    while (ClientDataSetCount() > 0) {
        const int before = ClientDataSetCount();
        platform::TDataSet* last = ClientDataSets(before - 1);
        if (auto* dataset = dynamic_cast<TQnDBDataset*>(last))
            platform::Attempt(failure, [dataset] { dataset->DisconnectDataSet(); });
        // A dataset that stays registered is let go instead of being asked for ever.
        if (ClientDataSetCount() >= before) DetachClient(last);
    }
    if (failure) std::rethrow_exception(failure);
}

void TQnDatabase::ReleaseConnection() {
    if (!handle_ || releasing_) return;
    releasing_ = true;
    // What its datasets report on closing is passed on once the database is disconnected.
    std::exception_ptr datasetFailure;
    try {
        session_->DBNotification(1, this);
        platform::Attempt(datasetFailure, [this] { CloseDataSets(); });
        if (acquiredHandle_)
            acquiredHandle_ = false;
        else
            session_->CloseEngineDatabase(this);
    } catch (...) {
        releasing_ = false;
        throw;
    }
    releasing_ = false;
    sqlBased_ = false;
    handle_ = nullptr;
    refCount_ = 0;
    if (sessionAlias_) {
        sessionAlias_ = false;
        session_->InternalDeleteAlias(databaseName_);
    }
    if (datasetFailure) std::rethrow_exception(datasetFailure);
}

void TQnDatabase::StreamingCompleted() {
    TCustomConnection::StreamingCompleted();
    if (!StreamedConnected()) CheckSessionName(false);
}

void TQnDatabase::ComponentNotice(TComponent* component, bool inserted) {
    TCustomConnection::ComponentNotice(component, inserted);
    if (!inserted && component && component == session_) SessionGoing(session_);
}

void TQnDatabase::SessionGoing(TQnSession* session) {
    if (session != session_ || !session_) return;
    if (session_->IsPrimary()) {
        session_ = nullptr;
        return;
    }
    // The session goes whatever the close reports: the database must not keep pointing at it.
    platform::CleanUpStep([this] { CloseConnection(); });
    session_->RemoveDatabase(this);
    session_ = nullptr;
    sessionName_.clear();
    if (TQnSession* primary = PrimarySession()) {
        session_ = primary;
        session_->AddDatabase(this);
    }
}

}  // namespace btrieve
