#include "oracle/core/DebugForm.h"

#include <algorithm>
#include <memory>

#include "platform/Controls.h"
#include "platform/Registry.h"

namespace oracle {

using namespace platform;

namespace {

const char* const DebugKey = "\\SOFTWARE\\Hollis\\DBAccess\\Debug";

// A plain child window of the form: a panel, a label or the read-only memo.
class TDebugControl : public TWinControl {
public:
    TDebugControl(TComponent* owner, const char* windowClass, DWORD style, DWORD exStyle)
        : TWinControl(owner, windowClass, style | WS_CHILD | WS_VISIBLE, exStyle) {}
    void SetText(const AnsiString& text) { PutWindowText(text); }
    using TWinControl::Send;
};

struct FontDeleter {
    void operator()(HFONT font) const {
        if (font) DeleteObject(font);
    }
};
using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

TFontHandle MakeFont(const char* face, int height, bool bold) {
    return TFontHandle(CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, face));
}

}  // namespace

// The window's own font is 8 point MS Sans Serif; the memo keeps its size in Courier New.
constexpr int FontHeight = -11;
constexpr COLORREF Navy = 0x800000;
constexpr int BarHeight = 24;
constexpr int StripWidth = 15;

struct TDebugForm::TFonts {
    TFontHandle Bold = MakeFont("MS Sans Serif", FontHeight, true);
    TFontHandle Fixed = MakeFont("Courier New", FontHeight, false);
};

TDebugForm::TDebugForm(TComponent* owner) : TForm(owner), fonts_(std::make_unique<TFonts>()) {
    SetKeyPreview(true);
    OnKeyPress = [this](char& key) {
        if (key == 13 || key == 27) {
            key = 0;
            Close();
        }
    };
}

TDebugForm::~TDebugForm() {
    // The controls using the fonts go before them.
    DestroyComponents();
}

void TDebugForm::Build(const AnsiString& text) {
    top_ = NewComponent<TDebugControl>(*this, "STATIC", 0, 0);
    auto* close = NewComponent<TButton>(*this);
    close->SetCaption("Close");
    close->SetBounds(0, 1, 150, 22);
    close->OnClick = [this] { Close(); };
    SendMessageA(close->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->Bold.get()), TRUE);
    auto* label = NewComponent<TDebugControl>(*this, "STATIC", 0, 0);
    label->SetText("Before execution");
    label->SetBounds(175, 5, 150, 16);
    label->Send(WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->Bold.get()), TRUE);
    label->SetColors(Navy);
    left_ = NewComponent<TDebugControl>(*this, "STATIC", SS_SUNKEN, 0);
    auto* memo = NewComponent<TDebugControl>(
        *this, "EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
        WS_EX_CLIENTEDGE);
    memo->Send(WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->Fixed.get()), TRUE);
    memo->SetColors(CLR_INVALID, COLOR_BTNFACE);
    memo->SetText(text);
    memo->Send(EM_SETSEL, 0, 0);
    memo_ = memo;
    Layout();
    OnResize = [this] { Layout(); };
    OnShow = [memo] { memo->SetFocus(); };
}

void TDebugForm::Layout() {
    const RECT client = ClientRect();
    const int width = client.right, height = client.bottom;
    top_->SetBounds(0, 0, width, BarHeight);
    left_->SetBounds(0, BarHeight, StripWidth, std::max(0, height - BarHeight));
    memo_->SetBounds(StripWidth, BarHeight, std::max(0, width - StripWidth), std::max(0, height - BarHeight));
}

void TDebugForm::RestorePosition() {
    RECT bounds{};
    GetWindowRect(Handle(), &bounds);
    int left = bounds.left, top = bounds.top, width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (registry.EnterKeyReadOnly(DebugKey)) {
        if (registry.ValueExists("Left")) left = registry.GetInteger("Left");
        if (registry.ValueExists("Top")) top = registry.GetInteger("Top");
        if (registry.ValueExists("Width")) width = registry.GetInteger("Width");
        if (registry.ValueExists("Height")) height = registry.GetInteger("Height");
    } else {
        width = GetSystemMetrics(SM_CXSCREEN) / 2;
        left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDebugForm::SavePosition() const {
    RECT bounds{};
    if (!GetWindowRect(Handle(), &bounds)) return;
    TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    if (!registry.EnterKey(DebugKey, true)) return;
    registry.PutInteger("Left", bounds.left);
    registry.PutInteger("Top", bounds.top);
    registry.PutInteger("Width", bounds.right - bounds.left);
    registry.PutInteger("Height", bounds.bottom - bounds.top);
}

void ShowDebugWindow(const AnsiString& productName, TComponent* component, const AnsiString& text,
                     const AnsiString& title, const AnsiString& paramLines) {
    auto form = NewUnownedComponent<TDebugForm>();
    AnsiString caption = productName + " Debug: ";
    if (component) {
        if (component->Owner()) caption += component->Owner()->Name() + ".";
        caption += component->Name();
    }
    if (!title.empty()) caption += "  [" + title + "]";
    form->SetCaption(caption);
    form->SetSizeable(true);
    form->SetClientHeight(300);
    form->RestorePosition();
    form->Build(text + "\r\n\r\n" + paramLines);
    form->ShowModal();
    form->SavePosition();
}

}  // namespace oracle
