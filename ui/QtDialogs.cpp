#include "ui/QtDialogs.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace stowline {

namespace {

QWidget* dialogOwner() { return QApplication::activeWindow(); }

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OK:
        return QMessageBox::Ok;
    case MsgButtons::OKCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QString startPath(const FileDialogRequest& request) {
    if (request.initialFolder.isEmpty())
        return request.proposedName;
    return QDir(request.initialFolder).filePath(request.proposedName);
}

} // namespace

QString displayText(const QString& composed) {
    QString text = composed;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

QString qtFilter(const QString& classicFilter) {
    const QStringList parts = classicFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(u';', u' ') + u')';
    return filters.join(QStringLiteral(";;"));
}

MsgAnswer QtDialogs::messageBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) {
    QMessageBox box(qtIcon(icon), title, displayText(text), qtButtons(buttons), dialogOwner());
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    default:
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::OK;
    }
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(dialogOwner(), title, displayText(prompt), QLineEdit::Normal,
                                                 defaultText, &accepted);
    return accepted ? answer : QString();
}

QString QtDialogs::saveFile(const FileDialogRequest& request) {
    QFileDialog dialog(dialogOwner(), request.title, request.initialFolder, qtFilter(request.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // "*.stw" in the filter makes "stw" the extension added to a bare name.
    const QString firstPattern = request.filter.section(u'|', 1, 1).section(u';', 0, 0);
    if (firstPattern.startsWith(QStringLiteral("*.")) && firstPattern.indexOf(u'*', 2) < 0)
        dialog.setDefaultSuffix(firstPattern.mid(2));
    dialog.selectFile(request.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::openFile(const FileDialogRequest& request) {
    return QFileDialog::getOpenFileName(dialogOwner(), request.title, startPath(request),
                                        qtFilter(request.filter), nullptr, QFileDialog::DontUseNativeDialog);
}

QString QtDialogs::pickFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(dialogOwner(), title, QDir::homePath(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

void InstallWindowDialogs() {
    static QtDialogs windows;
    platform::install(&windows);
}

} // namespace stowline
