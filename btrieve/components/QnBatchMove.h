// TQnBatchMove: keeps the settings of a batch move between two datasets. Moving
// records is not offered; the component only holds and streams its settings.
#pragma once

#include "platform/Classes.h"
#include "platform/DataSetTypes.h"
#include "platform/StringList.h"

namespace btrieve {

class TVirtEng;
class TQnTable;
class TQnBDEDataset;
using platform::AnsiString;

class TQnBatchMove : public platform::TComponent {
public:
    explicit TQnBatchMove(platform::TComponent* owner) : platform::TComponent(owner) {}
    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    virtual TVirtEng* EngineInstance() = 0;

    bool AbortOnKeyViol() const { return abortOnKeyViol_; }
    void SetAbortOnKeyViol(bool value) { abortOnKeyViol_ = value; }
    bool AbortOnProblem() const { return abortOnProblem_; }
    void SetAbortOnProblem(bool value) { abortOnProblem_ = value; }
    int CommitCount() const { return commitCount_; }
    void SetCommitCount(int value) { commitCount_ = value; }
    const AnsiString& ChangedTableName() const { return changedTableName_; }
    void SetChangedTableName(const AnsiString& value) { changedTableName_ = value; }
    TQnTable* Destination() const { return destination_; }
    void SetDestination(TQnTable* value);
    const AnsiString& KeyViolTableName() const { return keyViolTableName_; }
    void SetKeyViolTableName(const AnsiString& value) { keyViolTableName_ = value; }
    platform::TStringList& Mappings() { return mappings_; }
    void SetMappings(const platform::TStrings& value);
    platform::TBatchMode Mode() const { return mode_; }
    void SetMode(platform::TBatchMode value) { mode_ = value; }
    const AnsiString& ProblemTableName() const { return problemTableName_; }
    void SetProblemTableName(const AnsiString& value) { problemTableName_ = value; }
    int RecordCount() const { return recordCount_; }
    void SetRecordCount(int value) { recordCount_ = value; }
    TQnBDEDataset* Source() const { return source_; }
    void SetSource(TQnBDEDataset* value);
    bool Transliterate() const { return transliterate_; }
    void SetTransliterate(bool value) { transliterate_ = value; }

    void ComponentNotice(platform::TComponent* component, bool inserted) override;

private:
    bool abortOnKeyViol_ = true;
    bool abortOnProblem_ = true;
    int commitCount_ = 0;
    AnsiString changedTableName_;
    TQnTable* destination_ = nullptr;
    AnsiString keyViolTableName_;
    platform::TStringList mappings_;
    platform::TBatchMode mode_ = platform::batAppend;
    AnsiString problemTableName_;
    int recordCount_ = 0;
    TQnBDEDataset* source_ = nullptr;
    bool transliterate_ = true;
};

}  // namespace btrieve
