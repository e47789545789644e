#pragma once

#include "platform/Dialogs.h"

namespace stowline::platform {

class QtDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString saveFile(const FileDialogRequest& request) override;
    QString openFile(const FileDialogRequest& request) override;
    QString pickFolder(const QString& title) override;
};

// "Stowline archive|*.stw" -> "Stowline archive (*.stw)"; several pairs become ";;"-separated filters.
QString qtFilter(const QString& classicFilter);
// A composed text's carriage returns are its line breaks on screen.
QString displayText(const QString& composed);

} // namespace stowline::platform
