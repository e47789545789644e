#pragma once

#include "sample/SampleProfile.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTest>

namespace stowline::test {

inline QByteArray runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
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

// Text of a stowline-regedit export of a key ("HKEY_CURRENT_USER") from the test's own store.
inline QString exportKey(const QString& key) {
    const QString file = freshTempPath("export-%1.reg");
    runTool(TestEnvironment::binary(QStringLiteral("stowline-regedit")),
            {QStringLiteral("/e"), QStringLiteral("/a"), file, key});
    const QByteArray text = readFile(file);
    QFile::remove(file);
    return QString::fromUtf8(text);
}

inline QString exportWholeRegistry() {
    return exportKey(QStringLiteral("HKEY_CURRENT_USER")) + exportKey(QStringLiteral("HKEY_LOCAL_MACHINE"));
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
