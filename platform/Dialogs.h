#pragma once

#include <QString>

namespace stowline::platform {

enum class MsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgAnswer { OK, Cancel, Yes, No };

struct FileDialogRequest {
    QString title;
    QString filter;        // "Description|*.ext" pairs, as the classic common dialog takes them
    QString initialFolder; // empty: defaultFolder
    QString defaultFolder; // where the dialog starts without an initial folder (the documents folder)
    QString proposedName;
};

// Every modal question the program asks. Carriage returns in a text are the line breaks.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MsgAnswer messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                                 const QString& title) = 0;
    // Returns "" when cancelled, like the classic input box.
    virtual QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) = 0;
    // The same for a secret: what is typed is not shown. Doubles answer it as an input box.
    virtual QString secretBox(const QString& prompt, const QString& title) {
        return inputBox(prompt, title, {});
    }
    // Return the chosen full path, or "" when cancelled.
    virtual QString saveFile(const FileDialogRequest& request) = 0;
    virtual QString openFile(const FileDialogRequest& request) = 0;
    virtual QString pickFolder(const QString& title) = 0;
};

// Where every question goes, answered on the windows' thread. The real dialogs answer unattended
// (platform/UnattendedDialogs.h); a program with windows installs its own, a test its double, and
// nullptr restores the real ones.
Dialogs& dialogs();
void install(Dialogs* replacement);
// True while nobody can answer a dialog: no window dialogs (nor a test's) are installed.
bool runsUnattended();

} // namespace stowline::platform
