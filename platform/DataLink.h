// Data sources and data links: how controls and other datasets follow a dataset.
// TDataSource connects a dataset to any number of TDataLinks; each link hears the
// dataset's data events (state, record, scroll, field changes, posting checks).
// TMasterDataLink is the master side of a master/detail pair (the Btrieve table follows
// its MasterSource through one).
#pragma once

#include <functional>
#include <vector>

#include "platform/Classes.h"
#include "platform/DataSetTypes.h"

namespace platform {

class TDataSet;
class TDataLink;
class TField;

class TDataSource : public TComponent {
public:
    using TNotifyEvent = std::function<void(TDataSource&)>;
    using TDataChangeEvent = std::function<void(TDataSource&, TField*)>;

    explicit TDataSource(TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // The dataset's state, inactive without an enabled dataset.
    TDataSetState State() const;
    // True when dataSet follows this source, directly or through other masters (it
    // may then not become this source's dataset).
    bool IsLinkedTo(const TDataSet* dataSet) const;

    TNotifyEvent OnStateChange;
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnUpdateData;

private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, intptr_t info);
    int LinkBufferCount() const;
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void NotifyLinks(TDataEvent event, intptr_t info);

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    TDataSetState lastState_ = dsInactive;
    std::vector<TDataLink*> links_;
};

class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;
    // The source has an enabled, open dataset.
    bool Active() const { return active_; }
    // The dataset is editing or inserting.
    bool Editing() const { return editing_; }
    int BufferCount() const { return bufferCount_; }
    void SetBufferCount(int count);

protected:
    virtual void ActiveChanged() {}
    virtual void EditingChanged() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int) { DataSetChanged(); }
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField*) {}
    // Write pending control values into the fields.
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}
    virtual void FocusControl(TField*) {}

private:
    friend class TDataSource;
    void DataEvent(TDataEvent event, intptr_t info);
    void UpdateState();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool updating_ = false;
    int bufferCount_ = 1;
};

// The master side of a master/detail pair: the named master fields, and two handlers
// for "the master record moved or changed a link field" and "the master closed".
class TMasterDataLink : public TDataLink {
public:
    using THandler = std::function<void()>;

    explicit TMasterDataLink(TDataSet* detail = nullptr) : detail_(detail) {}

    // ";"-separated names of the master's link fields.
    const AnsiString& FieldNames() const { return fieldNames_; }
    void SetFieldNames(const AnsiString& names);
    // The master's link fields (empty while inactive).
    const std::vector<TField*>& Fields() const { return fields_; }
    TDataSet* Detail() const { return detail_; }

    THandler OnMasterChange;
    THandler OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override;
    void RecordChanged(TField* field) override;

private:
    void ResolveFields();

    TDataSet* detail_;
    AnsiString fieldNames_;
    std::vector<TField*> fields_;
};

}  // namespace platform
