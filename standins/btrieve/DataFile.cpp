#include "standins/btrieve/DataFile.h"

namespace wbtrv {

using namespace btrieve;

void ChangeSet::Inserted(uint32_t position, const Bytes& data) {
    batch_.AddPut(position, data);
    undo_.push_back({position, false, {}});
}

void ChangeSet::Updated(uint32_t position, StoredRecord before, const Bytes& after) {
    batch_.AddPut(position, after);
    undo_.push_back({position, true, std::move(before)});
}

void ChangeSet::Deleted(uint32_t position, StoredRecord before) {
    batch_.AddDelete(position);
    undo_.push_back({position, true, std::move(before)});
}

void ChangeSet::RollBack(RecordTable& table) {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        if (it->existed) table.Restore(it->position, std::move(it->before));
        else table.Remove(it->position);
    }
    Clear();
}

void ChangeSet::Clear() {
    batch_.Clear();
    undo_.clear();
}

int16_t DataFile::Open(const std::string& path, std::shared_ptr<DataFile>& out) {
    auto file = std::make_shared<DataFile>();
    file->path_ = path;
    if (int16_t status = file->log_.Open(path)) return status;
    if (int16_t status = file->Refresh()) return status;
    if (!file->defined_) return StatusIoError;
    out = std::move(file);
    return StatusOk;
}

int16_t DataFile::Refresh() {
    return log_.CatchUp([this](const Bytes& payload) { Apply(payload); });
}

void DataFile::Apply(const Bytes& payload) {
    ChangeBatch::ForEach(payload, [this](const ChangeBatch::Item& item) {
        switch (item.kind) {
        case ChangeBatch::Definition: {
            FileDefinition definition;
            if (ParseFileDefinition(item.data, item.length, true, definition) == StatusOk &&
                table_.Define(definition) == StatusOk)
                defined_ = true;
            break;
        }
        case ChangeBatch::PutRecord:
            // Position 0 means "none" to callers; a file that holds it is not one we wrote.
            if (defined_ && item.position != 0) table_.Put(item.position, Bytes(item.data, item.data + item.length));
            break;
        case ChangeBatch::DeleteRecord:
            table_.Remove(item.position);
            break;
        case ChangeBatch::Owner:
            owner_.assign(reinterpret_cast<const char*>(item.data), item.length);
            ownerMode_ = static_cast<uint8_t>(item.position);
            break;
        }
    });
}

}  // namespace wbtrv
