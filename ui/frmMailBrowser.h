#pragma once

#include "ui/MailReader.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace stowline {

// Reads the mail of an archive without restoring anything: the identities and their folder tree
// (tvwFolders), the chosen folder's messages (lstMessages: date, from, subject, size; sortable),
// the selected message as plain text (txtPreview) and a search over subject and sender (txtSearch).
// An identity's own line lists the messages of all its folders.
class frmMailBrowser : public QWidget {
    Q_OBJECT
public:
    explicit frmMailBrowser(QString archivePath, QWidget* parent = nullptr);
    void Form_Load();

    QString status() const; // lblStatus
    // Room for the three panes side by side; the window opens at this size.
    QSize sizeHint() const override { return {1040, 680}; }

signals:
    // The folder tree is shown, a listing or a message has arrived: for whoever waits on the window.
    void treeShown();
    void listShown();
    void previewShown();

protected:
    // Escape closes the window, as a dialog's would.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void tvwFolders_CurrentChanged(QTreeWidgetItem* item);
    void lstMessages_CurrentChanged();
    void txtSearch_Changed(const QString& text);

private:
    void buildLayout();
    void setCaptions();
    void showTree(const QList<MailTree>& trees, const QString& error);
    void showList(const QList<ListedMessage>& messages, const QStringList& problems);
    void showPreview(const QByteArray& raw, bool readable, const QString& detail);
    void setStatus(const QString& text);
    void updateCount();

    QString m_archivePath;
    QList<MailTree> m_trees;
    QList<ListedMessage> m_listed;
    quint64 m_listTicket = 0;
    quint64 m_readTicket = 0;

    QLabel* m_lblTitle;
    QLabel* m_lblArchive;
    QLabel* m_lblSearch;
    QLineEdit* m_txtSearch;
    QTreeWidget* m_tvwFolders;
    QTreeView* m_lstMessages;
    QStandardItemModel* m_messages;
    QSortFilterProxyModel* m_shown;
    QPlainTextEdit* m_txtPreview;
    QLabel* m_lblStatus;
    QPushButton* m_cmdClose;
    MailReader m_reader; // last: its thread ends before the widgets go
};

// Opens the archive browser on an archive, replacing one already open.
void BrowseArchive(const QString& archivePath);

} // namespace stowline
