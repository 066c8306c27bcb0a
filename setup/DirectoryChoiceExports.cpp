// The two ways the installation script lets the user pick a directory: the library's own
// chooser, and the shell's folder browser.
#include <shlobj.h>

#include <memory>

#include "platform/TextFile.h"
#include "setup/ExportBoundary.h"
#include "setup/Exports.h"
#include "setup/frmSelectDir.h"

using namespace setrix;

namespace {

// Сообщение
const char* const kMessageCaption = "\xD1\xEE\xEE\xE1\xF9\xE5\xED\xE8\xE5";
// Указанная директория не существует
const char* const kDirectoryMissing =
    "\xD3\xEA\xE0\xE7\xE0\xED\xED\xE0\xFF \xE4\xE8\xF0\xE5\xEA\xF2\xEE\xF0\xE8\xFF \xED\xE5 "
    "\xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2";
// Функция обратного вызова установлена.
const char* const kCallbackInstalled =
    "\xD4\xF3\xED\xEA\xF6\xE8\xFF \xEE\xE1\xF0\xE0\xF2\xED\xEE\xE3\xEE \xE2\xFB\xE7\xEE\xE2\xE0 "
    "\xF3\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xE0.";

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;  // 0x41

void ShowDirectoryError(const char* text) { MessageBoxA(nullptr, text, kMessageCaption, MB_OK | MB_ICONERROR); }

// The new-style browser needs COM on the thread; a host that has it keeps its own.
class TComApartment {
public:
    TComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~TComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;

private:
    HRESULT result_;
};

struct TComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using TComPtr = std::unique_ptr<T, TComRelease>;

// An item identifier list freed with the shell's allocator.
class TItemIdList {
public:
    explicit TItemIdList(IMalloc& allocator, LPITEMIDLIST list = nullptr) : allocator_(allocator), list_(list) {}
    ~TItemIdList() {
        if (list_) allocator_.Free(list_);
    }
    TItemIdList(const TItemIdList&) = delete;
    TItemIdList& operator=(const TItemIdList&) = delete;

    LPITEMIDLIST Get() const { return list_; }
    LPITEMIDLIST* Receive() { return &list_; }

private:
    IMalloc& allocator_;
    LPITEMIDLIST list_;
};

// Once the browser is up, select the start folder (its item list comes as the data).
int CALLBACK BrowseForFolderCallback(HWND browser, UINT message, LPARAM, LPARAM startFolder) {
    if (message == BFFM_INITIALIZED) {
        if (startFolder) PostMessageA(browser, BFFM_SETSELECTIONA, FALSE, startFolder);
        PostMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(kCallbackInstalled));
    }
    return 0;
}

// The chosen folder's path, "" when cancelled or when the browser cannot be set up.
AnsiString BrowseForFolder(const AnsiString& startFolder, const AnsiString& title, HWND owner) {
    TComApartment apartment;
    IMalloc* rawAllocator = nullptr;
    if (FAILED(SHGetMalloc(&rawAllocator)) || !rawAllocator) return AnsiString();
    const TComPtr<IMalloc> allocator(rawAllocator);
    IShellFolder* rawDesktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&rawDesktop)) || !rawDesktop) return AnsiString();
    const TComPtr<IShellFolder> desktop(rawDesktop);

    TItemIdList root(*allocator);
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, root.Receive()))) return AnsiString();

    // With no start folder the browser opens at its root rather than not at all.
    TItemIdList start(*allocator);
    const AnsiString folder = platform::Trim(startFolder);
    if (!folder.empty()) {
        const int length = MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, nullptr, 0);
        if (length <= 0) return AnsiString();
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wide.data(), length);
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, start.Receive(), nullptr)))
            return AnsiString();
    }

    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = root.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = kBrowseFlags;
    info.lpfn = &BrowseForFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.Get());
    TItemIdList chosen(*allocator, SHBrowseForFolderA(&info));
    if (!chosen.Get()) return AnsiString();
    char path[MAX_PATH] = {};
    return SHGetPathFromIDListA(chosen.Get(), path) ? AnsiString(path) : AnsiString();
}

}  // namespace

const char* SelectDirectory(const char* initialDir) {
    return Guarded<const char*>("", [&] {
        State().ChooserInitialDirectory = Arg(initialDir);
        const auto form = platform::NewUnownedComponent<TfrmSelectDir>();
        form->ShowModal();
        return ReturnText(form->EdPath->Text());
    });
}

const char* SelectDirectoryTree(const char* initialDir, const char* title, HWND ownerWindow, int showError) {
    return Guarded<const char*>("", [&] {
        AnsiString start = Arg(initialDir);
        const AnsiString caption = Arg(title);
        if (!platform::DirectoryExists(start)) {
            if (showError == 1) ShowDirectoryError(kDirectoryMissing);
            start.clear();
        }
        return ReturnText(BrowseForFolder(start, caption, ownerWindow));
    });
}
