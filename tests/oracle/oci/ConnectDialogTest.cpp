#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oci/ConnectDialog.h"
#include "oracle/oci/ConnectForm.h"
#include "oracle/oci/OraSession.h"
#include "platform/Registry.h"
#include "tests/oracle/oci/OciFixtures.h"

namespace oracle {
namespace {

using platform::AnsiString;
using platform::TStringList;
using testing::OracleRegistryTest;
using testing::ProgramFolder;
using testing::TTempFolder;

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
    return lines;
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Sets an environment variable for the scope and puts the old value back.
class TEnvironmentValue {
public:
    TEnvironmentValue(const char* name, const char* value) : name_(name) {
        char buffer[4096];
        const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        had_ = n > 0;
        old_.assign(buffer, n);
        SetEnvironmentVariableA(name, value);
    }
    ~TEnvironmentValue() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(TnsAliases, NamesAtTheTopLevelOnly) {
    const struct {
        const char* text;
        std::vector<std::string> aliases;
    } cases[] = {
        {"ORCL.WORLD = (DESCRIPTION = (ADDRESS = (HOST = h)(PORT = 1521)))\n"
         "DEV.SALES = (DESCRIPTION = (CONNECT_DATA = (SID = X)))\n"
         "MY-DB = (DESCRIPTION = ())\n",
         {"ORCL", "DEV.SALES", "MY-DB"}},
        {"# a comment = (x)\nlower.world=(a=(b=c))\n", {"lower"}},
        // Several aliases for one description; an included file is no alias.
        {"SETRIX_TEST, SETRIX_ALT.WORLD =\n  (DESCRIPTION = (X = 1))\nIFILE = other.ora\n", {"SETRIX_TEST", "SETRIX_ALT"}},
        // The path of an included file is no part of the alias on the next line.
        {"IFILE = C:\\ora\\network\\admin\\other.ora\nORCL = (DESCRIPTION = (X = 1))\n"
         "ifile=shared-names.ora\r\nDEV = (DESCRIPTION = (X = 2))\n",
         {"ORCL", "DEV"}},
        {"", {}},
        {"BROKEN = ((( \n", {"BROKEN"}},
    };
    for (const auto& c : cases) {
        TStringList list;
        ReadTnsAliases(c.text, list);
        EXPECT_EQ(Lines(list), c.aliases) << c.text;
    }
}

class ConnectDialogTest : public OracleRegistryTest {
protected:
    std::unique_ptr<TConnectDialog> dialog_ = platform::NewUnownedComponent<TConnectDialog>();
};

TEST_F(ConnectDialogTest, HistoryServersInOrderUntilTheFirstGap) {
    const AnsiString key = dialog_->RegistryPath() + "Connect";
    platform::TRegistry registry;
    registry.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(registry.EnterKey(key, true));
    for (const char* name : {"Server1", "Server2", "Server3", "Server4"}) registry.RemoveValue(name);
    TStringList empty;
    dialog_->ReadServerList(empty, nullptr);
    EXPECT_EQ(empty.Count(), 0);
    registry.PutString("Server1", "ALPHA");
    registry.PutString("Server2", "BETA");
    registry.PutString("Server4", "AFTER_A_GAP");
    TStringList list;
    dialog_->ReadServerList(list, nullptr);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"ALPHA", "BETA"}));
    for (const char* name : {"Server1", "Server2", "Server4"}) registry.RemoveValue(name);
}

TEST_F(ConnectDialogTest, AliasesFromTheClientsTnsNames) {
    const std::string home = folder_.MakeFolder("home");
    folder_.MakeFolder("home\\bin");
    folder_.CopyIn(ProgramFolder() + "\\oci.dll", "home\\bin\\oci.dll");
    PutOracleValue("", "OCIDLL", home + "\\bin\\oci.dll");
    const std::string admin = folder_.MakeFolder("home\\network\\admin");
    WriteFile(admin + "\\tnsnames.ora", "HOME_DB = (DESCRIPTION = ())\n");
    const std::string elsewhere = folder_.MakeFolder("tns");
    WriteFile(elsewhere + "\\tnsnames.ora", "ADMIN_DB.WORLD = (DESCRIPTION = ())\n");
    dialog_->ReadAliases = true;
    {
        TEnvironmentValue tnsAdmin("TNS_ADMIN", elsewhere.c_str());
        TStringList list;
        dialog_->ReadServerList(list, nullptr);
        EXPECT_EQ(Lines(list), std::vector<std::string>{"ADMIN_DB"});
    }
    TEnvironmentValue tnsAdmin("TNS_ADMIN", nullptr);
    TStringList list;
    dialog_->ReadServerList(list, nullptr);
    EXPECT_EQ(Lines(list), std::vector<std::string>{"HOME_DB"});
}

