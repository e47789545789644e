#include "platform/ScheduleTimer.h"

#include "platform/ProgramFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <optional>

namespace stowline::platform {

namespace {

const QString kTimer = QStringLiteral("stowline-backup.timer");
const QString kService = QStringLiteral("stowline-backup.service");
const QString kCronMark = QStringLiteral("# stowline-backup");

QString unitFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/systemd/user");
}

QString onCalendar(int scheduleCode) {
    switch (scheduleCode) {
    case 3:
        return QStringLiteral("*-*-1/3 12:00");
    case 4:
        return QStringLiteral("weekly");
    case 5:
        return QStringLiteral("monthly");
    default: // every start, every day, or a code that is not one: daily
        return QStringLiteral("daily");
    }
}

QString cronTimes(int scheduleCode) {
    switch (scheduleCode) {
    case 3:
        return QStringLiteral("0 12 */3 * *");
    case 4:
        return QStringLiteral("0 12 * * 1");
    case 5:
        return QStringLiteral("0 12 1 * *");
    default:
        return QStringLiteral("0 12 * * *");
    }
}

QString registryStore() { return qEnvironmentVariable("STOWLINE_REGISTRY"); }

// Inside systemd's double quotes: C escapes for '\' and '"', "%%" for a specifier sign, and in a
// command's arguments "$$" so that no variable is expanded.
QString systemdQuoted(QString text, bool commandLine) {
    text.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'%', QStringLiteral("%%"));
    if (commandLine)
        text.replace(u'$', QStringLiteral("$$"));
    return u'"' + text + u'"';
}

// One word for sh in single quotes. Cron turns an unescaped '%' into a line break before sh sees
// the line, and reads any backslash before it, so "\%" stands between quotes: never after a '\'.
QString cronShellQuoted(QString text) {
    text.replace(u'\'', QStringLiteral("'\\''")).replace(u'%', QStringLiteral("'\\%'"));
    return u'\'' + text + u'\'';
}

// systemd runs no executable whose path holds a quote or a backslash: sh starts such a one.
QString execStart(const QString& program) {
    if (!program.contains(u'\'') && !program.contains(u'"') && !program.contains(u'\\'))
        return systemdQuoted(program, false) + QStringLiteral(" /S");
    return QStringLiteral("/bin/sh -c ") + systemdQuoted(QStringLiteral("exec \"$0\" /S"), true) + u' ' +
           systemdQuoted(program, true);
}

// The registry store chosen for this session goes with the unattended run.
QString storeEnvironment() {
    const QString store = registryStore();
    return store.isEmpty() ? QString()
                           : QStringLiteral("Environment=") +
                                 systemdQuoted(QStringLiteral("STOWLINE_REGISTRY=") + store, false) + u'\n';
}

bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
         QByteArray* output = nullptr) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return false;
    if (!input.isNull())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool systemctl(const QStringList& arguments) {
    return run(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
}

bool writeText(const QString& path, const QString& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

bool installUnits(int scheduleCode) {
    const QString folder = unitFolder();
    const QString program = StartedProgramFile();
    return QDir().mkpath(folder) && writeText(folder + u'/' + kService, ServiceUnitText(program)) &&
           writeText(folder + u'/' + kTimer, TimerUnitText(scheduleCode)) &&
           systemctl({QStringLiteral("daemon-reload")}) &&
           systemctl({QStringLiteral("enable"), QStringLiteral("--now"), kTimer});
}

// The user's crontab without our line; none when crontab cannot be read.
std::optional<QStringList> foreignCronLines() {
    QByteArray table;
    if (QStandardPaths::findExecutable(QStringLiteral("crontab")).isEmpty())
        return std::nullopt;
    run(QStringLiteral("crontab"), {QStringLiteral("-l")}, {}, &table); // no table yet: exit 1, empty
    QStringList lines;
    for (const QString& line : QString::fromUtf8(table).split(u'\n', Qt::SkipEmptyParts))
        if (!line.endsWith(kCronMark))
            lines << line;
    return lines;
}

bool writeCrontab(const QStringList& lines) {
    QByteArray table;
    for (const QString& line : lines)
        table += line.toUtf8() + '\n';
    return run(QStringLiteral("crontab"), {QStringLiteral("-")}, table);
}

} // namespace

QString ServiceUnitText(const QString& program) {
    return QStringLiteral(
               "# Written by Stowline from its schedule; finishing the Schedule Backup Wizard rewrites it.\n"
               "[Unit]\nDescription=Stowline scheduled backup\n\n[Service]\nType=oneshot\nExecStart=") +
           execStart(program) + u'\n' + storeEnvironment() +
           QStringLiteral("Environment=\"QT_LOGGING_RULES=default.warning=false;qt.*.warning=false\"\n"
                          "TimeoutStartSec=6h\nNice=10\nIOSchedulingClass=idle\n");
}

QString TimerUnitText(int scheduleCode) {
    return QStringLiteral(
               "# Written by Stowline from its schedule; finishing the Schedule Backup Wizard rewrites it.\n"
               "[Unit]\nDescription=Stowline scheduled backup\n\n[Timer]\nOnCalendar=") +
           onCalendar(scheduleCode) +
           QStringLiteral(
               "\nPersistent=true\nRandomizedDelaySec=15min\n\n[Install]\nWantedBy=timers.target\n");
}

QString CrontabLine(const QString& program, int scheduleCode) {
    const QString store = registryStore();
    const QString environment =
        store.isEmpty() ? QString() : QStringLiteral("STOWLINE_REGISTRY=") + cronShellQuoted(store) + u' ';
    return cronTimes(scheduleCode) + u' ' + environment + cronShellQuoted(program) + QStringLiteral(" /S ") +
           kCronMark;
}

TimerMethod InstallScheduleTimer(int scheduleCode) {
    // Neither a unit file nor a crontab line can hold a line break in a path.
    for (const QString& path : {StartedProgramFile(), registryStore()})
        if (path.contains(u'\n') || path.contains(u'\r'))
            return TimerMethod::PathWithLineBreak;
    if (installUnits(scheduleCode))
        return TimerMethod::SystemdUser;
    std::optional<QStringList> lines = foreignCronLines();
    if (!lines)
        return TimerMethod::None;
    *lines << CrontabLine(StartedProgramFile(), scheduleCode);
    return writeCrontab(*lines) ? TimerMethod::Crontab : TimerMethod::None;
}

bool ScheduleTimerInstalled() {
    if (QFile::exists(unitFolder() + u'/' + kTimer) &&
        systemctl({QStringLiteral("is-enabled"), QStringLiteral("--quiet"), kTimer}))
        return true;
    QByteArray table;
    return run(QStringLiteral("crontab"), {QStringLiteral("-l")}, {}, &table) &&
           table.contains(kCronMark.toUtf8());
}

void DisableScheduleTimer() {
    if (QFile::exists(unitFolder() + u'/' + kTimer))
        systemctl({QStringLiteral("disable"), QStringLiteral("--now"), kTimer});
    QByteArray table;
    if (!run(QStringLiteral("crontab"), {QStringLiteral("-l")}, {}, &table) ||
        !table.contains(kCronMark.toUtf8()))
        return;
    if (const std::optional<QStringList> lines = foreignCronLines())
        writeCrontab(*lines);
}

} // namespace stowline::platform
