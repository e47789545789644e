#pragma once

#include "archive/ZipCompressor.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace stowline {

class ZipRunEvents;

// The zip component. Set the properties, then call Compress or Extract; events are raised
// synchronously on the calling thread while the method runs, ProcessEnded always last. A run stops
// soon after the Cancel token it was given is requested.
// Failures throw VbError after ProcessEnded has been raised. A full temporary folder raises
// OnError(10) first and then throws VbError(61, "Disk full", VbError::Reported) when OnError has a
// receiver (the receiver has shown the failure), a plain VbError otherwise. A cancelled run removes
// what it wrote of the archive, raises ProcessEnded and returns normally.
//
// Compress stores every regular file below SourceFolder under its relative path ('/' between
// folders); empty folders get an entry of their own, other folders none; symbolic links and special
// files are left out and never followed. CompressionLevel 0 stores, 1-9 deflate at that level, and
// files that would not shrink are stored. ArchiveFile appears only when complete: it is written
// under a temporary name beside it (TempFolder is not needed for that) and renamed into place.
// Extract unpacks the members FileSpec names ("*.*": all, else one member name, any separator, any
// case) below ExtractFolder; Options 6 and 8 both do that. An archive with a member whose name would
// leave ExtractFolder is refused whole before anything is written (VbError 75 naming the member).
// Comment, GetComment and SetComment use the archive comment, written as UTF-8.
class cmpZIP : public QObject {
    Q_OBJECT
public:
    explicit cmpZIP(QObject* parent = nullptr);
    ~cmpZIP() override;

    QString ArchiveFile;
    QString SourceFolder;
    QString TempFolder;
    qint16 CompressionLevel = 6;
    qint32 Options = 1;
    QString FileSpec = QStringLiteral("*.*");
    QString ExtractFolder;
    // The next Extract unpacks the zip stored under this name in ArchiveFile, read where it lies
    // (not compressed again); Extract empties it.
    QString ArchiveMember;
    QString Comment;       // written by Compress as the new archive's comment
    QByteArray Passphrase; // Compress encrypts every member with it when set
    bool Durable = false;  // Compress syncs the archive to disk before it takes its name
    // Handed the written archive while it syncs (only when Durable); Compress empties it.
    std::function<void(const QString& written)> WhileSyncing;
    // Archives of folders that the next Compress makes on the fly and stores as members (after the
    // files of SourceFolder); Compress empties the list, whatever its outcome.
    std::vector<ZipNestedArchive> NestedArchives;
    const CancelToken* Cancel = nullptr;

    void Compress();
    void Extract();
    QString GetComment(const QString& path);
    void SetComment(const QString& path, const QString& text);

signals:
    void FileStartedCompressing(const QString& path);
    void FileStartedDecompressing(const QString& path);
    void OnError(int code);
    void ProcessEnded();
    void Statistics(double wholeRunPercent, double currentFilePercent);

private:
    class RunEvents;
    void runWithEvents(bool compressing, const std::function<void(ZipRunEvents&)>& body);

    // Cleared when the component is destroyed, possibly by a receiver while a run is under way.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace stowline
