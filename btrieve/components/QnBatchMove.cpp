#include "btrieve/components/QnBatchMove.h"

#include "btrieve/components/QnTable.h"

namespace btrieve {

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
