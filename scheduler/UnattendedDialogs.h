#pragma once

#include "foundation/ProgressView.h"
#include "platform/Dialogs.h"

namespace stowline {

// The dialogs of a run with nobody to answer (no display): each message goes to standard error and
// is answered as a user who declines would answer it (No, Cancel, OK); file, folder and input
// dialogs are cancelled. A scheduled run then ends instead of waiting for ever.
class UnattendedDialogs : public platform::Dialogs {
public:
    platform::MsgAnswer messageBox(const QString& text, platform::MsgButtons buttons, platform::MsgIcon icon,
                                   const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString saveFile(const platform::FileDialogRequest& request) override;
    QString openFile(const platform::FileDialogRequest& request) override;
    QString pickFolder(const QString& title) override;
};

// The progress of a run nobody watches: it keeps the lines and draws nothing.
class UnattendedProgress : public ProgressView {
public:
    void setStatus(const QString& text) override { m_status = text; }
    void setFileLine(const QString& text) override { m_fileLine = text; }
    void setBars(int, int) override {}
    void setCloseEnabled(bool) override {}
    QString status() const override { return m_status; }
    QString fileLine() const override { return m_fileLine; }

private:
    QString m_status;
    QString m_fileLine;
};

// Installs UnattendedDialogs for the rest of the program, which then runs unattended.
void InstallUnattendedDialogs();
bool RunsUnattended();

} // namespace stowline
