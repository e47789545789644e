#include "scheduler/UnattendedDialogs.h"

#include "platform/Platform.h"

#include <cstdio>

namespace stowline {

namespace {

void report(const QString& title, const QString& text) {
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\r', u' ');
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

platform::MsgAnswer UnattendedDialogs::messageBox(const QString& text, platform::MsgButtons buttons,
                                                  platform::MsgIcon, const QString& title) {
    report(title, text);
    switch (buttons) {
    case platform::MsgButtons::OK:
        return platform::MsgAnswer::OK;
    case platform::MsgButtons::YesNo:
        return platform::MsgAnswer::No;
    case platform::MsgButtons::OKCancel:
    case platform::MsgButtons::YesNoCancel:
        break;
    }
    return platform::MsgAnswer::Cancel;
}

QString UnattendedDialogs::inputBox(const QString& prompt, const QString& title, const QString&) {
    report(title, prompt);
    return {};
}

QString UnattendedDialogs::saveFile(const platform::FileDialogRequest& request) {
    report(request.title, request.proposedName);
    return {};
}

QString UnattendedDialogs::openFile(const platform::FileDialogRequest& request) {
    report(request.title, request.proposedName);
    return {};
}

QString UnattendedDialogs::pickFolder(const QString& title) {
    report(title, QString());
    return {};
}

namespace {
bool unattendedRun = false;
} // namespace

void InstallUnattendedDialogs() {
    static UnattendedDialogs unattended;
    platform::install(&unattended);
    unattendedRun = true;
}

bool RunsUnattended() { return unattendedRun; }

} // namespace stowline
