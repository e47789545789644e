// Uploads an archive's mail through the real upload window with nobody at the screen: types the
// server, user, the password read from stdin, the target folder and the CA file into their fields,
// checks "Remember the password in the keyring" and clicks Upload.
//   stowline-upload-probe ARCHIVE HOST:PORT USER FOLDER CA-FILE < PASSWORD
// Each message goes to stderr as "message: TEXT", the end as "status: TEXT" and the summary as
// "summary: TEXT". Exit status: 0 the upload ended done; 2 it did not; 3 the window did not open.
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "platform/Dialogs.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmUploadMail.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextStream>
#include <cstdio>

using namespace stowline;

namespace {

class TellingDialogs : public platform::Dialogs {
public:
    platform::MsgAnswer messageBox(const QString& text, platform::MsgButtons, platform::MsgIcon,
                                   const QString&) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return platform::MsgAnswer::OK;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const platform::FileDialogRequest&) override { return {}; }
    QString openFile(const platform::FileDialogRequest&) override { return {}; }
    QString pickFolder(const QString&) override { return {}; }
};

void type(QWidget& page, const char* field, const QString& text) {
    page.findChild<QLineEdit*>(QString::fromLatin1(field))->setText(text);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 6) {
        std::fprintf(stderr,
                     "usage: stowline-upload-probe ARCHIVE HOST:PORT USER FOLDER CA-FILE < PASSWORD\n");
        return 64;
    }
    TellingDialogs dialogs;
    platform::install(&dialogs);
    OpenMailUpload(args[1], nullptr);
    auto* page = qobject_cast<frmUploadMail*>(forms::find(QStringLiteral("frmUploadMail")));
    if (!page || !page->isVisible())
        return 3;
    type(*page, "txtServer", args[2]);
    type(*page, "txtUser", args[3]);
    type(*page, "txtPassword", QTextStream(stdin).readLine());
    type(*page, "txtFolder", args[4]);
    type(*page, "txtCaFile", args[5]);
    page->findChild<QCheckBox*>(QStringLiteral("chkRemember"))->setChecked(true);
    page->findChild<QPushButton*>(QStringLiteral("cmdUpload"))->click();
    test::runUntilRunEnds();
    const auto* progress = qobject_cast<frmProgress*>(forms::find(QStringLiteral("frmProgress")));
    const QString status = progress ? progress->status() : QString();
    std::fprintf(stderr, "status: %s\nsummary: %s\n", qPrintable(status),
                 qPrintable(progress ? progress->summary() : QString()));
    return status == Str(txtUploadDone) ? 0 : 2;
}
