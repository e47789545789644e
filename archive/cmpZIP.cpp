#include "archive/cmpZIP.h"

#include "archive/ZipComment.h"
#include "archive/ZipCompressor.h"
#include "archive/ZipExtractor.h"
#include "foundation/modError.h"

#include <QMetaMethod>

namespace stowline {

namespace {

constexpr int TempFolderFullCode = 10;

// A receiver destroyed the component during a run: the run unwinds without touching it.
struct ComponentGone {};

} // namespace

// Raises the component's signals for a run and notes whether a receiver threw.
class cmpZIP::RunEvents : public ZipRunEvents {
public:
    RunEvents(cmpZIP& zip, bool compressing) : m_zip(zip), m_alive(zip.m_alive), m_compressing(compressing) {}

    void fileStarted(const QString& path) override {
        raise([&] {
            if (m_compressing)
                emit m_zip.FileStartedCompressing(path);
            else
                emit m_zip.FileStartedDecompressing(path);
        });
    }
    void statistics(double wholeRunPercent, double currentFilePercent) override {
        raise([&] { emit m_zip.Statistics(wholeRunPercent, currentFilePercent); });
    }
    bool cancelRequested() override { return m_zip.Cancel && m_zip.Cancel->requested(); }

    bool receiverThrew() const { return m_receiverThrew; }

private:
    template <class Signal> void raise(Signal signal) {
        const std::shared_ptr<bool> alive = m_alive;
        try {
            signal();
        } catch (...) {
            m_receiverThrew = true;
            throw;
        }
        if (!*alive)
            throw ComponentGone{};
    }

    cmpZIP& m_zip;
    std::shared_ptr<bool> m_alive;
    bool m_compressing;
    bool m_receiverThrew = false;
};

cmpZIP::cmpZIP(QObject* parent) : QObject(parent) {}

cmpZIP::~cmpZIP() { *m_alive = false; }

void cmpZIP::Compress() {
    ZipCompressSettings settings{SourceFolder, ArchiveFile, CompressionLevel};
    settings.comment = Comment.toUtf8();
    settings.passphrase = Passphrase;
    settings.durable = Durable;
    settings.whileSyncing = std::exchange(WhileSyncing, {});
    settings.nested = std::exchange(NestedArchives, {});
    settings.cancel = Cancel;
    runWithEvents(true, [&](ZipRunEvents& events) { ZipCompressor(settings, events).run(); });
}

void cmpZIP::Extract() {
    ZipExtractSettings settings{ArchiveFile, ExtractFolder, FileSpec};
    settings.cancel = Cancel;
    settings.innerMember = std::exchange(ArchiveMember, {});
    runWithEvents(false, [&](ZipRunEvents& events) { ZipExtractor(settings, events).run(); });
}

QString cmpZIP::GetComment(const QString& path) { return ReadArchiveComment(path); }

void cmpZIP::SetComment(const QString& path, const QString& text) {
    WriteArchiveComment(path, text.toUtf8());
}

void cmpZIP::runWithEvents(bool compressing, const std::function<void(ZipRunEvents&)>& body) {
    const std::shared_ptr<bool> alive = m_alive;
    RunEvents events(*this, compressing);
    try {
        body(events);
    } catch (const ComponentGone&) {
        return;
    } catch (const VbError& failure) {
        if (events.receiverThrew() || failure.number() != int(Err::DiskFull)) {
            if (!events.receiverThrew())
                emit ProcessEnded();
            throw;
        }
        const bool received = isSignalConnected(QMetaMethod::fromSignal(&cmpZIP::OnError));
        emit OnError(TempFolderFullCode);
        if (*alive)
            emit ProcessEnded();
        throw VbError(Err::DiskFull, failure.description(),
                      received ? VbError::Reported : VbError::NotReported);
    } catch (...) {
        if (!events.receiverThrew())
            emit ProcessEnded();
        throw;
    }
    emit ProcessEnded();
}

} // namespace stowline
