// The pieces bench/scheduled-run.sh times from outside, each in a process of its own:
//   stowline-scheduled-bench profile <folder> <mail MiB> <favorites>
//     builds a profile of two identities whose stores hold mail with attachments (a fifth of the
//     bytes random), an address book and that many Favorites, and prints the shell lines that point
//     Stowline at it (registry store, HOME, TMPDIR);
//   stowline-scheduled-bench restore <archive>
//     restores every item of the archive through WizardRestore into the profile of the environment.
#include "archive/ArchivePassphrase.h"
#include "backup/modBKIEFCheck.h"
#include "backup/modBKWABCheck.h"
#include "bench/MailLikeData.h"
#include "bench/WholeRunBench.h"
#include "platform/Dialogs.h"
#include "platform/Heap.h"
#include "platform/Platform.h"
#include "platform/RegistryStore.h"
#include "restore/RestorePlan.h"
#include "restore/modWizardRestore.h"
#include "sample/SampleProfile.h"
#include "ui/frmInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <exception>

using namespace stowline;

namespace {

int makeProfile(const QString& folder, qint64 mailMiB, int favorites) {
    const QString root = QDir(folder).absolutePath();
    const auto environment = fixtures::sandboxEnvironment(root);
    QDir().mkpath(root);
    for (const auto& [name, value] : environment)
        qputenv(name.constData(), value.toUtf8());
    platform::reopenRegistry();
    const fixtures::Profile profile = fixtures::buildProfile(root, fixtures::benchProfileSpec(0, favorites));
    const auto& identities = profile.description().identities;
    quint32 seed = 7;
    for (const fixtures::IdentitySpec& identity : identities) {
        bench::MailLikeSpec shape;
        shape.totalBytes = static_cast<quint64>(mailMiB << 20) / static_cast<quint64>(identities.size());
        shape.seed = ++seed;
        shape.tinyFiles = 0;
        bench::GenerateMailLikeFolder(profile.storeOf(identity), shape);
    }
    QTextStream out(stdout);
    for (const auto& [name, value] : environment)
        out << "export " << QString::fromLatin1(name) << "='"
            << QString(value).replace(u'\'', QStringLiteral("'\\''")) << "'\n";
    return 0;
}

int restoreEverything(const QString& archive) {
    ProvideUnattendedPassphrase(archive);
    static bench::PrintingDialogs dialogs;
    platform::install(&dialogs);
    bench::TimingProgress progress;
    frmInterface host(progress);
    const BackupJob found = bench::everythingTo(archive);
    IEF_Check();
    WAB_Check();
    const RestoreJob job{archive, QStringLiteral("111"), found.identities, QStringLiteral("111"), true};
    progress.clock.start();
    WizardRestore(PlanRestore(job), host.run());
    QTextStream err(stderr);
    for (const auto& [at, text] : progress.phases)
        err << QString::number(at, 'f', 3) << " s  " << text << '\n';
    return progress.status() == QStringLiteral("Restoring: Done!") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    stowline::platform::shareOneHeap();
    const auto app = bench::benchApplication(argc, argv);
    const QStringList args = app->arguments();
    try {
        if (args.size() == 5 && args[1] == u"profile")
            return makeProfile(args[2], args[3].toLongLong(), args[4].toInt());
        if (args.size() == 3 && args[1] == u"restore")
            return restoreEverything(args[2]);
    } catch (const std::exception& e) {
        QTextStream(stderr) << "stowline-scheduled-bench: " << e.what() << '\n';
        return 1;
    }
    QTextStream(stderr) << "usage: stowline-scheduled-bench profile <folder> <mail MiB> <favorites>\n"
                           "       stowline-scheduled-bench restore <archive>\n";
    return 2;
}
