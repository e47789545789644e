#include "ui/QtDialogs.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTreeView>
#include <memory>

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

QString startFolder(const FileDialogRequest& request) {
    return request.initialFolder.isEmpty() ? request.defaultFolder : request.initialFolder;
}

// Big enough that the name, size, type and date columns show whole, and never beyond the screen.
void sizeForColumns(QFileDialog& dialog) {
    QSize size = dialog.sizeHint().expandedTo(QSize(860, 520));
    if (const QScreen* screen = dialog.screen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    dialog.resize(size);
    // The size alone leaves the toolkit's narrow default columns: "237...KiB", "8 Dec ...:44:01".
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

// The type column names a file that the dialog's filters cover by the filter's own name: the system's
// types know ".stw" as an old office template, not as a Stowline archive.
class FilterNamedTypes : public QFileIconProvider {
public:
    explicit FilterNamedTypes(const QString& classicFilter) {
        const QStringList parts = classicFilter.split(u'|');
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            m_types.append({parts[i], parts[i + 1].split(u';', Qt::SkipEmptyParts)});
    }
    QString type(const QFileInfo& info) const override {
        for (const auto& [name, patterns] : m_types)
            if (info.isFile() && QDir::match(patterns, info.fileName()))
                return name;
        return QFileIconProvider::type(info);
    }

private:
    QList<std::pair<QString, QStringList>> m_types;
};

// The provider is a base before the dialog, so it outlives the dialog's model, which asks it.
struct TypesOfFilter {
    FilterNamedTypes types;
};

class FileDialog : private TypesOfFilter, public QFileDialog {
public:
    FileDialog(const QString& title, const QString& folder, const QString& classicFilter)
        : TypesOfFilter{FilterNamedTypes(classicFilter)},
          QFileDialog(dialogOwner(), title, folder, qtFilter(classicFilter)) {
        setOption(QFileDialog::DontUseNativeDialog);
        setIconProvider(&types);
        sizeForColumns(*this);
    }
};

std::unique_ptr<QFileDialog> fileDialog(const QString& title, const QString& folder,
                                        const QString& classicFilter = {}) {
    return std::make_unique<FileDialog>(title, folder, classicFilter);
}

QString chosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
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
    box.setTextFormat(Qt::PlainText); // messages carry file and identity names
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
    QInputDialog dialog(dialogOwner());
    dialog.setWindowTitle(title);
    dialog.setLabelText(displayText(prompt));
    dialog.setTextValue(defaultText);
    for (QLabel* label : dialog.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
}

QString QtDialogs::secretBox(const QString& prompt, const QString& title) {
    bool accepted = false;
    const QString answer = QInputDialog::getText(dialogOwner(), title, displayText(prompt),
                                                 QLineEdit::Password, QString(), &accepted);
    return accepted ? answer : QString();
}

QString QtDialogs::saveFile(const FileDialogRequest& request) {
    const auto dialog = fileDialog(request.title, startFolder(request), request.filter);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    // "*.stw" in the filter makes "stw" the extension added to a bare name.
    const QString firstPattern = request.filter.section(u'|', 1, 1).section(u';', 0, 0);
    if (firstPattern.startsWith(QStringLiteral("*.")) && firstPattern.indexOf(u'*', 2) < 0)
        dialog->setDefaultSuffix(firstPattern.mid(2));
    dialog->selectFile(request.proposedName);
    return chosenFile(*dialog);
}

QString QtDialogs::openFile(const FileDialogRequest& request) {
    const auto dialog = fileDialog(request.title, startFolder(request), request.filter);
    dialog->setFileMode(QFileDialog::ExistingFile);
    if (!request.proposedName.isEmpty())
        dialog->selectFile(request.proposedName);
    return chosenFile(*dialog);
}

QString QtDialogs::pickFolder(const QString& title) {
    const auto dialog = fileDialog(title, QDir::homePath());
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    return chosenFile(*dialog);
}

void InstallWindowDialogs() {
    static QtDialogs windows;
    platform::install(&windows);
}

} // namespace stowline
