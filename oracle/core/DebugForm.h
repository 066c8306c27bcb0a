// TDebugForm: the modal window that shows a statement (SQL text and parameters) before
// it runs, for statements and datasets with Debug set or under a monitor that asks for
// it: a bar with a Close button and the navy note "Before execution" above a read-only
// memo in a fixed font, which fills the rest of the sizeable window. Enter or Escape
// closes it; its position is kept under HKEY_CURRENT_USER
// "\SOFTWARE\Hollis\DBAccess\Debug" from one window to the next.
#pragma once

#include <memory>

#include "platform/Forms.h"

namespace oracle {

class TDebugForm : public platform::TForm {
public:
    explicit TDebugForm(platform::TComponent* owner);
    ~TDebugForm() override;

    // Lays out the panels, the button, the label and the memo holding text.
    void Build(const platform::AnsiString& text);
    // Reads the window's bounds from the registry, or centres it at half the screen width.
    void RestorePosition();
    void SavePosition() const;

private:
    // The bar across the top, the strip down the left and the memo follow the window's size.
    void Layout();

    struct TFonts;
    std::unique_ptr<TFonts> fonts_;
    platform::TWinControl* top_ = nullptr;
    platform::TWinControl* left_ = nullptr;
    platform::TWinControl* memo_ = nullptr;
};

// Shows the debug window for a component's statement: caption = productName + " Debug: "
// + owner and component name + "  [title]"; modal until closed.
void ShowDebugWindow(const platform::AnsiString& productName, platform::TComponent* component,
                     const platform::AnsiString& text, const platform::AnsiString& title,
                     const platform::AnsiString& paramLines);

}  // namespace oracle
