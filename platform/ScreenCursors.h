// TScreenCursors: the screen's cursor list. Programs and libraries register their own
// cursors under an id (negative ids are the platform's and the libraries'); the list
// owns them and destroys each one when it is replaced or removed. An id without a
// cursor of its own shows the system's arrow. A cursor resource given by name is made
// when it is first asked for: making a cursor reaches the display, which a library's
// start (run under the loader lock) must not wait for.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <type_traits>

#include "platform/SysUtils.h"

namespace platform {

struct TCursorDestroyer {
    void operator()(HCURSOR cursor) const { DestroyCursor(cursor); }
};
// Owns one cursor made by the program (not a shared system cursor) and destroys it.
using TCursorHandle = std::unique_ptr<std::remove_pointer_t<HCURSOR>, TCursorDestroyer>;

// Loads the cursor resource `name` of `module` as a cursor of its own (the caller owns
// it); empty when the module has no such resource.
TCursorHandle LoadCursorResource(HINSTANCE module, const AnsiString& name);

class TScreenCursors {
public:
    // The cursor shown for `id`.
    HCURSOR Get(int id) const;
    // Whether `id` has a cursor of its own.
    bool Contains(int id) const { return cursors_.count(id) != 0 || resources_.count(id) != 0; }
    // Gives `id` the cursor, destroying the one it had; an empty handle removes the id.
    void Set(int id, TCursorHandle cursor);
    // Gives `id` the cursor resource `name` of `module`, made by the first Get; nothing
    // changes when the module has no such resource (finding it needs no display).
    void SetResource(int id, HINSTANCE module, const AnsiString& name);
    // Destroys the cursor of `id`, if any.
    void Remove(int id) {
        cursors_.erase(id);
        resources_.erase(id);
    }

private:
    struct TCursorResource {
        HINSTANCE module;
        AnsiString name;
    };

    // Get makes the given resources' cursors, hence mutable.
    mutable std::map<int, TCursorHandle> cursors_;
    mutable std::map<int, TCursorResource> resources_;
};

// The screen's one list.
TScreenCursors& ScreenCursors();

}  // namespace platform
