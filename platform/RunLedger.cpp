#include "platform/RunLedger.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <optional>

namespace stowline::platform {

namespace {

const char* const kindNames[] = {"backup", "scheduled", "restore"};
const char* const outcomeNames[] = {"succeeded", "failed", "verify-failed", "not-written", "cancelled"};

template <class Enum, size_t N>
Enum fromName(const QString& name, const char* const (&names)[N], Enum fallback) {
    for (size_t i = 0; i < N; ++i)
        if (name == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    return fallback;
}

QByteArray toJsonLine(const RunRecord& record) {
    QJsonObject o;
    o[u"kind"] = QLatin1String(kindNames[static_cast<int>(record.kind)]);
    o[u"start"] = record.start.toString(Qt::ISODate);
    o[u"end"] = record.end.toString(Qt::ISODate);
    o[u"outcome"] = QLatin1String(outcomeNames[static_cast<int>(record.outcome)]);
    o[u"archive"] = record.archive;
    o[u"size"] = record.size;
    o[u"items"] = record.items;
    o[u"exit"] = record.exitStatus;
    if (!record.detail.isEmpty())
        o[u"detail"] = record.detail;
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<RunRecord> fromJsonLine(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject o = document.object();
    RunRecord record;
    record.kind = fromName(o[u"kind"].toString(), kindNames, RunRecord::Kind::Backup);
    record.start = QDateTime::fromString(o[u"start"].toString(), Qt::ISODate);
    record.end = QDateTime::fromString(o[u"end"].toString(), Qt::ISODate);
    record.outcome = fromName(o[u"outcome"].toString(), outcomeNames, RunRecord::Outcome::Failed);
    record.archive = o[u"archive"].toString();
    record.size = o[u"size"].toInteger(-1);
    record.items = o[u"items"].toString();
    record.exitStatus = o[u"exit"].toInt();
    record.detail = o[u"detail"].toString();
    if (!record.end.isValid())
        return std::nullopt;
    return record;
}

QList<QByteArray> readLines(const QString& path) {
    QFile file(path);
    QList<QByteArray> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

// Rewrites the ledger with its newest records once it holds twice the bound.
void trimLedger(const QString& path) {
    QList<QByteArray> lines = readLines(path);
    if (lines.size() <= 2 * MaxLedgerRecords)
        return;
    lines = lines.mid(lines.size() - MaxLedgerRecords);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return;
    for (const QByteArray& line : std::as_const(lines))
        out.write(line + '\n');
    out.commit();
}

} // namespace

QString runLedgerPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/stowline/runs.jsonl");
}

void appendRunRecord(const RunRecord& record) {
    const QString path = runLedgerPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir(folder).exists() &&
        (!QDir().mkpath(QFileInfo(folder).absolutePath()) || makePrivateFolder(folder) != 0))
        return;
    QFile file(path);
    if (!file.open(QIODevice::Append))
        return;
    // Archive paths name private mail: the ledger is readable by its owner only.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(toJsonLine(record));
    file.close();
    trimLedger(path);
}

QList<RunRecord> readRunRecords() {
    QList<RunRecord> records;
    for (const QByteArray& line : readLines(runLedgerPath()))
        if (const std::optional<RunRecord> record = fromJsonLine(line))
            records << *record;
    return records;
}

} // namespace stowline::platform
