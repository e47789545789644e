#include "tests/backup/BackupTestSupport.h"

#include "archive/frmInterface.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QTest>

namespace stowline::test {

namespace {

QByteArray run(const QString& program, const QStringList& arguments, const QString& registryFile = {}) {
    QProcess process;
    if (!registryFile.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("STOWLINE_REGISTRY"), registryFile);
        process.setProcessEnvironment(environment);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

const char* zipReader = R"(
import hashlib, json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    members = {i.filename: hashlib.sha256(z.read(i)).hexdigest() for i in z.infolist() if not i.is_dir()}
    print(json.dumps({"comment": z.comment.decode("latin-1"), "members": members,
                      "intact": z.testzip() is None}))
)";

const char* zipExtractor = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[3], "wb") as out:
    out.write(z.read(sys.argv[2]))
)";

} // namespace

fixtures::Profile buildSampleProfile(TestEnvironment& env) {
    return fixtures::buildProfile(env.path(QStringLiteral("profile")), fixtures::sampleProfileSpec());
}

QString exportKey(const QString& key, const QString& registryFile) {
    static int counter = 0;
    const QString file = QDir::temp().filePath(QStringLiteral("export-%1.reg").arg(++counter));
    run(TestEnvironment::binary(QStringLiteral("stowline-regedit")),
        {QStringLiteral("/e"), QStringLiteral("/a"), file, key}, registryFile);
    const QByteArray text = readFile(file);
    QFile::remove(file);
    return QString::fromUtf8(text);
}

QString exportWholeRegistry() {
    return exportKey(QStringLiteral("HKEY_CURRENT_USER")) + exportKey(QStringLiteral("HKEY_LOCAL_MACHINE"));
}

void importInto(const QString& registryFile, const QString& regFile) {
    run(TestEnvironment::binary(QStringLiteral("stowline-regedit")), {QStringLiteral("/s"), regFile},
        registryFile);
}

ForeignZipView readWithPython(const QString& zipPath) {
    const QByteArray json =
        run(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(zipReader), zipPath});
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    ForeignZipView view;
    view.comment = o.value(u"comment").toString();
    view.intact = o.value(u"intact").toBool();
    const QJsonObject members = o.value(u"members").toObject();
    for (auto it = members.begin(); it != members.end(); ++it)
        view.members.insert(it.key(), it.value().toString().toLatin1());
    return view;
}

void extractWithPython(const QString& zipPath, const QString& member, const QString& target) {
    run(QStringLiteral("python3"),
        {QStringLiteral("-c"), QString::fromUtf8(zipExtractor), zipPath, member, target});
}

QMap<QString, QByteArray> hashesOfFolder(const QString& folder) {
    QMap<QString, QByteArray> hashes;
    const QDir base(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
        hashes.insert(base.relativeFilePath(path), hash.result().toHex());
    }
    return hashes;
}

RecordingProgress& RecordingProgress::load() {
    auto* recorder = new RecordingProgress;
    forms::add(QStringLiteral("frmProgress"), recorder);
    return *recorder;
}

void selectIdentities(const QStringList& names) {
    QListWidget& list = Interface().lstIdentities();
    for (int i = 0; i < list.count(); ++i)
        list.item(i)->setSelected(names.contains(list.item(i)->text()));
}

} // namespace stowline::test
