#pragma once

#include "bench/BenchRun.h"
#include "bench/Measure.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "platform/RegistryStore.h"
#include "sample/SampleProfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>
#include <memory>

namespace stowline::bench {

// The options both whole-run benchmarks take, and one of the benchmark's own (runs, best counts);
// workName names the default work folder.
inline void addOptions(QCommandLineParser& parser, const QString& workName, const QString& runsOption) {
    parser.addHelpOption();
    parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Mail data in MiB."), QStringLiteral("n"),
                      QStringLiteral("1024")});
    parser.addOption({QStringLiteral("favorites"), QStringLiteral("Number of Favorites."),
                      QStringLiteral("n"), QStringLiteral("5000")});
    parser.addOption({QStringLiteral("work"),
                      QStringLiteral("Folder for the profile and archives (emptied)."), QStringLiteral("dir"),
                      QDir::current().filePath(workName)});
    parser.addOption({QStringLiteral("results"), QStringLiteral("Markdown file for the figures."),
                      QStringLiteral("file")});
    parser.addOption({runsOption, QStringLiteral("Runs of each; the best counts."), QStringLiteral("n"),
                      QStringLiteral("3")});
}

// The engines need no window system, as in an unattended run; the time zone is read once, as
// stowline's own main() has it.
inline std::unique_ptr<QCoreApplication> benchApplication(int& argc, char** argv) {
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    return std::make_unique<QCoreApplication>(argc, argv);
}

// A generated profile in an emptied work folder, with a registry store and home of its own.
struct BenchProfile {
    QString work;
    QString root;
    fixtures::Profile profile;
    QStringList folders; // what a backup holds, relative to root
    qint64 dataBytes = 0;
};

// Reads the command line, sends messages to stderr and generates the profile.
inline BenchProfile prepareProfile(QCommandLineParser& parser, QTextStream& out) {
    parser.process(*QCoreApplication::instance());
    static PrintingDialogs dialogs;
    platform::install(&dialogs);
    const QString work = QDir(parser.value(QStringLiteral("work"))).absolutePath();
    QDir(work).removeRecursively();
    const QString root = work + QStringLiteral("/profile");
    for (const auto& [name, value] : fixtures::sandboxEnvironment(root))
        qputenv(name.constData(), value.toUtf8());
    QDir().mkpath(root);
    platform::reopenRegistry();
    out << "Generating the profile in " << root << "...\n" << Qt::flush;
    const qint64 mailBytes = parser.value(QStringLiteral("size-mb")).toLongLong() << 20;
    BenchProfile bench{
        work,
        root,
        fixtures::buildProfile(
            root, fixtures::benchProfileSpec(mailBytes, parser.value(QStringLiteral("favorites")).toInt())),
        {},
        0};
    for (const fixtures::IdentitySpec& identity : bench.profile.description().identities)
        bench.folders << identity.store;
    bench.folders << QStringLiteral("home/Favorites") << QStringLiteral("home/Address Book");
    for (const QString& folder : bench.folders)
        bench.dataBytes += folderBytes(bench.profile.path(folder));
    return bench;
}

// Prints the report, writes it to the results file when one was asked for, and empties the work folder.
inline void publish(const QString& report, const QCommandLineParser& parser, QTextStream& out,
                    const QString& work) {
    out << report;
    if (parser.isSet(QStringLiteral("results"))) {
        QFile file(parser.value(QStringLiteral("results")));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(report.toUtf8());
    }
    QDir(work).removeRecursively();
}

} // namespace stowline::bench
