// The log-on dialog with a real form class: found by its registered name, handed the
// dialog through its published ConnectDialog property, shown modally. Needs a display.
#include <gtest/gtest.h>

#include "DAFixtures.h"
#include "oracle/core/CustomConnectDialog.h"
#include "platform/Forms.h"

namespace oracle {
namespace {

using namespace oracle::test;

// Logs on as soon as it is shown.
class TTestLogOnForm : public platform::TForm {
public:
    explicit TTestLogOnForm(platform::TComponent* owner) : TForm(owner) {
        OnShow = [this] {
            if (!dialog_) return;
            dialog_->Connection()->PerformConnect();
            SetModalResult(platform::mrOk);
        };
    }
    static const platform::TClassInfo& StaticClassInfo() {
        static const platform::TClassInfo info = [] {
            auto i = platform::TClassInfo::Of<TTestLogOnForm>("TTestLogOnForm", &TForm::StaticClassInfo());
            i.ComponentProperty("ConnectDialog", &TTestLogOnForm::SetConnectDialog);
            return i;
        }();
        return info;
    }
    const platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }
    void SetConnectDialog(TCustomConnectDialog* dialog) { dialog_ = dialog; }

private:
    TCustomConnectDialog* dialog_ = nullptr;
};

TEST(LogOnForm, TheNamedFormClassLogsOn) {
    platform::RegisterComponentClass(TTestLogOnForm::StaticClassInfo());
    FakeServer server;
    auto session = NewSession(server);
    auto dialog = platform::NewUnownedComponent<TCustomConnectDialog>();
    dialog->SetStoreLogInfo(false);
    dialog->SetDialogClass("TTestLogOnForm");
    session->SetConnectDialog(dialog.get());
    session->SetLoginPrompt(true);
    session->SetUsername("scott");
    session->Connect();
    EXPECT_TRUE(session->Connected());
    EXPECT_EQ(server.Count("connect scott/@"), 1);

    session->Disconnect();
    dialog->SetDialogClass("TNoSuchForm");
    EXPECT_THROW(session->Connect(), platform::EClassNotFound);
    EXPECT_FALSE(session->Connected());
    platform::UnregisterComponentClass(TTestLogOnForm::StaticClassInfo());
}

}  // namespace
}  // namespace oracle
