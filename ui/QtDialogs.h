#pragma once

#include "platform/Dialogs.h"

namespace stowline {

using platform::FileDialogRequest, platform::MsgAnswer, platform::MsgButtons, platform::MsgIcon;

// The questions asked as the toolkit's own dialogs, over the active window.
class QtDialogs : public platform::Dialogs {
public:
    MsgAnswer messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString secretBox(const QString& prompt, const QString& title) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString openFile(const FileDialogRequest& request) override;
    QString pickFolder(const QString& title) override;
};

// "Stowline archive|*.stw" -> "Stowline archive (*.stw)"; several pairs become ";;"-separated filters.
QString qtFilter(const QString& classicFilter);
// A composed text's carriage returns are its line breaks on screen.
QString displayText(const QString& composed);

// Makes the toolkit's dialogs the ones every question goes to, for the rest of the program.
void InstallWindowDialogs();

} // namespace stowline
