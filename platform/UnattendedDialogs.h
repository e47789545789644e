#pragma once

#include "platform/Dialogs.h"

namespace stowline::platform {

// The dialogs of a run with nobody to answer (no display): each message goes to standard error and
// is answered as a user who declines would answer it (No, Cancel, OK); file, folder and input
// dialogs are cancelled. A scheduled run then ends instead of waiting for ever. These are the
// dialogs of every program until one with windows installs its own.
class UnattendedDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString openFile(const FileDialogRequest& request) override;
    QString pickFolder(const QString& title) override;
};

} // namespace stowline::platform
