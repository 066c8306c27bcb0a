#include "standins/oracle/client/OciHandles.h"

namespace orastandin::oci {

bool HandleRegistry::Free(const void* h, ub4 type) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(h);
  if (it == entries_.end() || it->second->type != type) return false;
  FreeLocked(h);
  return true;
}

void HandleRegistry::FreeLocked(const void* h) {
  std::vector<const void*> owned;
  for (const auto& [key, entry] : entries_)
    if (entry->owner == h) owned.push_back(key);
  for (const void* child : owned) FreeLocked(child);
  entries_.erase(h);
}

HandleRegistry& Handles() {
  static HandleRegistry registry;
  return registry;
}

}  // namespace orastandin::oci
