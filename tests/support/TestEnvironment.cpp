#include "tests/support/TestEnvironment.h"

#include "foundation/RegEdit.h"
#include "foundation/modGlobal.h"
#include "platform/Platform.h"
#include "platform/RegistryStore.h"
#include "ui/RunWorker.h"
#include "ui/Windows.h"

#include <QAbstractEventDispatcher>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <zip.h>

namespace stowline::test {

using namespace Qt::StringLiterals;

namespace {

// Stand-ins for systemctl and crontab: no test may touch the real user's timers. Each call is
// logged to calls.log; crontab keeps its table in crontab.txt; FAKE_SYSTEMCTL_FAIL makes systemctl fail.
void writeFakeSchedulers(const QString& bin, const QString& root) {
    const QString systemctl = u"#!/bin/sh\necho \"systemctl $*\" >> '%1/calls.log'\n"
                              u"[ -z \"$FAKE_SYSTEMCTL_FAIL\" ] || exit 1\n"_s;
    const QString crontab = u"#!/bin/sh\necho \"crontab $*\" >> '%1/calls.log'\n"
                            u"if [ \"$1\" = -l ]; then cat '%1/crontab.txt' 2>/dev/null; exit 0; fi\n"
                            u"cat > '%1/crontab.txt'\n"_s;
    for (const auto& [name, text] :
         {std::pair{u"systemctl"_s, systemctl}, std::pair{u"crontab"_s, crontab}}) {
        writeFile(bin + u'/' + name, text.arg(root).toUtf8());
        QFile::setPermissions(bin + u'/' + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace

TestEnvironment::TestEnvironment() {
    QVERIFY(m_dir.isValid());
    for (const char* sub : {"home", "home/Documents", "tmp", "xdg-data", "xdg-config", "xdg-state", "bin"})
        QDir().mkpath(path(QString::fromLatin1(sub)));
    setEnv("HOME", path(u"home"_s));
    setEnv("TMPDIR", tempRoot());
    setEnv("STOWLINE_REGISTRY", registryFile());
    setEnv("XDG_DATA_HOME", path(u"xdg-data"_s));
    setEnv("XDG_CONFIG_HOME", path(u"xdg-config"_s));
    setEnv("XDG_STATE_HOME", path(u"xdg-state"_s));
    // No desktop keyring unless a test starts one: never the developer's own.
    setEnv("DBUS_SESSION_BUS_ADDRESS", u"unix:path="_s + path(u"no-session-bus"_s));
    writeFakeSchedulers(path(u"bin"_s), root());
    setEnv("PATH", path(u"bin"_s) + u':' + qEnvironmentVariable("PATH"));
    platform::reopenRegistry();
    platform::install(&dialogs);
    platform::install(&shell);
    platform::install(&system);
}

TestEnvironment::~TestEnvironment() {
    waitForRunEnd();
    frms_Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::install(static_cast<platform::Dialogs*>(nullptr));
    platform::install(static_cast<platform::Shell*>(nullptr));
    platform::install(static_cast<platform::System*>(nullptr));
    for (const auto& [name, saved] : std::as_const(m_savedEnv))
        saved.isNull() ? qunsetenv(name) : qputenv(name, saved);
    platform::reopenRegistry();
}

void TestEnvironment::setEnv(const char* name, const QString& value) {
    m_savedEnv.append({name, qgetenv(name)});
    qputenv(name, value.toUtf8());
}

QString TestEnvironment::schedulerCalls() const { return QString::fromUtf8(readFile(path(u"calls.log"_s))); }

QString TestEnvironment::binary(const QString& name) {
    return QDir(qEnvironmentVariable("STOWLINE_BIN_DIR")).filePath(name);
}

QStringList openToOthers(const QString& folder, const QString& than) {
    QStringList open;
    if (than.isNull() && int(QFile::permissions(folder)) & 0x77)
        open << folder;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString same = QDir(than).filePath(QDir(folder).relativeFilePath(path));
        const int allowed = than.isNull() ? 0 : int(QFile::permissions(same));
        if (int(QFile::permissions(path)) & ~allowed & 0x77)
            open << path;
    }
    return open;
}

void setValue(const QString& key, const QString& name, const QVariant& value, int type) {
    RegEdit reg;
    reg.KeyPath = key;
    reg.ValueName = name;
    reg.ValueType = type;
    reg.Value = value;
    value.isValid() ? reg.WriteValue() : reg.DeleteValue();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(bytes);
}

ProgramRun runProgram(const QString& name, const QStringList& arguments) {
    // Without a runtime folder the toolkit says so on stderr.
    const QTemporaryDir runtimeDir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TestEnvironment::binary(name), arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

bool waitForRunEnd() {
    return QTest::qWaitFor([] { return !RunGoing(); }, 60000);
}

void runUntilRunEnds() {
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                     [&] {
                         if (!RunGoing())
                             loop.quit();
                     });
    if (RunGoing())
        loop.exec();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QMap<QString, QByteArray> hashesOfFolder(const QString& folder) {
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

QByteArray writeZip(const QString& path, const ZipMembers& members, const QByteArray& comment, bool stored) {
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (!archive)
        return {};
    for (const auto& [name, content] : members) {
        // members outlives zip_close, so libzip may read the bytes in place
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        const zip_int64_t index = zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        else if (stored)
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    zip_set_archive_comment(archive, comment.constData(), zip_uint16_t(comment.size()));
    return zip_close(archive) == 0 ? readFile(path) : QByteArray();
}

} // namespace stowline::test
