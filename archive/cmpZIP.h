#pragma once

#include <QObject>
#include <QString>

namespace stowline {

// The zip component. Set the properties, then call Compress or Extract; events are raised
// synchronously on the calling thread while the method runs, ProcessEnded always last.
// Failures throw VbError after ProcessEnded has been raised.
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

    void Compress();
    void Extract();
    QString GetComment(const QString& path);
    void SetComment(const QString& path, const QString& text);

signals:
    void FileStartedCompressing(const QString& path);
    void FileStartedDecompressing(const QString& path);
    void OnError(int code);
    void ProcessEnded();
    void ProcessMessages(qint16& cancel);
    void Statistics(double wholeRunPercent, double currentFilePercent);
};

} // namespace stowline