TEST_F(ConnectDialogTest, TheCurrentDirectoryIsNoPlaceOfTheClient) {
    const std::string home = folder_.MakeFolder("home");
    folder_.MakeFolder("home\\bin");
    folder_.CopyIn(ProgramFolder() + "\\oci.dll", "home\\bin\\oci.dll");
    PutOracleValue("", "OCIDLL", home + "\\bin\\oci.dll");
    DetectOCI();
    const std::string current = folder_.MakeFolder("current");
    WriteFile(current + "\\tnsnames.ora", "PLANTED = (DESCRIPTION = ())\n");
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA(current.c_str());
    TEnvironmentValue tnsAdmin("TNS_ADMIN", nullptr);
    AnsiString lastTried;
    const AnsiString found = FindTnsNamesFile(lastTried);
    SetCurrentDirectoryA(saved);
    EXPECT_EQ(found, "");
    EXPECT_EQ(lastTried, home + "\\net80\\admin\\tnsnames.ora");
}

// The log-on form against the stand-in server.
class ConnectFormTest : public OracleRegistryTest {
protected:
    void SetUp() override {
        OracleRegistryTest::SetUp();
        REQUIRE_STANDIN_SERVER();
        PutOracleValue("", "OCIDLL", ProgramFolder() + "\\oci.dll");
        session_->SetUsername("scott");
        session_->SetServer("SETRIX_TEST");
        dialog_->SetConnection(session_.get());
        dialog_->SetRetries(3);
        form_->SetConnectDialog(dialog_.get());
    }

    std::unique_ptr<TOraSession> session_ = platform::NewUnownedComponent<TOraSession>();
    std::unique_ptr<TConnectDialog> dialog_ = platform::NewUnownedComponent<TConnectDialog>();
    std::unique_ptr<TConnectForm> form_ = platform::NewUnownedComponent<TConnectForm>();
};

TEST_F(ConnectFormTest, FilledFromTheDialogAndItsSession) {
    EXPECT_EQ(form_->Caption(), dialog_->Caption());
    EXPECT_EQ(form_->btConnect->Caption(), dialog_->ConnectButton());
    EXPECT_EQ(form_->edUsername->Text(), "scott");
    EXPECT_EQ(form_->edPassword->Text(), "");
    ASSERT_GE(form_->edServer->ItemIndex(), 0);
    EXPECT_EQ(form_->edServer->Item(form_->edServer->ItemIndex()), "SETRIX_TEST");
    EXPECT_EQ(form_->AttemptsLeft(), 3);
}

TConnectForm* shownForm = nullptr;
std::string focusedControl;

void CALLBACK RecordFocusAndClose(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    focusedControl = shownForm->edPassword->Focused()   ? "password"
                     : shownForm->edUsername->Focused() ? "username"
                                                        : "other";
    shownForm->SetModalResult(platform::mrCancel);
}

TEST_F(ConnectFormTest, TheFocusStartsWhereTheUserHasToType) {
    const struct {
        const char* username;
        const char* password;
        const char* focused;
    } cases[] = {{"scott", "", "password"}, {"", "", "username"}, {"scott", "tiger", "username"}};
    for (const auto& c : cases) {
        auto form = platform::NewUnownedComponent<TConnectForm>();
        session_->SetUsername(c.username);
        session_->SetPassword(c.password);
        form->SetConnectDialog(dialog_.get());
        shownForm = form.get();
        focusedControl.clear();
        SetTimer(nullptr, 0, 100, &RecordFocusAndClose);
        form->ShowModal();
        EXPECT_EQ(focusedControl, c.focused) << c.username << "/" << c.password;
    }
}

TEST_F(ConnectFormTest, ThreeFailedLogOnsCancel) {
    form_->edPassword->SetText("wrong");
    for (int attempt = 1; attempt <= 3; ++attempt) {
        try {
            form_->btConnectClick();
            ADD_FAILURE() << "logged on with a wrong password";
        } catch (const EOraError& e) {
            EXPECT_EQ(e.ErrorCode(), 1017);
        }
        EXPECT_EQ(form_->AttemptsLeft(), 3 - attempt);
        EXPECT_TRUE(form_->Retry());
        EXPECT_EQ(form_->ModalResult(), attempt < 3 ? platform::mrNone : platform::mrCancel);
    }
    EXPECT_FALSE(session_->Connected());
}

TEST_F(ConnectFormTest, ConnectLogsTheSessionOn) {
    form_->edPassword->SetText("tiger");
    form_->btConnectClick();
    EXPECT_EQ(form_->ModalResult(), platform::mrOk);
    EXPECT_TRUE(session_->Connected());
    EXPECT_EQ(session_->Password(), "tiger");
}

}  // namespace
}  // namespace oracle
