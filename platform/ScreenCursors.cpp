#include "platform/ScreenCursors.h"

namespace platform {

TCursorHandle LoadCursorResource(HINSTANCE module, const AnsiString& name) {
    // Without LR_SHARED the cursor is the caller's own, so destroying it is right.
    return TCursorHandle(static_cast<HCURSOR>(
        LoadImageA(module, name.c_str(), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE)));
}

HCURSOR TScreenCursors::Get(int id) const {
    const auto resource = resources_.find(id);
    if (resource != resources_.end()) {
        TCursorHandle cursor = LoadCursorResource(resource->second.module, resource->second.name);
        resources_.erase(resource);
        if (cursor) cursors_[id] = std::move(cursor);
    }
    const auto found = cursors_.find(id);
    if (found != cursors_.end()) return found->second.get();
    return LoadCursor(nullptr, IDC_ARROW);
}

void TScreenCursors::Set(int id, TCursorHandle cursor) {
    resources_.erase(id);
    if (!cursor) {
        Remove(id);
        return;
    }
    TCursorHandle& slot = cursors_[id];
    // Setting the cursor an id already has must not destroy it.
    if (slot.get() == cursor.get())
        static_cast<void>(cursor.release());
    else
        slot = std::move(cursor);
}

void TScreenCursors::SetResource(int id, HINSTANCE module, const AnsiString& name) {
    if (!FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(12))) return;  // RT_GROUP_CURSOR
    cursors_.erase(id);
    resources_[id] = TCursorResource{module, name};
}

TScreenCursors& ScreenCursors() {
    static TScreenCursors cursors;
    return cursors;
}

}  // namespace platform
