#include "platform/ScheduleTimer.h"

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

// The registry store chosen for this session goes with the unattended run.
QString storeEnvironment() {
    const QString store = qEnvironmentVariable("STOWLINE_REGISTRY");
    return store.isEmpty()
               ? QString()
               : QStringLiteral("Environment=\"STOWLINE_REGISTRY=") + store + QStringLiteral("\"\n");
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
    const QString program = QCoreApplication::applicationFilePath();
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
               "[Unit]\nDescription=Stowline scheduled backup\n\n[Service]\nType=oneshot\nExecStart=\"") +
           program + QStringLiteral("\" /S\n") + storeEnvironment() +
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
    const QString store = qEnvironmentVariable("STOWLINE_REGISTRY");
    const QString environment =
        store.isEmpty() ? QString() : QStringLiteral("STOWLINE_REGISTRY='") + store + QStringLiteral("' ");
    return cronTimes(scheduleCode) + u' ' + environment + u'\'' + program + QStringLiteral("' /S ") +
           kCronMark;
}

TimerMethod InstallScheduleTimer(int scheduleCode) {
    if (installUnits(scheduleCode))
        return TimerMethod::SystemdUser;
    std::optional<QStringList> lines = foreignCronLines();
    if (!lines)
        return TimerMethod::None;
    *lines << CrontabLine(QCoreApplication::applicationFilePath(), scheduleCode);
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
