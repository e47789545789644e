#include "platform/LinuxSystem.h"

#include "platform/InstanceLock.h"

#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <sys/utsname.h>
#include <unistd.h>

namespace stowline::platform {

QString LinuxSystem::documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString LinuxSystem::homeFolder() { return QDir::homePath(); }

QString LinuxSystem::tempFolder() {
    QString dir = qEnvironmentVariable("TMPDIR");
    if (dir.isEmpty() || !QDir(dir).exists())
        dir = QStringLiteral("/tmp");
    while (dir.endsWith(u'/'))
        dir.chop(1);
    // A name of this user's own: a shared folder such as /tmp lets anyone take a fixed name first.
    return dir + QStringLiteral("/stowline-") + QString::number(::geteuid());
}

OsVersion LinuxSystem::osVersion() {
    OsVersion version;
    utsname name{};
    if (uname(&name) != 0)
        return version;
    // "6.1.0-18-amd64": kernel major, minor and patch level stand in for major, minor and build.
    const QStringList parts = QString::fromLatin1(name.release).split(u'.');
    version.major = parts.value(0).toInt();
    version.minor = parts.value(1).toInt();
    QString patch = parts.value(2);
    qsizetype digits = 0;
    while (digits < patch.size() && patch.at(digits).isDigit())
        ++digits;
    version.build = patch.left(digits).toInt();
    version.platformId = 2; // the NT family: a multi-user system with per-user profiles
    return version;
}

int windowsLocaleId(const QString& localeName) {
    const QString base = localeName.section(u'.', 0, 0).section(u'@', 0, 0);
    if (base == u"ja_JP")
        return 1041;
    if (base == u"zh_TW")
        return 1028;
    if (base == u"ko_KR")
        return 1042;
    if (base == u"zh_CN")
        return 2052;
    return 1033;
}

int LinuxSystem::localeId() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return windowsLocaleId(value);
    }
    return windowsLocaleId(QLocale::system().name());
}

QDate LinuxSystem::today() {
    // Lets an unattended run be tried for another day without touching the machine's clock.
    const QString forced = qEnvironmentVariable("STOWLINE_TODAY");
    if (!forced.isEmpty()) {
        const QDate date = QDate::fromString(forced, Qt::ISODate);
        if (date.isValid())
            return date;
    }
    return QDate::currentDate();
}

void LinuxSystem::requestReboot() {
    if (qEnvironmentVariableIsSet("STOWLINE_TESTING")) {
        std::fputs("stowline: a test reached the real reboot request\n", stderr);
        std::abort();
    }
    QProcess::startDetached(QStringLiteral("systemctl"), {QStringLiteral("reboot")});
}

void LinuxSystem::endProgram(int exitCode) {
    ReleaseHeldRegistryStoreLock();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace stowline::platform
