#pragma once

#include "tests/support/DialogsDouble.h"
#include "tests/support/SystemDouble.h"
#include "ui/DialogQuestions.h"

#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace stowline::test {

// A private world for one test: its own registry store, HOME, TMPDIR and documents folder, and the
// dialog, shell and system doubles installed. Everything is put back when it goes out of scope.
class TestEnvironment {
public:
    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QString registryFile() const { return path(QStringLiteral("registry.db")); }
    QString tempRoot() const { return path(QStringLiteral("tmp")); } // TMPDIR, no trailing '/'
    // Path of a program built beside the tests (stowline, stowline-regedit).
    static QString binary(const QString& name);
    // What the stand-ins for systemctl and crontab were asked, one call a line.
    QString schedulerCalls() const;

    DialogsDouble dialogs;
    DialogQuestions questions{dialogs}; // the engines' questions, as the windows ask them
    ShellDouble shell;
    SystemDouble system;

    // Sets an environment variable for this test's programs; put back at the end.
    void setEnv(const char* name, const QString& value);

private:
    QTemporaryDir m_dir;
    QList<QPair<const char*, QByteArray>> m_savedEnv; // name, value before (null: unset)
};

// Sets the umask for as long as it lives.
class UmaskForTest {
public:
    explicit UmaskForTest(mode_t mask) : m_saved(::umask(mask)) {}
    ~UmaskForTest() { ::umask(m_saved); }
    UmaskForTest(const UmaskForTest&) = delete;
    UmaskForTest& operator=(const UmaskForTest&) = delete;

private:
    mode_t m_saved;
};

// The folder and everything below it that group or others may read, write or enter; with `than`,
// what below it gives them more than the same path below `than` does.
QStringList openToOthers(const QString& folder, const QString& than = {});

// Writes a registry value of the current user (RegEdit's types: 1 text, 3 binary, 4 number), or
// deletes it when given none.
void setValue(const QString& key, const QString& name, const QVariant& value, int type = 1);

// Writes a file (creating its folders) with the given bytes.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// SHA-256 of every file below folder, by path relative to it with '/' separators.
QMap<QString, QByteArray> hashesOfFolder(const QString& folder);

// A zip written by libzip as another program could, whatever its member names; returns its bytes,
// none when libzip refused it.
using ZipMembers = QList<QPair<QString, QByteArray>>; // name as stored, content
QByteArray writeZip(const QString& path, const ZipMembers& members, const QByteArray& comment = {},
                    bool stored = false);

// A zip without members: only its end record, carrying the comment (the item flags of an archive).
inline QByteArray emptyArchive(const QByteArray& comment) {
    return "PK\5\6" + QByteArray(16, 0) + char(comment.size()) + '\0' + comment;
}

// A program built beside the tests run to its end, as on a desktop session: its exit status (-1 when
// it crashed or hung), stdout and stderr.
struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};
ProgramRun runProgram(const QString& name, const QStringList& arguments);

// Lets the windows work until the run started from them has ended and shown all it reported.
bool waitForRunEnd();

// The same without a time limit, for the probes that run a whole flow: the run is looked at whenever
// the event loop has nothing left to do, so a question from it is answered at once, not after a sleep.
void runUntilRunEnds();

} // namespace stowline::test
