#include "platform/DataLink.h"

#include <algorithm>

#include "platform/DataSet.h"
#include "platform/ScopeExit.h"

namespace platform {

// ---------------------------------------------------------------- TDataSource

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
    // Each link hears of it (a detail dataset closes); their handlers may fail.
    for (TDataLink* link : std::vector<TDataLink*>(links_)) CleanUpStep([link] { link->SetDataSource(nullptr); });
    CleanUpStep([this] { SetDataSet(nullptr); });
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet && IsLinkedTo(dataSet)) DatabaseError("Circular datalinks are not allowed");
    if (dataSet_) dataSet_->DetachDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->AttachDataSource(this);
    DataEvent(deUpdateState, 0);
}

void TDataSource::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSource::State() const {
    return dataSet_ && enabled_ ? dataSet_->State() : dsInactive;
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
    for (int depth = 0; dataSet && depth < 1000; ++depth) {
        TDataSource* source = const_cast<TDataSet*>(dataSet)->DataSource();
        if (!source) return false;
        if (source == this) return true;
        dataSet = source->DataSet();
    }
    return dataSet != nullptr;
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
    if (event == deUpdateState) {
        TDataSetState state = State();
        if (state == lastState_) {
            NotifyLinks(event, info);
            return;
        }
        lastState_ = state;
        NotifyLinks(event, info);
        if (OnStateChange) OnStateChange(*this);
        return;
    }
    if (State() == dsInactive) return;
    NotifyLinks(event, info);
    if (event == deFieldChange || event == deRecordChange || event == deDataSetChange ||
        event == deDataSetScroll || event == deLayoutChange) {
        if (OnDataChange)
            OnDataChange(*this, event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
    } else if (event == deUpdateRecord) {
        if (OnUpdateData) OnUpdateData(*this);
    }
}

void TDataSource::NotifyLinks(TDataEvent event, intptr_t info) {
    for (TDataLink* link : std::vector<TDataLink*>(links_))
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
}

int TDataSource::LinkBufferCount() const {
    int count = 1;
    for (TDataLink* link : links_) count = std::max(count, link->BufferCount());
    return count;
}

void TDataSource::AddLink(TDataLink* link) {
    links_.push_back(link);
    if (dataSet_ && dataSet_->Active()) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

// ---------------------------------------------------------------- TDataLink

TDataLink::~TDataLink() {
    if (dataSource_) dataSource_->RemoveLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_) dataSource_->RemoveLink(this);
    dataSource_ = source;
    if (dataSource_) dataSource_->AddLink(this);
    UpdateState();
}

TDataSet* TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::SetBufferCount(int count) {
    if (count < 1) count = 1;
    bufferCount_ = count;
    TDataSet* ds = DataSet();
    if (ds && ds->Active()) ds->UpdateBufferCount();
}

void TDataLink::UpdateState() {
    bool active = dataSource_ && dataSource_->State() != dsInactive;
    if (active != active_) {
        active_ = active;
        ActiveChanged();
    }
    TDataSetState state = dataSource_ ? dataSource_->State() : dsInactive;
    bool editing = active_ && (state == dsEdit || state == dsInsert || state == dsSetKey);
    if (editing != editing_) {
        editing_ = editing;
        EditingChanged();
    }
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
    if (event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
    case deFieldChange:
    case deRecordChange:
        if (!updating_) RecordChanged(event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
        break;
    case deDataSetChange:
        DataSetChanged();
        break;
    case deDataSetScroll:
        DataSetScrolled(static_cast<int>(info));
        break;
    case deLayoutChange:
        LayoutChanged();
        break;
    case deUpdateRecord:
        updating_ = true;
        try {
            UpdateData();
        } catch (...) {
            updating_ = false;
            throw;
        }
        updating_ = false;
        break;
    case deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case deFocusControl:
        FocusControl(reinterpret_cast<TField*>(info));
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- TMasterDataLink

void TMasterDataLink::SetFieldNames(const AnsiString& names) {
    if (names == fieldNames_) return;
    fieldNames_ = names;
    ResolveFields();
    if (Active() && OnMasterChange) OnMasterChange();
}

void TMasterDataLink::ResolveFields() {
    fields_.clear();
    if (Active() && !fieldNames_.empty()) fields_ = DataSet()->FieldList(fieldNames_);
}

void TMasterDataLink::ActiveChanged() {
    ResolveFields();
    if (Active()) {
        if (OnMasterChange) OnMasterChange();
    } else if (OnMasterDisable) {
        OnMasterDisable();
    }
}

void TMasterDataLink::CheckBrowseMode() {
    if (detail_ && detail_->Active()) detail_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TMasterDataLink::RecordChanged(TField* field) {
    if (!OnMasterChange || !Active()) return;
    if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
    OnMasterChange();
}

}  // namespace platform
