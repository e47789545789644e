#pragma once

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

// Installs UnattendedDialogs for the rest of the program.
void InstallUnattendedDialogs();

} // namespace stowline
