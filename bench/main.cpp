// stowline-bench: measures the zip component against Info-ZIP zip/unzip on mail-like data.
//   stowline-bench run <megabytes> [work folder]   generate (once), then time every case
//   stowline-bench generate <megabytes> <folder>
//   stowline-bench compress <level> <folder> <archive>, extract <archive> <folder>: one case, used
//   by run in a child process so that each case's CPU time and peak memory are its own.
#include "archive/cmpZIP.h"
#include "bench/MailLikeData.h"
#include "foundation/modError.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace stowline;

namespace {

struct Measure {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakRssMb = 0;
    int exitCode = -1;
};

Measure runChild(const std::vector<std::string>& argv, const QString& workingFolder = {}) {
    const QByteArray folder = QFile::encodeName(workingFolder);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!folder.isEmpty() && chdir(folder.constData()) != 0)
            _exit(126);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measure m;
    m.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    m.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    m.peakRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

quint64 folderBytes(const QString& folder, int* files = nullptr) {
    quint64 bytes = 0;
    int count = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += static_cast<quint64>(it.fileInfo().size());
        ++count;
    }
    if (files)
        *files = count;
    return bytes;
}

void prepareOutput(const QString& path) {
    QFile::remove(path);
    QDir(path).removeRecursively();
    sync();
}

QString processorName() {
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly))
        for (const QByteArray& line : cpuinfo.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown");
}

QString loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().left(14)) : QString();
}

struct Case {
    QString name;
    std::vector<std::string> argv;
    QString output; // removed before each repetition
    QString workingFolder;
    QString archive; // its size is reported
};

// The kernel shares CPU time between sessions (autogroups) first: on a machine where other
// sessions are busy, a second thread would get nothing. A session of our own with a raised weight
// gives every case, ours and Info-ZIP's alike, the machine as if it were idle.
bool shieldFromOtherSessions() {
    setsid();
    QFile autogroup(QStringLiteral("/proc/self/autogroup"));
    return autogroup.open(QIODevice::WriteOnly) && autogroup.write("-15") == 3;
}

