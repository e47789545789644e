// Any bytes as a backup archive: its comment, member list and identity index as the Restore Wizard
// reads them, then every member unpacked as a restore unpacks an inner zip. Files go to a private
// temporary folder that is emptied after each input.
#include "archive/ArchiveLayout.h"
#include "archive/ZipComment.h"
#include "archive/ZipExtractor.h"
#include "archive/ZipLibzip.h"
#include "foundation/modError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace stowline;

namespace {

class QuietEvents : public ZipRunEvents {
public:
    void fileStarted(const QString&) override {}
    void statistics(double, double) override {}
    bool cancelRequested() override { return false; }
};

void unpack(const QString& archive, const QString& folder, const QString& fileSpec) {
    QuietEvents events;
    try {
        ZipExtractor(ZipExtractSettings{archive, folder, fileSpec, 1}, events).run();
    } catch (const VbError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir work;
    const QString archive = work.filePath(QStringLiteral("in.stw"));
    const QString folder = work.filePath(QStringLiteral("out"));
    QFile file(archive);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    (void)layout::IsBackupArchiveComment(ReadArchiveComment(archive));
    (void)ZipMemberEntries(archive);
    unpack(archive, folder, QString(layout::IdentityIndexFile));
    try {
        (void)layout::ReadIdentityIndex(folder + u'/' + layout::IdentityIndexFile);
    } catch (const VbError&) {
    }
    unpack(archive, folder, QStringLiteral("*.*"));
    QDir(folder).removeRecursively();
    return 0;
}
