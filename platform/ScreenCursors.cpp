#include "platform/ScreenCursors.h"

namespace platform {

TCursorHandle LoadCursorResource(HINSTANCE module, const AnsiString& name) {
    // Without LR_SHARED the cursor is the caller's own, so destroying it is right.
    return TCursorHandle(static_cast<HCURSOR>(
        LoadImageA(module, name.c_str(), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE)));
}

HCURSOR TScreenCursors::Get(int id) const {
    const auto found = cursors_.find(id);
    if (found != cursors_.end()) return found->second.get();
    return LoadCursor(nullptr, IDC_ARROW);
}

void TScreenCursors::Set(int id, TCursorHandle cursor) {
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

TScreenCursors& ScreenCursors() {
    static TScreenCursors cursors;
    return cursors;
}

}  // namespace platform
