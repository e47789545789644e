// Times a whole restore through WizardRestore of a generated 1 GB backup against Info-ZIP's
// `unzip` of a single-stage `zip -r -1` archive of the same folders, and records peak memory:
//   stowline-restore-bench [--size-mb 1024] [--favorites 5000] [--rounds 3] [--work DIR] [--results FILE]
#include "backup/modBKIEFCheck.h"
#include "backup/modBKIdentityCheck.h"
#include "backup/modBKWABCheck.h"
#include "backup/modWizardBackup.h"
#include "bench/Measure.h"
#include "bench/WholeRunBench.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "platform/RegistryStore.h"
#include "restore/RestorePlan.h"
#include "restore/modWizardRestore.h"
#include "sample/SampleProfile.h"
#include "ui/frmInterface.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace stowline;
using namespace stowline::bench;

namespace {

// Moved, not deleted: on a file system without a journal, creating files soon after many were
// deleted is much slower, and that would weigh on whichever run came next.
void moveFoldersAside(const fixtures::Profile& profile, const QStringList& folders, const QString& aside) {
    for (const QString& folder : folders) {
        QDir().mkpath(QFileInfo(aside + u'/' + folder).path());
        QDir().rename(profile.path(folder), aside + u'/' + folder);
    }
    QDir().mkpath(profile.favoritesFolder());
}

} // namespace

int main(int argc, char** argv) {
    const auto app = benchApplication(argc, argv);
    auto timing = std::make_unique<TimingProgress>();
    frmInterface host(*timing);
    QCommandLineParser parser;
    addOptions(parser, QStringLiteral("restore-bench-work"), QStringLiteral("rounds"));
    QTextStream out(stdout);
    const BenchProfile bench = prepareProfile(parser, out);

    out << "Backing up and zipping...\n" << Qt::flush;
    CompressionLevelSetting = 1;
    const QString archive = bench.work + QStringLiteral("/backup.stw");
    const BackupJob backup = everythingTo(archive);
    IEF_Check();
    WAB_Check();
    WizardBackup(backup, host.run());
    // Every item, every identity, replace mode.
    RestoreJob job{archive, QStringLiteral("111"), backup.identities, QStringLiteral("111"), true};
    const QString zipArchive = bench.work + QStringLiteral("/infozip.zip");
    runQuietly(QStringLiteral("zip"),
               QStringList{QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-1"), zipArchive} +
                   bench.folders,
               bench.root);

    // Each round unpacks with Info-ZIP into an empty folder and restores into the profile whose
    // folders have been moved away; the two take turns at going first. The best round counts.
    Run unzip;
    Run check;
    Run restore;
    long peakKiB = 0;
    const QString loadBefore = loadAverage();
    bool complete = true;
    qint64 restoredBytes = 0;
    QList<QPair<double, QString>> phases;
    for (int round = 0; round < parser.value(QStringLiteral("rounds")).toInt(); ++round) {
        out << "Round " << round + 1 << "...\n" << Qt::flush;
        const QString unzipped = bench.work + QStringLiteral("/unzipped-%1").arg(round);
        QDir().mkpath(unzipped);
        const auto runUnzip = [&] {
            unzip.keepBest(measure([&] {
                runQuietly(QStringLiteral("unzip"),
                           {QStringLiteral("-q"), zipArchive, QStringLiteral("-d"), unzipped}, bench.work);
            }));
        };
        if (round % 2 == 0)
            runUnzip();
        moveFoldersAside(bench.profile, bench.folders,
                         bench.work + QStringLiteral("/restored-%1").arg(round));
        // What the wizard does while the person chooses, before its plan page.
        check.keepBest(measure([&] { ItemMembersSound(archive); }));
        resetPeakRss();
        timing->phases.clear();
        if (restore.keepBest(measure([&] {
                timing->clock.start();
                WizardRestore(PlanRestore(job), host.run());
            })))
            phases = timing->phases;
        peakKiB = std::max(peakKiB, peakRssKiB());
        restoredBytes = 0;
        for (const QString& folder : bench.folders)
            restoredBytes += folderBytes(bench.profile.path(folder));
        complete = complete && restoredBytes == bench.dataBytes &&
                   timing->status() == QStringLiteral("Restoring: Done!");
        if (round % 2 == 1)
            runUnzip();
    }
    const QString loadAfter = loadAverage();
    const double ratio = restore.wall / unzip.wall;
    const bool fastEnough = ratio <= 0.2;
    const bool smallEnough = peakKiB >= 0 && peakKiB < 64 * 1024;
    QString report;
    QTextStream r(&report);
    r << "# Whole restore against Info-ZIP\n\n"
      << "Measured " << QDateTime::currentDateTime().toString(Qt::ISODate) << " on "
      << QSysInfo::prettyProductName() << ", " << QThread::idealThreadCount() << " cores (load average "
      << loadBefore << " before the runs, " << loadAfter << " after), with `stowline-restore-bench`.\n\n"
      << "Profile: two identities with mail-like stores, an address book, "
      << parser.value(QStringLiteral("favorites")) << " Favorites; " << mib(bench.dataBytes)
      << " in the restored folders.\n\n"
      << "| run (best of " << parser.value(QStringLiteral("rounds")) << ") | wall time | CPU time | input |\n"
      << "|---|---|---|---|\n"
      << "| `unzip -q` of a `zip -r -1` archive of the same folders | " << QString::number(unzip.wall, 'f', 2)
      << " s | " << QString::number(unzip.cpu, 'f', 2) << " s | " << mib(QFileInfo(zipArchive).size())
      << " |\n"
      << "| Stowline restore (`WizardRestore`: unpack, identities, favorites, address book) | "
      << QString::number(restore.wall, 'f', 2) << " s | " << QString::number(restore.cpu, 'f', 2) << " s | "
      << mib(QFileInfo(archive).size()) << " |\n"
      << "| the items read whole while the wizard's pages show (`ItemMembersSound`) | "
      << QString::number(check.wall, 'f', 2) << " s | " << QString::number(check.cpu, 'f', 2) << " s | "
      << mib(QFileInfo(archive).size()) << " |\n\n"
      << "- everything restored: " << (complete ? "yes" : "NO") << " (" << mib(restoredBytes) << ")\n"
      << "- time ratio Stowline / unzip: **" << QString::number(ratio, 'f', 2)
      << "** (goal at most 0.20: " << (fastEnough ? "met" : "NOT met") << ")\n"
      << "- peak resident memory of the restore: **" << QString::number(peakKiB / 1024.0, 'f', 1)
      << " MiB** (goal under 64 MiB: " << (smallEnough ? "met" : "NOT met") << ")\n\n"
      << "| status line shown at | text |\n|---|---|\n";
    for (const auto& [at, text] : phases)
        r << "| " << QString::number(at, 'f', 2) << " s | " << text << " |\n";
    r.flush();
    publish(report, parser, out, bench.work);
    return complete && fastEnough && smallEnough ? 0 : 1;
}
