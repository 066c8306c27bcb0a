#include "setup/frmSelectDir.h"

#include "platform/FormReader.h"
#include "platform/TextFile.h"
#include "setup/FilePaths.h"
#include "setup/ModuleState.h"

namespace setrix {

using namespace platform;

namespace {

// The chooser's texts, code page 1251.
const char* const kErrorCaption = "\xCE\xF8\xE8\xE1\xEA\xE0";                                  // Ошибка
const char* const kMessageCaption = "\xD1\xEE\xEE\xE1\xF9\xE5\xED\xE8\xE5";                   // Сообщение
// Неизвестный тип носителя
const char* const kUnknownMedia =
    "\xCD\xE5\xE8\xE7\xE2\xE5\xF1\xF2\xED\xFB\xE9 \xF2\xE8\xEF \xED\xEE\xF1\xE8\xF2\xE5\xEB\xFF";
// Неверный путь
const char* const kBadPath = "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9 \xEF\xF3\xF2\xFC";
// Указанный каталог не существует. Создать?
const char* const kCreateQuestion =
    "\xD3\xEA\xE0\xE7\xE0\xED\xED\xFB\xE9 \xEA\xE0\xF2\xE0\xEB\xEE\xE3 \xED\xE5 "
    "\xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2. \xD1\xEE\xE7\xE4\xE0\xF2\xFC?";
// Невозможно создать катаолг (sic: the product's own text)
const char* const kCannotCreate =
    "\xCD\xE5\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE \xF1\xEE\xE7\xE4\xE0\xF2\xFC \xEA\xE0\xF2\xE0\xEE\xEB\xE3";
// Нет доступа на запись в указанный каталог
const char* const kNoWriteAccess =
    "\xCD\xE5\xF2 \xE4\xEE\xF1\xF2\xF3\xEF\xE0 \xED\xE0 \xE7\xE0\xEF\xE8\xF1\xFC \xE2 "
    "\xF3\xEA\xE0\xE7\xE0\xED\xED\xFB\xE9 \xEA\xE0\xF2\xE0\xEB\xEE\xE3";
// Установка на переносные диски и диски в оперативной памяти запрещена
const char* const kRemovableRefused =
    "\xD3\xF1\xF2\xE0\xED\xEE\xE2\xEA\xE0 \xED\xE0 \xEF\xE5\xF0\xE5\xED\xEE\xF1\xED\xFB\xE5 "
    "\xE4\xE8\xF1\xEA\xE8 \xE8 \xE4\xE8\xF1\xEA\xE8 \xE2 \xEE\xEF\xE5\xF0\xE0\xF2\xE8\xE2\xED\xEE\xE9 "
    "\xEF\xE0\xEC\xFF\xF2\xE8 \xE7\xE0\xEF\xF0\xE5\xF9\xE5\xED\xE0";
// Ошибка при чтении носителя
const char* const kDriveReadError =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xEF\xF0\xE8 \xF7\xF2\xE5\xED\xE8\xE8 \xED\xEE\xF1\xE8\xF2\xE5\xEB\xFF";
// Каталог не найден
const char* const kNotFound = "\xCA\xE0\xF2\xE0\xEB\xEE\xE3 \xED\xE5 \xED\xE0\xE9\xE4\xE5\xED";

constexpr char kEscape = 27;

// Paths are kept free of Cyrillic letters: code 192 and above, and Ё and ё.
bool IsCyrillicLetter(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 192 || code == 0xA8 || code == 0xB8;
}

// The type of the path's drive; a path without a drive letter has no root directory.
UINT DriveTypeOf(const AnsiString& path) {
    if (path.size() < 2 || path[1] != ':') return DRIVE_NO_ROOT_DIR;
    return GetDriveTypeA((path.substr(0, 2) + "\\").c_str());
}

bool PathExists(const AnsiString& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

TfrmSelectDir::TfrmSelectDir(TComponent* owner) : TForm(owner) {
    ReadComponentResource(*this, HInstance());
    EdPath = Control<TEdit>("EdPath");
    DLB = Control<TDirectoryListBox>("DLB");
    BtnOK = Control<TButton>("BtnOK");
    CBDrive = Control<TDriveComboBox>("CBDrive");
    BtnCancel = Control<TButton>("BtnCancel");

    BtnOK->OnClick = [this] { BtnOKClick(); };
    BtnCancel->OnClick = [this] { BtnCancelClick(); };
    CBDrive->OnChange = [this] { CBDriveChange(); };
    DLB->OnChange = [this] { DLBChange(); };
    EdPath->OnKeyPress = [this](char& key) { EdPathKeyPress(key); };
    EdPath->OnChange = [this] { EdPathChange(); };
    OnKeyPress = [this](char& key) { FormKeyPress(key); };
    OnShow = [this] { FormShow(); };
}

const TClassInfo& TfrmSelectDir::StaticClassInfo() {
    static const TClassInfo info("TfrmSelectDir", &TForm::StaticClassInfo());
    return info;
}

template <class T>
T* TfrmSelectDir::Control(const char* name) {
    T* control = dynamic_cast<T*>(FindComponent(name));
    if (!control) throw EComponentError(AnsiString("The directory chooser has no control ") + name);
    return control;
}

void TfrmSelectDir::FormShow() {
    const AnsiString initial = State().ChooserInitialDirectory;
    try {
        DLB->SetDirectory(initial);
    } catch (const Exception&) {
        ShowError(kNotFound, MB_ICONINFORMATION);
        try {
            DLB->SetDirectory("C:\\");
        } catch (const Exception&) {
        }
        EdPath->SetText(initial);
        EdPath->SetSelStart(static_cast<int>(initial.size()));
    }
}

void TfrmSelectDir::DLBChange() {
    const AnsiString& directory = DLB->Directory();
    EdPath->SetText(directory);
    if (directory.size() >= 2 && directory[1] == ':') CBDrive->SetDrive(directory[0]);
}

void TfrmSelectDir::EdPathKeyPress(char& key) {
    if (IsCyrillicLetter(key)) {
        key = 0;
    } else if (key == '\r' && !PathAccepted()) {
        key = 0;
    }
}

void TfrmSelectDir::EdPathChange() {
    const AnsiString text = EdPath->Text();
    AnsiString kept;
    int caret = EdPath->SelStart();
    for (size_t i = 0; i < text.size(); ++i) {
        if (!IsCyrillicLetter(text[i]))
            kept += text[i];
        else if (static_cast<int>(i) < EdPath->SelStart())
            --caret;
    }
    if (kept == text) return;
    EdPath->SetText(kept);
    EdPath->SetSelStart(caret);
}

void TfrmSelectDir::FormKeyPress(char& key) {
    if (key != kEscape) return;
    key = 0;
    BtnCancelClick();
}

void TfrmSelectDir::BtnOKClick() {
    if (!PathAccepted()) return;
    if (IsDirectoryWritable(EdPath->Text()))
        SetModalResult(platform::mrOk);
    else
        ShowError(kNoWriteAccess, MB_ICONERROR);
}

void TfrmSelectDir::BtnCancelClick() {
    EdPath->SetText("");
    SetModalResult(platform::mrCancel);
}

void TfrmSelectDir::CBDriveChange() {
    try {
        const char drive = CBDrive->Drive();
        if (drive == 0) return;
        const AnsiString root = AnsiString(1, drive) + ":\\";
        if (AnsiUpperCase(Trim(EdPath->Text())) == root) return;
        EdPath->SetText(root);
        PathAccepted();
    } catch (const std::exception&) {
        ShowError(kDriveReadError, MB_ICONERROR);
    }
}

bool TfrmSelectDir::PathAccepted() {
    const AnsiString path = EdPath->Text();
    if (path.empty()) return false;
    if (path.compare(0, 2, "\\\\") == 0) return ExistingOrCreated(path);
    switch (DriveTypeOf(path)) {
        case DRIVE_FIXED:
        case DRIVE_REMOTE:
            return ExistingOrCreated(path);
        case DRIVE_NO_ROOT_DIR:
            ShowError(kBadPath, MB_ICONERROR);
            return false;
        case DRIVE_CDROM:
            ShowError(kNoWriteAccess, MB_ICONERROR);
            return false;
        case DRIVE_REMOVABLE:
        case DRIVE_RAMDISK:
            ShowError(kRemovableRefused, MB_ICONERROR);
            return false;
        default:
            ShowError(kUnknownMedia, MB_ICONERROR);
            return false;
    }
}

bool TfrmSelectDir::ExistingOrCreated(const AnsiString& path) {
    if (DirectoryExists(path)) {
        DLB->SetDirectory(path);
        return true;
    }
    if (ShowMessageBox(kCreateQuestion, kMessageCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return true;
    if (ForceDirectories(path)) return true;
    ShowError(kCannotCreate, MB_ICONERROR);
    return false;
}

bool TfrmSelectDir::IsDirectoryWritable(const AnsiString& directory) {
    const AnsiString base = IncludeTrailingBackslash(directory);
    AnsiString name = "temp.tmp";
    while (PathExists(base + name)) name = "_" + name;
    // A new file only: a name taken meanwhile is never truncated.
    THandleOwner probe(CreateFileA((base + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.Valid()) return false;
    probe.Reset();
    DeleteFileA((base + name).c_str());
    return true;
}

void TfrmSelectDir::ShowError(const char* text, UINT icon) { ShowMessageBox(text, kErrorCaption, MB_OK | icon); }

}  // namespace setrix
