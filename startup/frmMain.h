#pragma once

#include "platform/Dialogs.h"

#include <QWidget>

class QLabel;
class QLayout;

namespace stowline {

class LinkEntry;

// The start-up window and hub: its load does the start-up, its entries open the flows.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // Creates the program-wide hub and runs its start-up with the command line's text.
    static frmMain& Load(const QString& commandLine);
    explicit frmMain(QWidget* parent = nullptr);

    static QColor visitedColor() { return QColor(128, 0, 128); }

    // The last backup, the next scheduled one and any warning, from the ledger.
    void refreshStatusLine();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void lblBackup_Click();
    void lblRestore_Click();
    void lblUndoRestore_Click();
    void lblSchedule_Click();
    void lblAdvanced_Click();
    void lblExportMail_Click();
    void lblUploadMail_Click();
    void lblBrowseArchive_Click();
    void lblWebsite_Click();
    void lblHelp_Click();
    void lblProgram_Click();

private:
    void Form_Load(const QString& commandLine);
    void styleLabels();
    QLayout* buildLayout();
    void setCaptions();
    void placeOnScreen();
    void bringOpenedPagesForward();
    platform::FileDialogRequest archiveDialog(const QString& title);
    QString archiveDialogFolder();
    void rememberFolderOf(const QString& archivePath);
    void openVendorPage(const QString& path);
    LinkEntry* entry(const char* name, void (frmMain::*handler)());
    QLabel* label(const char* name);

    QLabel* m_lblTitle;
    QLabel* m_lbl02;
    QList<QLabel*> m_features; // lbl03 .. lbl08
    QLabel* m_lbl09;
    QLabel* m_lbl10;
    LinkEntry* m_lblBackup;
    LinkEntry* m_lblRestore;
    LinkEntry* m_lblUndoRestore; // shown while the last restore can be undone
    LinkEntry* m_lblSchedule;
    LinkEntry* m_lblAdvanced;
    LinkEntry* m_lblExportMail;
    LinkEntry* m_lblUploadMail;
    LinkEntry* m_lblBrowseArchive;
    LinkEntry* m_lblWebsite;
    LinkEntry* m_lblHelp;
    LinkEntry* m_lblProgram;
    QLabel* m_lblVersion;
    QLabel* m_lblComment;
    QLabel* m_lblRegistry; // which registry and drive table the program works on
    QLabel* m_lblStatus;
};

} // namespace stowline
