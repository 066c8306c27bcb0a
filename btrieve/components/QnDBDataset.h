// TQnDBDataset: a cursor dataset bound to a database component by DatabaseName and
// SessionName. Binding flags keep the database open while the dataset is open or while
// the table reads its definitions; the last flag cleared hands the database back.
#pragma once

#include <cstdint>

#include "btrieve/components/QnBDEDataset.h"

namespace btrieve {

class TQnDatabase;
class TBaseDatabase;
class TQnSession;
class TQnSessionlist;

class TQnDBDataset : public TQnBDEDataset {
public:
    explicit TQnDBDataset(platform::TComponent* owner);
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    void AfterConstruction() override;

    virtual void DisconnectDataSet() { CloseDataSet(); }
    // Sets or clears one of the 16 binding flags; gives the flag's old state.
    virtual bool SetDatabaseBinding(int flag, bool set);

    bool AutoRefresh() const { return autoRefresh_; }
    void SetAutoRefresh(bool value);
    const AnsiString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const AnsiString& value);
    const AnsiString& SessionName() const { return sessionName_; }
    void SetSessionName(const AnsiString& value);
    platform::TUpdateMode UpdateMode() const { return updateMode_; }
    void SetUpdateMode(platform::TUpdateMode mode);

    TQnDatabase* Database() const { return database_; }
    TBaseDatabase* DBHandle() const;
    TQnSession* DBSession();
    // 0: true; insufficient rights with a password given: false (try again); else raises.
    bool CheckOpen(uint16_t result);
    TQnSessionlist* SessionList() const { return sessionList_; }

protected:
    void StoreSessionList(TQnSessionlist* list) { sessionList_ = list; }
    void ActivateCursor(bool infoOnly) override;
    void DeactivateCursor() override;
    bool BindingSet(int flag) const { return (bindings_ & (1u << flag)) != 0; }

private:
    void CheckDBSessionName();
    void SetAutoRefreshProps();

    bool autoRefresh_ = false;
    uint16_t bindings_ = 0;
    platform::TUpdateMode updateMode_ = platform::upWhereAll;
    TQnDatabase* database_ = nullptr;
    AnsiString databaseName_;
    AnsiString sessionName_;
    TQnSessionlist* sessionList_ = nullptr;
};

}  // namespace btrieve
