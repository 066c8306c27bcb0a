#include "btrieve/components/QnBatchMove.h"

#include "btrieve/components/QnTable.h"

namespace btrieve {

const platform::TClassInfo& TQnBatchMove::StaticClassInfo() {
    static const platform::TClassInfo info = [] {
        platform::TClassInfo i("TQnBatchMove", &platform::TComponent::StaticClassInfo());
        i.Property("AbortOnKeyViol", &TQnBatchMove::AbortOnKeyViol, &TQnBatchMove::SetAbortOnKeyViol);
        i.Property("AbortOnProblem", &TQnBatchMove::AbortOnProblem, &TQnBatchMove::SetAbortOnProblem);
        i.Property("CommitCount", &TQnBatchMove::CommitCount, &TQnBatchMove::SetCommitCount);
        i.Property("ChangedTableName", &TQnBatchMove::ChangedTableName, &TQnBatchMove::SetChangedTableName);
        i.ComponentProperty("Destination", &TQnBatchMove::SetDestination);
        i.Property("KeyViolTableName", &TQnBatchMove::KeyViolTableName, &TQnBatchMove::SetKeyViolTableName);
        i.EnumProperty("Mode", &TQnBatchMove::Mode, &TQnBatchMove::SetMode,
                       {{"batAppend", platform::batAppend}, {"batUpdate", platform::batUpdate},
                        {"batAppendUpdate", platform::batAppendUpdate}, {"batDelete", platform::batDelete},
                        {"batCopy", platform::batCopy}});
        i.Property("ProblemTableName", &TQnBatchMove::ProblemTableName, &TQnBatchMove::SetProblemTableName);
        i.Property("RecordCount", &TQnBatchMove::RecordCount, &TQnBatchMove::SetRecordCount);
        i.ComponentProperty("Source", &TQnBatchMove::SetSource);
        i.Property("Transliterate", &TQnBatchMove::Transliterate, &TQnBatchMove::SetTransliterate);
        return i;
    }();
    return info;
}

void TQnBatchMove::SetDestination(TQnTable* value) {
    if (value == destination_) return;
    if (destination_ && destination_ != source_) RemoveFreeNotification(destination_);
    destination_ = value;
    if (value) FreeNotification(value);
}

void TQnBatchMove::SetSource(TQnBDEDataset* value) {
    if (value == source_) return;
    if (source_ && source_ != destination_) RemoveFreeNotification(source_);
    source_ = value;
    if (value) FreeNotification(value);
}

void TQnBatchMove::SetMappings(const platform::TStrings& value) {
    mappings_.Clear();
    mappings_.AddStrings(value);
}

void TQnBatchMove::ComponentNotice(platform::TComponent* component, bool inserted) {
    platform::TComponent::ComponentNotice(component, inserted);
    if (inserted) return;
    if (component == destination_) destination_ = nullptr;
    if (component == source_) source_ = nullptr;
}

}  // namespace btrieve
