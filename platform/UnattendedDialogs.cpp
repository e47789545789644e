#include "platform/UnattendedDialogs.h"

#include <cstdio>

namespace stowline::platform {

namespace {

void report(const QString& title, const QString& text) {
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\r', u' ');
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

MsgAnswer UnattendedDialogs::messageBox(const QString& text, MsgButtons buttons, MsgIcon,
                                        const QString& title) {
    report(title, text);
    switch (buttons) {
    case MsgButtons::OK:
        return MsgAnswer::OK;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OKCancel:
    case MsgButtons::YesNoCancel:
        break;
    }
    return MsgAnswer::Cancel;
}

QString UnattendedDialogs::inputBox(const QString& prompt, const QString& title, const QString&) {
    report(title, prompt);
    return {};
}

QString UnattendedDialogs::saveFile(const FileDialogRequest& request) {
    report(request.title, request.proposedName);
    return {};
}

QString UnattendedDialogs::openFile(const FileDialogRequest& request) {
    report(request.title, request.proposedName);
    return {};
}

QString UnattendedDialogs::pickFolder(const QString& title) {
    report(title, QString());
    return {};
}

} // namespace stowline::platform
