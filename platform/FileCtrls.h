// The runtime's file controls: a directory list showing one drive's tree around the
// current directory, a drive list, and directory creation with all missing parents.
// Used by the directory chooser.
#pragma once

#include <vector>

#include "Controls.h"

namespace platform {

// Creates the directory and every missing parent; true when it exists afterwards.
bool ForceDirectories(const AnsiString& directory);

// Lists the root of the directory's drive (or UNC share), each directory down to the
// current one, and the current one's subdirectories, indented by depth. Opening a line
// (double click, Enter) makes it the current directory. Setting a directory never changes
// the process's current directory.
class TDirectoryListBox : public TListBox {
public:
    explicit TDirectoryListBox(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // The current directory, full, without a trailing backslash except at a root.
    const AnsiString& Directory() const { return directory_; }
    // Raises EInOutError when the directory does not exist; fires OnChange when it changed.
    void SetDirectory(const AnsiString& directory);

    TNotifyEvent OnChange;

private:
    void OpenSelected();
    void Fill();

    AnsiString directory_;
    std::vector<AnsiString> linePaths_;
};

// The machine's drives, one line each ("c: [label]" for fixed drives with a label, "a:" otherwise).
class TDriveComboBox : public TComboBox {
public:
    // Raises EInOutError when the system cannot list the drives.
    explicit TDriveComboBox(TComponent* owner);
    static const TClassInfo& StaticClassInfo();
    const TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

    // The chosen drive's upper-case letter, 0 when none is chosen.
    char Drive() const;
    // Chooses the drive's line without firing OnChange; unknown letters choose nothing.
    void SetDrive(char letter);

private:
    std::vector<char> letters_;
};

}  // namespace platform
