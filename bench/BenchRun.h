#pragma once

#include "backup/modBKIdentityCheck.h"
#include "backup/modWizardBackup.h"
#include "foundation/ProgressView.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QTextStream>

// Stand-ins the benchmarks run the engines with.
namespace stowline::bench {

// Any question during a run is printed and answered OK: a benchmark cannot wait for a person.
class PrintingDialogs : public platform::Dialogs {
public:
    platform::MsgAnswer messageBox(const QString& text, platform::MsgButtons, platform::MsgIcon,
                                   const QString&) override {
        QTextStream(stderr) << "message: " << QString(text).replace(u'\r', u'\n') << '\n';
        return platform::MsgAnswer::OK;
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFile(const platform::FileDialogRequest&) override { return {}; }
    QString openFile(const platform::FileDialogRequest&) override { return {}; }
    QString pickFolder(const QString&) override { return {}; }
};

// The progress window as a run sees it: keeps when each status line appeared, counted from clock.
class TimingProgress : public ProgressView {
public:
    QElapsedTimer clock;
    QList<QPair<double, QString>> phases;
    void setStatus(const QString& text) override {
        phases.append({static_cast<double>(clock.nsecsElapsed()) / 1e9, text});
    }
    void setFileLine(const QString&) override {}
    void setBars(int, int) override {}
    void setCloseEnabled(bool) override {}
    QString status() const override { return phases.isEmpty() ? QString() : phases.last().second; }
    QString fileLine() const override { return {}; }
};

// Every item and every identity found, as a backup the wizard set up.
inline BackupJob everythingTo(const QString& archive) {
    BackupJob job{archive, {}, QStringLiteral("111"), {}};
    Identity_Check(job.identities);
    job.identities.selectAll(true);
    return job;
}

} // namespace stowline::bench
