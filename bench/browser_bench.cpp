// The archive browser opened on an archive whose index is not built yet (the index cache is emptied
// first), with a search typed as it opens: prints the milliseconds from the opening to the folder
// tree, the first folder listing and the first search results that hold a match, and the status line
// one second after the opening (how far the index has come).
//   stowline-browser-bench ARCHIVE WORDS
#include "mail/MailIndex.h"
#include "ui/frmMailBrowser.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

using namespace stowline;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: stowline-browser-bench ARCHIVE WORDS\n";
        return 2;
    }
    QDir(mail::MailIndexFolder()).removeRecursively();
    auto* browser = new frmMailBrowser(QString::fromLocal8Bit(argv[1]));
    auto* found = browser->findChild<QTreeView*>(QStringLiteral("lstMessages"));
    QTextStream out(stdout);
    QElapsedTimer clock;
    const auto note = [&](const char* what) {
        out << clock.elapsed() << " ms " << what << ": " << browser->status() << Qt::endl;
    };
    QObject::connect(browser, &frmMailBrowser::treeShown, [&] { note("tree"); });
    QObject::connect(browser, &frmMailBrowser::listShown, [&] { note("folder listed"); });
    bool matched = false, secondPassed = false;
    QObject::connect(browser, &frmMailBrowser::searchShown, [&] {
        if (matched)
            return;
        matched = found->model()->rowCount() > 0;
        note(matched ? "first match" : "results, none yet");
        if (matched && secondPassed)
            app.exit(0);
    });
    QTimer::singleShot(1000, &app, [&] {
        note("one second");
        secondPassed = true;
        if (matched)
            app.exit(0);
    });
    QTimer::singleShot(120000, &app, [&] { app.exit(1); });
    browser->show();
    clock.start();
    browser->Form_Load();
    browser->findChild<QLineEdit*>(QStringLiteral("txtSearch"))->setText(QString::fromLocal8Bit(argv[2]));
    const int result = app.exec();
    delete browser;
    return result;
}
