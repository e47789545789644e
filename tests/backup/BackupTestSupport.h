#pragma once

#include "backup/BackupChoice.h"
#include "foundation/modGlobal.h"
#include "tests/fixtures/SampleProfile.h"
#include "tests/support/TestEnvironment.h"

#include <QMap>
#include <QWidget>
#include <array>

namespace stowline::test {

// The sample profile built inside the test's own folder and registry store.
fixtures::Profile buildSampleProfile(TestEnvironment& env);

// Text of a stowline-regedit export of a key ("HKEY_CURRENT_USER"). Uses the store named by
// registryFile, or the test's own when empty.
QString exportKey(const QString& key, const QString& registryFile = {});
// Both hives, for comparing the whole registry before and after a run.
QString exportWholeRegistry();
// Imports a .reg file into the given store with stowline-regedit /s.
void importInto(const QString& registryFile, const QString& regFile);

// What a zip reader that is not ours sees in an archive (Python's zipfile): the comment and, per
// member, the SHA-256 of its bytes. Inner archives are read the same way through inner().
struct ForeignZipView {
    QString comment;
    QMap<QString, QByteArray> members; // name -> sha256 hex
    bool intact = false;               // zipfile.testzip() found no bad member
};
ForeignZipView readWithPython(const QString& zipPath);
// Writes one member of an archive to a file, read by Python's zipfile.
void extractWithPython(const QString& zipPath, const QString& member, const QString& target);
// SHA-256 of every file below folder, by path relative to it with '/' separators.
QMap<QString, QByteArray> hashesOfFolder(const QString& folder);

// The progress window as the engine sees it, keeping every status and file line it was given.
class RecordingProgress : public QWidget, public ProgressView {
public:
    // A new recorder, loaded as "frmProgress" (the forms registry owns it).
    static RecordingProgress& load();
    void setStatus(const QString& text) override { statuses << text; }
    void setFileLine(const QString& text) override { fileLines << text; }
    void setBars(int, int) override {}
    void setCloseEnabled(bool enabled) override { closeEnabled = enabled; }
    QString status() const override { return statuses.value(statuses.size() - 1); }
    QString fileLine() const override { return fileLines.value(fileLines.size() - 1); }

    QStringList statuses;
    QStringList fileLines;
    bool closeEnabled = false;
};

struct ChoiceDouble : BackupChoice {
    std::array<bool, 3> chosen{true, true, true};
    bool itemChosen(int item) const override { return chosen[static_cast<size_t>(item)]; }
};

// Marks the identities with these display names in the hidden list, as the identity page does.
void selectIdentities(const QStringList& names);

} // namespace stowline::test
