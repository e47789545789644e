// Restores an archive through the real Restore Wizard pages with nobody at the screen, choosing
// every item and every identity, replacing the Favorites:
//   stowline-restore-probe ARCHIVE [PICKED-FOLDER]
// Each line of the plan page goes to stderr as "plan: LINE", each message as "message: TITLE: TEXT",
// answered OK (Yes to a question); a folder picker gets PICKED-FOLDER (else $HOME/picked), a name
// clash the name "Restored".
// Exit status: 0 the run ended restored; 2 something was refused or nothing was restored;
// 1 a failure reached the crash window (its text on stderr); 3 the archive was not opened.
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "platform/Dialogs.h"
#include "platform/Heap.h"
#include "platform/Platform.h"
#include "tests/support/ListLines.h"
#include "tests/support/TestEnvironment.h"
#include "ui/Windows.h"
#include "ui/frmProgress.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"
#include "ui/frmRS_Plan.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>

using namespace stowline;

namespace {

class AnsweringDialogs : public platform::Dialogs {
public:
    explicit AnsweringDialogs(QString picked) : m_picked(std::move(picked)) {}
    bool refused = false;

    platform::MsgAnswer messageBox(const QString& text, platform::MsgButtons buttons, platform::MsgIcon,
                                   const QString& title) override {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(title),
                     qPrintable(QString(text).replace(u'\r', u' ')));
        refused = refused || title == Str(800) || text.contains(Str(821));
        const bool question =
            buttons == platform::MsgButtons::YesNo || buttons == platform::MsgButtons::YesNoCancel;
        return question ? platform::MsgAnswer::Yes : platform::MsgAnswer::OK;
    }
    QString inputBox(const QString&, const QString&, const QString&) override {
        return QStringLiteral("Restored");
    }
    QString saveFile(const platform::FileDialogRequest&) override { return {}; }
    QString openFile(const platform::FileDialogRequest&) override { return {}; }
    QString pickFolder(const QString&) override { return m_picked; }

private:
    QString m_picked;
};

template <class Page> Page* shownPage(const char* name) {
    auto* page = qobject_cast<Page*>(forms::find(QString::fromLatin1(name)));
    return page && page->isVisible() ? page : nullptr;
}

void clickNext(QWidget* page) { page->findChild<QPushButton*>(QStringLiteral("cmdNext"))->click(); }

// Next on every page with everything chosen, then waits for the run to end.
void walkWizard() {
    if (auto* choice = shownPage<frmRS_Choice>("frmRS_Choice"))
        clickNext(choice);
    if (auto* identities = shownPage<frmRS_Identity>("frmRS_Identity")) {
        for (int line = 0; line < identities->list().model()->rowCount(); ++line)
            test::setLineChecked(identities->list(), line, true);
        clickNext(identities);
    }
    if (auto* favorites = shownPage<frmRS_IEF>("frmRS_IEF"))
        clickNext(favorites);
    if (auto* plan = shownPage<frmRS_Plan>("frmRS_Plan")) {
        for (int line = 0; line < plan->list().count(); ++line)
            std::fprintf(stderr, "plan: %s\n", qPrintable(plan->list().item(line)->text()));
        clickNext(plan);
    }
    test::runUntilRunEnds();
}

// The peak resident memory of this process alone (VmHWM): unlike getrusage(), it does not count
// what the parent held before it started this program.
void printPeakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                std::fprintf(stderr, "peak-memory-kib: %s\n",
                             line.mid(6).trimmed().split(' ').first().constData());
}

} // namespace

int main(int argc, char** argv) {
    stowline::platform::shareOneHeap();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: stowline-restore-probe ARCHIVE [PICKED-FOLDER]\n");
        return 64;
    }
    AnsweringDialogs dialogs(args.value(2, QDir::homePath() + QStringLiteral("/picked")));
    platform::install(&dialogs);
    if (!OpenRestoreWizard(QDir(args[1]).absolutePath(), Str(954) + u' ' + args[1], 955)) {
        printPeakMemory();
        return 3;
    }
    walkWizard();
    printPeakMemory();
    if (FailureShown()) {
        std::fprintf(stderr, "failure: %d %s in %s at line %d\n", LastError().number,
                     qPrintable(LastError().description), qPrintable(LastError().procedure),
                     LastError().line);
        return 1;
    }
    const auto* progress = qobject_cast<frmProgress*>(forms::find(QStringLiteral("frmProgress")));
    const QString status = progress ? progress->status() : QString();
    std::fprintf(stderr, "status: %s\n", qPrintable(status));
    return dialogs.refused || status != Str(721) ? 2 : 0;
}
