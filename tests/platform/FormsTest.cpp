// The forms layer: key preview, the modal loop, focus order, the directory list and
// directory creation. Windows are driven by messages on the test's own thread.
#include <gtest/gtest.h>

#include "platform/Controls.h"
#include "platform/FileCtrls.h"
#include "platform/FormReader.h"
#include "platform/TextFile.h"

using namespace platform;

namespace {

std::string TempDir() {
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    GetTempFileNameA(base, "frm", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    return name;
}

void RemoveDirs(const std::string& dir) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name != "." && name != "..") RemoveDirs(dir + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

// A form built in code: an edit, a button and a list box.
struct TestForm {
    TestForm() : form(NewUnownedComponent<TForm>()) {
        form->SetCaption("Test form");
        form->SetClientWidth(200);
        form->SetClientHeight(100);
        Edit = NewComponent<TEdit>(*form);
        Ok = NewComponent<TButton>(*form);
        List = NewComponent<TListBox>(*form);
        Edit->SetBounds(0, 0, 100, 20);
        Ok->SetBounds(0, 30, 60, 20);
        List->SetBounds(0, 60, 100, 40);
    }
    std::unique_ptr<TForm> form;
    TEdit* Edit;
    TButton* Ok;
    TListBox* List;
};

void Click(const TButton& button) {
    PostMessageA(GetParent(button.Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button.Handle()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button.Handle()));
}

}  // namespace

TEST(Forms, KeyPreviewSeesEveryCharacterBeforeTheControl) {
    TestForm t;
    TForm& form = *t.form;
    std::string order;
    form.OnKeyPress = [&](char& key) {
        order += 'F';
        if (key == 'x') key = 0;
        if (key == 'a') key = 'b';
    };
    t.Edit->OnKeyPress = [&](char& key) {
        order += 'E';
        if (key == 'q') key = 0;
    };
    int changes = 0;
    t.Edit->OnChange = [&] { ++changes; };

    SendMessageA(t.Edit->Handle(), WM_CHAR, 'a', 0);  // preview off: the form sees nothing
    EXPECT_EQ(order, "E");
    form.SetKeyPreview(true);
    for (char c : {'a', 'x', 'q', 'c'}) SendMessageA(t.Edit->Handle(), WM_CHAR, static_cast<WPARAM>(c), 0);
    EXPECT_EQ(order, "EFEFFEFE");
    EXPECT_EQ(t.Edit->Text(), "abc");

    // Enter on a button presses it, after the form's preview.
    int clicks = 0;
    t.Ok->OnClick = [&] { ++clicks; };
    SendMessageA(t.Ok->Handle(), WM_CHAR, '\r', 0);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(order, "EFEFFEFEF");  // changed to b, swallowed by the form, by the edit
    EXPECT_EQ(changes, 3);
}

TEST(Forms, ShowModalRunsUntilAHandlerSetsAResult) {
    const auto other = NewUnownedComponent<TForm>();
    ShowWindow(other->Handle(), SW_SHOWNOACTIVATE);
    TestForm t;
    TForm& form = *t.form;
    bool shown = false, otherDisabled = false;
    form.OnShow = [&] { shown = true; };
    t.Ok->OnClick = [&] {
        otherDisabled = !IsWindowEnabled(other->Handle());
        form.SetModalResult(mrOk);
    };
    Click(*t.Ok);
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(otherDisabled);
    EXPECT_TRUE(IsWindowEnabled(other->Handle()));
    EXPECT_FALSE(IsWindowVisible(form.Handle()));

    // Closing by the frame cancels.
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(Forms, TabMovesThroughTheControlsInCreationOrder) {
    TestForm t;
    TForm& form = *t.form;
    ShowWindow(form.Handle(), SW_SHOW);
    t.Edit->SetFocus();
    SendMessageA(t.Edit->Handle(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(t.Ok->Focused());
    SendMessageA(t.Ok->Handle(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(t.List->Focused());
    SendMessageA(t.List->Handle(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(t.Edit->Focused());
    t.Ok->SetEnabled(false);
    SendMessageA(t.Edit->Handle(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(t.List->Focused());
}

TEST(Forms, DirectoryListShowsThePathDownToTheDirectoryAndItsSubdirectories) {
    const std::string dir = TempDir();
    ASSERT_TRUE(ForceDirectories(dir + "\\one\\two\\"));
    ASSERT_TRUE(ForceDirectories(dir + "\\one\\Alpha"));
    ASSERT_TRUE(ForceDirectories(dir + "\\one\\two"));  // existing: still true
    const auto form = NewUnownedComponent<TForm>();
    TDirectoryListBox& list = *NewComponent<TDirectoryListBox>(*form);
    int changes = 0;
    list.OnChange = [&] { ++changes; };

    list.SetDirectory(dir + "\\one\\");
    EXPECT_EQ(list.Directory(), dir + "\\one");
    list.SetDirectory(dir + "\\one");
    EXPECT_EQ(changes, 1);
    ASSERT_GE(list.Count(), 4);
    EXPECT_EQ(list.Item(0), dir.substr(0, 3));
    EXPECT_EQ(list.Item(list.Count() - 3).find_first_not_of(' '), list.Item(list.Count() - 2).find_first_not_of(' ') - 2);
    EXPECT_EQ(Trim(list.Item(list.Count() - 2)), "Alpha");
    EXPECT_EQ(Trim(list.Item(list.Count() - 1)), "two");
    EXPECT_EQ(list.ItemIndex(), list.Count() - 3);

    // Opening a line moves there; the root line goes to the root.
    list.SetItemIndex(list.Count() - 1);
    SendMessageA(list.Handle(), WM_CHAR, '\r', 0);
    EXPECT_EQ(list.Directory(), dir + "\\one\\two");
    list.SetItemIndex(0);
    SendMessageA(list.Handle(), WM_CHAR, '\r', 0);
    EXPECT_EQ(list.Directory(), dir.substr(0, 3));
    EXPECT_EQ(changes, 3);

    EXPECT_THROW(list.SetDirectory(dir + "\\missing"), EInOutError);
    EXPECT_THROW(list.SetDirectory(""), EInOutError);
    EXPECT_THROW(list.SetDirectory(dir + "\\" + std::string(300, 'x')), EInOutError);
    EXPECT_EQ(list.Directory(), dir.substr(0, 3));
    RemoveDirs(dir);
}

TEST(Forms, FormsAreBuiltFromTheirDescriptions) {
    RegisterFormClasses();
    const auto form = NewUnownedComponent<TForm>();
    ReadComponentText(*form,
                      "Form1: TForm\n"
                      "  Caption = 'Pick '#192\n"
                      "  ClientWidth = 300\n"
                      "  ClientHeight = 120\n"
                      "  KeyPreview = True\n"
                      "Path: TEdit\n"
                      "  Left = 4\n  Top = 6\n  Width = 200\n  Height = 21\n  Text = 'C:\\'\n"
                      "Go: TButton\n"
                      "  Caption = 'Go'\n  Enabled = False\n"
                      "Dirs: TDirectoryListBox\n"
                      "Drives: TDriveComboBox\n");
    EXPECT_EQ(form->Caption(), "Pick \xC0");
    EXPECT_TRUE(form->KeyPreview());
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 120);
    auto* path = dynamic_cast<TEdit*>(form->FindComponent("Path"));
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->Text(), "C:\\");
    RECT bounds{};
    GetWindowRect(path->Handle(), &bounds);
    MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&bounds), 2);
    EXPECT_EQ(bounds.left, 4);
    EXPECT_EQ(bounds.top, 6);
    EXPECT_EQ(bounds.right - bounds.left, 200);
    auto* go = dynamic_cast<TButton*>(form->FindComponent("Go"));
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(go->Caption(), "Go");
    EXPECT_FALSE(go->Enabled());
    EXPECT_NE(dynamic_cast<TDriveComboBox*>(form->FindComponent("Drives")), nullptr);

    // Controls live only on forms.
    const auto plain = std::make_unique<TComponent>(nullptr);
    EXPECT_THROW(NewComponent<TEdit>(*plain), EComponentError);
    UnregisterFormClasses();
}

TEST(Forms, ForceDirectoriesRefusesWhatCannotBeCreated) {
    const std::string dir = TempDir();
    EXPECT_FALSE(ForceDirectories(""));
    EXPECT_FALSE(ForceDirectories(dir + "\\bad|name\\below"));
    EXPECT_FALSE(ForceDirectories(dir + "\\" + std::string(200, 'a') + "\\" + std::string(200, 'b')));
    EXPECT_FALSE(ForceDirectories("Q:\\no\\such\\drive"));
    EXPECT_FALSE(DirectoryExists(dir + "\\bad|name"));
    RemoveDirs(dir);
}
