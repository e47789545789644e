#pragma once

#include "ui/frmBK_Choice.h"
#include "ui/frmBK_Identity.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

namespace stowline::test {

// Opens the Backup Wizard on an archive path as the hub does and finds the pages' controls.
inline frmBK_Choice& openBackupWizard(const QString& archivePath) {
    ArchivePath = archivePath;
    frmMain_Disabled();
    frmBK_Choice& page = forms::get<frmBK_Choice>(QStringLiteral("frmBK_Choice"));
    ShowPage(page);
    return page;
}

inline frmBK_Choice* choicePage() {
    return dynamic_cast<frmBK_Choice*>(forms::find(QStringLiteral("frmBK_Choice")));
}
inline frmBK_Identity* identityPage() {
    return dynamic_cast<frmBK_Identity*>(forms::find(QStringLiteral("frmBK_Identity")));
}

template <class Control> Control& control(QWidget* window, const char* name) {
    auto* found = window ? window->findChild<Control*>(QString::fromLatin1(name)) : nullptr;
    if (!found)
        qFatal("no control %s", name);
    return *found;
}

inline QStringList checkedLines(QListWidget& list) {
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->checkState() == Qt::Checked)
            lines << list.item(i)->text();
    return lines;
}

} // namespace stowline::test
