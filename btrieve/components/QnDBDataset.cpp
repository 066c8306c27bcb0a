#include "btrieve/components/QnDBDataset.h"

#include "btrieve/base/VirtEng.h"
#include "btrieve/components/DBEngineError.h"
#include "btrieve/components/QnDatabase.h"
#include "btrieve/components/QnSession.h"

namespace btrieve {

using namespace platform;

namespace {
constexpr uint16_t kNotSufficientRights = 0x2902;
constexpr uint32_t kUpdateModeProp = 0x4050000;
constexpr uint32_t kAutoRefreshProp = 0x50017;
constexpr uint32_t kAutoIncProp = 0x50015;
constexpr uint32_t kDefaultProp = 0x50016;
}  // namespace

const TClassInfo& TQnDBDataset::StaticClassInfo() {
    static const TClassInfo info = [] {
        TClassInfo i("TQnDBDataset", &TQnBDEDataset::StaticClassInfo());
        i.Property("AutoRefresh", &TQnDBDataset::AutoRefresh, &TQnDBDataset::SetAutoRefresh);
        i.Property("DatabaseName", &TQnDBDataset::DatabaseName, &TQnDBDataset::SetDatabaseName);
        i.Property("SessionName", &TQnDBDataset::SessionName, &TQnDBDataset::SetSessionName);
        return i;
    }();
    return info;
}

TQnDBDataset::TQnDBDataset(TComponent* owner) : TQnBDEDataset(owner) {}

void TQnDBDataset::AfterConstruction() {
    TQnBDEDataset::AfterConstruction();
    if (auto* database = dynamic_cast<TQnDatabase*>(Owner())) {
        databaseName_ = database->DatabaseName();
        sessionName_ = database->SessionName();
    }
}

void TQnDBDataset::SetAutoRefresh(bool value) {
    RequireClosed();
    autoRefresh_ = value;
}

void TQnDBDataset::SetDatabaseName(const AnsiString& value) {
    if (InState(csReading) || InState(csLoading)) {
        databaseName_ = value;
        return;
    }
    if (value == databaseName_) return;
    RequireClosed();
    if (database_) DatabaseError("Cannot perform this operation on an open database");
    databaseName_ = value;
    DataEvent(dePropertyChange, 0);
}

void TQnDBDataset::SetSessionName(const AnsiString& value) {
    RequireClosed();
    sessionName_ = value;
    DataEvent(dePropertyChange, 0);
}

TBaseDatabase* TQnDBDataset::DBHandle() const { return database_ ? database_->Handle() : nullptr; }

TQnSession* TQnDBDataset::DBSession() {
    if (database_) return database_->Session();
    TQnSession* named = sessionList_ ? sessionList_->FindSession(sessionName_) : nullptr;
    return named ? named : PrimarySession();
}

bool TQnDBDataset::CheckOpen(uint16_t result) {
    if (result == 0) return true;
    if (result == kNotSufficientRights && DBSession() && DBSession()->GetPassword()) return false;
    Check(result);
    return false;
}

void TQnDBDataset::SetUpdateMode(TUpdateMode mode) {
    if (Cursor() && database_ && database_->SQLBased() && IsModifiable())
        Check(Engine().SetProp(Cursor(), kUpdateModeProp, mode));
    updateMode_ = mode;
}

void TQnDBDataset::SetAutoRefreshProps() {
    if (autoRefresh_) Check(Engine().SetProp(Cursor(), kAutoRefreshProp, 1));
    for (int i = 0; i < Fields().Count(); ++i) {
        TField* field = Fields().FieldAt(i);
        const TAutoRefreshFlag flag = field->AutoGenerateValue();
        if (flag != arAutoInc && flag != arDefault) continue;
        const int16_t pair[2] = {static_cast<int16_t>(i + 1), -1};
        Check(Engine().SetProp(Cursor(), flag == arAutoInc ? kAutoIncProp : kDefaultProp,
                               reinterpret_cast<intptr_t>(pair)));
    }
}

void TQnDBDataset::ActivateCursor(bool infoOnly) {
    if (!infoOnly) SetDatabaseBinding(0, true);
    TQnBDEDataset::ActivateCursor(infoOnly);
    if (infoOnly) return;
    SetUpdateMode(updateMode_);
    if (database_ && database_->SQLBased()) SetAutoRefreshProps();
}

void TQnDBDataset::DeactivateCursor() {
    try {
        TQnBDEDataset::DeactivateCursor();
    } catch (...) {
        SetDatabaseBinding(0, false);
        throw;
    }
    SetDatabaseBinding(0, false);
}

bool TQnDBDataset::SetDatabaseBinding(int flag, bool set) {
    const bool old = BindingSet(flag);
    if (set) {
        if (old) return old;
        if (bindings_ == 0) {
            CheckDBSessionName();
            TQnSession* session = sessionList_->GetSession(sessionName_);
            database_ = session->OpenDatabase(databaseName_, Owner());
            database_->AttachClient(this);
        }
        bindings_ = static_cast<uint16_t>(bindings_ | (1u << flag));
    } else if (old) {
        bindings_ = static_cast<uint16_t>(bindings_ & ~(1u << flag));
        if (bindings_ == 0 && database_) {
            TQnDatabase* database = database_;
            database_ = nullptr;
            database->DetachClient(this);
            if (database->Session()) database->Session()->CloseDatabase(database);
        }
    }
    return old;
}

void TQnDBDataset::CheckDBSessionName() {
    if (sessionName_.empty() || databaseName_.empty() || !sessionList_) return;
    TQnSession* named = sessionList_->FindSession(sessionName_);
    if (!named || named->FindDatabaseOfOwner(databaseName_, Owner())) return;
    TQnSession* primary = PrimarySession();
    if (!primary || primary == named) return;
    TQnDatabase* database = primary->FindDatabaseOfOwner(databaseName_, Owner());
    // The database goes to the session it names itself (one named before that session
    // existed waits in the primary session); its name is its own, never the dataset's.
    if (database) database->CheckSessionName(true);
}

}  // namespace btrieve