int runAll(quint64 megabytes, const QString& work) {
    const bool shielded = shieldFromOtherSessions();
    const QString data = work + QStringLiteral("/data");
    const QString marker = work + QStringLiteral("/data.size");
    QFile markerFile(marker);
    if (markerFile.open(QIODevice::ReadOnly) && markerFile.readAll() == QByteArray::number(megabytes)) {
        std::printf("reusing %s\n", qPrintable(data));
    } else {
        QDir(data).removeRecursively();
        bench::MailLikeSpec shape;
        shape.totalBytes = megabytes << 20;
        std::printf("generating %llu MB into %s\n", static_cast<unsigned long long>(megabytes),
                    qPrintable(data));
        bench::GenerateMailLikeFolder(data, shape);
        QFile f(marker);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QByteArray::number(megabytes));
    }
    int files = 0;
    const quint64 bytes = folderBytes(data, &files);
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const auto p = [](const QString& s) { return s.toStdString(); };
    const QString ours1 = work + QStringLiteral("/ours-1.zip"), ours6 = work + QStringLiteral("/ours-6.zip");
    const QString info1 = work + QStringLiteral("/infozip-1.zip"),
                  info6 = work + QStringLiteral("/infozip-6.zip");
    const QString out = work + QStringLiteral("/out");
    const std::vector<Case> cases{
        {QStringLiteral("cmpZIP compress, level 1"),
         {self, "compress", "1", p(data), p(ours1)},
         ours1,
         {},
         ours1},
        {QStringLiteral("zip -r -1"), {"zip", "-q", "-r", "-1", p(info1), "."}, info1, data, info1},
        {QStringLiteral("cmpZIP compress, level 6"),
         {self, "compress", "6", p(data), p(ours6)},
         ours6,
         {},
         ours6},
        {QStringLiteral("zip -r -6"), {"zip", "-q", "-r", "-6", p(info6), "."}, info6, data, info6},
        {QStringLiteral("cmpZIP extract, level 1 archive"), {self, "extract", p(ours1), p(out)}, out, {}, {}},
        {QStringLiteral("unzip, zip -1 archive"), {"unzip", "-q", "-o", p(info1), "-d", p(out)}, out, {}, {}},
        {QStringLiteral("unzip, cmpZIP level 1 archive"),
         {"unzip", "-q", "-o", p(ours1), "-d", p(out)},
         out,
         {},
         {}},
        {QStringLiteral("cmpZIP extract, level 6 archive"), {self, "extract", p(ours6), p(out)}, out, {}, {}},
        {QStringLiteral("unzip, zip -6 archive"), {"unzip", "-q", "-o", p(info6), "-d", p(out)}, out, {}, {}},
    };
    std::printf("\nmachine: %u cores, %s, load average %s\n", std::thread::hardware_concurrency(),
                qPrintable(processorName()), qPrintable(loadAverage()));
    std::printf("own session with raised CPU weight: %s\n", shielded ? "yes" : "no (not root?)");
    std::printf("data: %.1f MB in %d files\n\n", static_cast<double>(bytes) / 1048576.0, files);
    std::printf("%-34s %8s %8s %8s %10s %11s\n", "case (best of 2)", "wall s", "MB/s", "CPU s", "peak RSS MB",
                "archive MB");
    for (const Case& c : cases) {
        Measure best;
        for (int repetition = 0; repetition < 2; ++repetition) {
            prepareOutput(c.output);
            const Measure m = runChild(c.argv, c.workingFolder);
            if (m.exitCode != 0) {
                std::printf("%s failed with exit code %d\n", qPrintable(c.name), m.exitCode);
                return 1;
            }
            if (repetition == 0 || m.wallSeconds < best.wallSeconds)
                best = m;
        }
        const double archiveMb =
            c.archive.isEmpty() ? 0.0 : static_cast<double>(QFileInfo(c.archive).size()) / 1048576.0;
        std::printf("%-34s %8.2f %8.1f %8.2f %10.1f %11s\n", qPrintable(c.name), best.wallSeconds,
                    static_cast<double>(bytes) / 1048576.0 / best.wallSeconds, best.cpuSeconds,
                    best.peakRssMb, archiveMb > 0 ? qPrintable(QString::number(archiveMb, 'f', 1)) : "");
        std::fflush(stdout);
    }
    const Measure check = runChild({"unzip", "-tqq", p(ours1)});
    std::printf("\nunzip -t on the level 1 archive: %s\n", check.exitCode == 0 ? "ok" : "FAILED");
    prepareOutput(out);
    return 0;
}

int runCase(const QStringList& args) {
    cmpZIP zip;
    try {
        if (args[1] == u"compress") {
            zip.Options = 1;
            zip.CompressionLevel = static_cast<qint16>(args[2].toInt());
            zip.SourceFolder = args[3];
            zip.ArchiveFile = args[4];
            zip.Compress();
        } else {
            zip.Options = 8;
            zip.ArchiveFile = args[2];
            zip.ExtractFolder = args[3];
            zip.Extract();
        }
    } catch (const VbError& error) {
        std::fprintf(stderr, "error %d: %s\n", error.number(), qPrintable(error.description()));
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == u"run")
        return runAll(args[2].toULongLong(), args.value(3, QStringLiteral("/tmp/stowline-bench")));
    if (args.size() == 4 && args[1] == u"generate") {
        bench::MailLikeSpec shape;
        shape.totalBytes = args[2].toULongLong() << 20;
        bench::GenerateMailLikeFolder(args[3], shape);
        return 0;
    }
    if ((args.size() == 5 && args[1] == u"compress") || (args.size() == 4 && args[1] == u"extract"))
        return runCase(args);
    std::fprintf(stderr, "usage: stowline-bench run <megabytes> [work folder]\n"
                         "       stowline-bench generate <megabytes> <folder>\n");
    return 1;
}
