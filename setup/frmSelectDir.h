// TfrmSelectDir: the library's own directory chooser, shown by SelectDirectory. The user
// types a path or walks the tree of a drive; only directories on fixed or network drives
// (or UNC paths) are accepted, missing ones are created on request, and OK closes the form
// only for a directory that can be written to.
#pragma once

#include "platform/Controls.h"
#include "platform/FileCtrls.h"

namespace setrix {

using platform::AnsiString;

class TfrmSelectDir : public platform::TForm {
public:
    // Built from its form description in the library's resources; it starts at the
    // chooser's initial directory kept in the module state.
    explicit TfrmSelectDir(platform::TComponent* owner);

    static const platform::TClassInfo& StaticClassInfo();
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // The controls of the description, owned by the form.
    platform::TEdit* EdPath = nullptr;
    platform::TDirectoryListBox* DLB = nullptr;
    platform::TButton* BtnOK = nullptr;
    platform::TDriveComboBox* CBDrive = nullptr;
    platform::TButton* BtnCancel = nullptr;

    void BtnOKClick();
    void BtnCancelClick();
    void CBDriveChange();
    void DLBChange();
    void EdPathKeyPress(char& key);
    void FormKeyPress(char& key);
    void FormShow();
    void EdPathChange();

    // A file can be created in the directory (probed with a fresh name, then removed).
    bool IsDirectoryWritable(const AnsiString& directory);

private:
    // The check Enter, OK and a drive change run on the path; true when it is accepted.
    bool PathAccepted();
    // An existing directory is shown in the tree; a missing one may be created.
    bool ExistingOrCreated(const AnsiString& path);
    void ShowError(const char* text, UINT icon);
    // The owned control of that name and class; EComponentError when the description lacks it.
    template <class T>
    T* Control(const char* name);
};

}  // namespace setrix
