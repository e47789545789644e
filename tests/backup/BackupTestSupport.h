#pragma once

#include "sample/SampleProfile.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTest>

namespace stowline::test {

inline QByteArray runTool(const QString& program, const QStringList& arguments,
                          const QString& registryFile = {}) {
    QProcess process;
    if (!registryFile.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("STOWLINE_REGISTRY"), registryFile);
        process.setProcessEnvironment(environment);
    }
    process.start(program, arguments);
    // A failed export would make before/after comparisons pass on empty texts.
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

inline QString freshTempPath(const char* pattern) {
    static int counter = 0;
    return QDir::temp().filePath(QString::fromLatin1(pattern).arg(++counter));
}

// The sample profile built inside the test's own folder and registry store.
inline fixtures::Profile buildSampleProfile(TestEnvironment& env) {
    return fixtures::buildProfile(env.path(QStringLiteral("profile")), fixtures::sampleProfileSpec());
}

inline const fixtures::IdentitySpec& identityNamed(const fixtures::Profile& profile, const QString& name) {
    for (const fixtures::IdentitySpec& identity : profile.description().identities)
        if (identity.name == name)
            return identity;
    qFatal("no identity %s in the sample profile", qPrintable(name));
}

// Text of a stowline-regedit export of a key ("HKEY_CURRENT_USER"). Uses the store named by
// registryFile, or the test's own when empty.
inline QString exportKey(const QString& key, const QString& registryFile = {}) {
    const QString file = freshTempPath("export-%1.reg");
    runTool(TestEnvironment::binary(QStringLiteral("stowline-regedit")),
            {QStringLiteral("/e"), QStringLiteral("/a"), file, key}, registryFile);
    const QByteArray text = readFile(file);
    QFile::remove(file);
    return QString::fromUtf8(text);
}

inline QString exportWholeRegistry() {
    return exportKey(QStringLiteral("HKEY_CURRENT_USER")) + exportKey(QStringLiteral("HKEY_LOCAL_MACHINE"));
}

// Imports a .reg file into a store of its own and exports the key again from there.
inline QString reimported(const QString& regFile, const QString& key) {
    const QString store = freshTempPath("fresh-%1.db");
    runTool(TestEnvironment::binary(QStringLiteral("stowline-regedit")), {QStringLiteral("/s"), regFile},
            store);
    return exportKey(key, store);
}

// SHA-256 of every file below folder, by path relative to it with '/' separators.
inline QMap<QString, QByteArray> hashesOfFolder(const QString& folder) {
    QMap<QString, QByteArray> hashes;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
        hashes.insert(QDir(folder).relativeFilePath(file.fileName()), hash.result().toHex());
    }
    return hashes;
}

// What a zip reader that is not ours (Python's zipfile) sees in an archive: the comment and, per
// member, the SHA-256 of its bytes. The members are unpacked below folder for a closer look.
struct ForeignZipView {
    QString comment;
    QMap<QString, QByteArray> members; // name -> sha256 hex
    bool intact = false;               // zipfile.testzip() found no bad member
    QString folder;
    QString file(const QString& member) const { return folder + u'/' + member; }
};

inline ForeignZipView readWithPython(const QString& zipPath) {
    const char* reader = R"(
import json, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    z.extractall(sys.argv[2])
    print(json.dumps({"comment": z.comment.decode("latin-1"), "intact": z.testzip() is None}))
)";
    ForeignZipView view;
    view.folder = freshTempPath("unzipped-%1");
    const QJsonObject o = QJsonDocument::fromJson(runTool(QStringLiteral("python3"),
                                                          {QStringLiteral("-c"), QString::fromUtf8(reader),
                                                           zipPath, view.folder}))
                              .object();
    view.comment = o.value(u"comment").toString();
    view.intact = o.value(u"intact").toBool();
    view.members = hashesOfFolder(view.folder);
    return view;
}

// The one dialog shown was the program's error box with this text.
inline void verifyErrorBox(const TestEnvironment& env, const QString& text) {
    QCOMPARE(env.dialogs.calls.size(), 1);
    QCOMPARE(env.dialogs.calls[0].text, text);
    QCOMPARE(env.dialogs.calls[0].title, QStringLiteral("Stowline error"));
    QCOMPARE(env.dialogs.calls[0].icon, platform::MsgIcon::Critical);
}

} // namespace stowline::test
