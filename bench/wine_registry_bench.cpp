// How long opening a large Wine prefix takes: writes a user.reg of about 50 MB (two identities
// among thousands of other programs' keys), then times opening the prefix and reading the
// identities the way a backup does. stowline-wine-registry-bench [FOLDER] [MEGABYTES]
#include "platform/WineRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <ctime>

using namespace stowline::platform;

namespace {

// Keys of made-up programs, each with a handful of values of every kind Wine writes.
QByteArray fillerKey(int n) {
    // Wine writes keys in registry order: vendors one after the other, numbers of equal width.
    QByteArray key = "\n[Software\\\\Vendor" + QByteArray::number(n / 4096).rightJustified(3, '0') +
                     "\\\\Program" + QByteArray::number(n).rightJustified(7, '0') +
                     "\\\\Settings] 1796583412\n#time=1dd85b38e3d5eb8\n";
    key += "\"Path\"=\"C:\\\\Program Files\\\\Vendor\\\\Program" + QByteArray::number(n) + "\\\\bin\"\n";
    key += "\"Install\"=str(2):\"%ProgramFiles%\\\\Vendor\\\\P\\xe4th" + QByteArray::number(n) + "\"\n";
    key += "\"Count\"=dword:" + QByteArray::number(n, 16).rightJustified(8, '0') + "\n";
    key += "\"Window\"=hex:2c,00,00,00,00,00,00,00,01,00,00,00,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,\\\n"
           "  ff,ff,ff,ff,ff,16,00,00,00,16,00,00,00,96,03,00,00,b6,02,00,00\n";
    key += "\"Recent\"=str(7):\"first\\0second\\0third\\0\"\n";
    return key;
}

QByteArray identityKeys(const char* id, const char* name) {
    return QByteArray("\n[Identities\\\\") + id + "] 1796583412\n#time=1dd85b38e3d5eb8\n\"Username\"=\"" +
           name + "\"\n\"User ID\"=\"" + id + "\"\n\n[Identities\\\\" + id +
           "\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1796583412\n#time=1dd85b38e3d5eb8\n"
           "\"Store Root\"=str(2):\"%USERPROFILE%\\\\Mail\\\\" +
           name + "\"\n";
}

} // namespace

bool writeFiles(const QString& folder, qint64 megabytes) {
    QFile user(folder + QStringLiteral("/user.reg"));
    if (!user.open(QIODevice::WriteOnly))
        return false;
    user.write("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
               "#arch=win64\n");
    user.write(identityKeys("{3F2A9C41-7B6E-4D21-9A0C-5E8F1B2D3C4A}", "Main Identity"));
    user.write(identityKeys("{8C1D5E72-0A94-4F3B-B6E1-2D7C9A4F5E10}", "Zo\\xeb"));
    qint64 written = user.pos();
    for (int n = 0; written < megabytes * 1024 * 1024; ++n)
        written += user.write(fillerKey(n));
    QFile system(folder + QStringLiteral("/system.reg"));
    return system.open(QIODevice::WriteOnly) && system.write("WINE REGISTRY Version 2\n") > 0;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    const qint64 megabytes = argc > 2 ? QByteArray(argv[2]).toLongLong() : 50;
    QDir().mkpath(folder);
    // With a third argument the files already there are timed again.
    if ((argc <= 3 || !QFile::exists(folder + QStringLiteral("/user.reg"))) &&
        !writeFiles(folder, megabytes)) {
        std::fprintf(stderr, "cannot write the registry files in %s\n", qPrintable(folder));
        return 1;
    }

    QElapsedTimer timer;
    const std::clock_t cpuStart = std::clock();
    timer.start();
    WineRegistry registry(folder);
    const qint64 opened = timer.elapsed();
    QStringList found;
    for (const QString& id : registry.subKeys(Hive::CurrentUser, QStringLiteral("Identities"))) {
        const auto name = registry.value(Hive::CurrentUser, QStringLiteral("Identities\\") + id,
                                         QStringLiteral("Username"));
        found << (name ? QString::fromUtf8(name->data) : id);
    }
    const qint64 total = timer.elapsed();
    const qint64 cpu = qint64(std::clock() - cpuStart) * 1000 / CLOCKS_PER_SEC;
    QTextStream(stdout) << "user.reg of "
                        << QFileInfo(folder + QStringLiteral("/user.reg")).size() / (1024 * 1024)
                        << " MiB: opened in " << opened << " ms, identities ("
                        << found.join(QStringLiteral(", ")) << ") read after " << total << " ms (" << cpu
                        << " ms of processor time)\n";
    return found.size() == 2 ? 0 : 1;
}
