#pragma once

#include "ui/MailReader.h"
#include "ui/MailSearch.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QTimer;
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
// the selected message as plain text (txtPreview) with its attachments and .eml saved on request, and
// a full-text search over the whole archive (txtSearch), whose results name identity and folder and
// open in their folder. An identity's own line lists the messages of all its folders.
class frmMailBrowser : public QWidget {
    Q_OBJECT
public:
    explicit frmMailBrowser(QString archivePath, QWidget* parent = nullptr);
    void Form_Load();

    QString status() const; // lblStatus
    // Room for the three panes side by side; the window opens at this size.
    QSize sizeHint() const override { return {1160, 720}; }

signals:
    // The folder tree is shown, a listing or a message has arrived: for whoever waits on the window.
    void treeShown();
    void listShown();
    void previewShown();
    void searchShown(); // the results of a search are listed
    void indexFinished();

protected:
    // Escape closes the window, as a dialog's would.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void tvwFolders_CurrentChanged(QTreeWidgetItem* item);
    void lstMessages_CurrentChanged();
    void txtSearch_Changed(const QString& text);
    void lstMessages_Activated();
    void cmdSaveAttachments_Click();
    void cmdSaveMessage_Click();
    void cboCharset_Changed();

private:
    void buildLayout();
    void setCaptions();
    void showTree(const QList<MailTree>& trees, const QString& error);
    void showList(const QList<ListedMessage>& messages, const QStringList& problems);
    void showPreview(const QByteArray& raw, bool readable, const QString& detail);
    void renderPreview();
    void highlightWords();
    void setStatus(const QString& text);
    void updateCount();
    void startIndex();
    void runSearch();
    void showFound(const QList<mail::MailHit>& hits);
    void setSearching(bool searching);
    void selectListed(qint64 firstBlock);
    const ListedMessage* currentMessage() const;
    // Reads the whole current message, then hands it over.
    void readWhole(std::function<void(const QByteArray&)> then);

    QString m_archivePath;
    QList<MailTree> m_trees;
    QList<ListedMessage> m_listed;
    quint64 m_listTicket = 0;
    quint64 m_readTicket = 0;
    bool m_searching = false;
    QStringList m_highlighted;   // the words of the search, marked in the preview
    qint64 m_openAfterList = -1; // a found message to choose once its folder is listed
    QString m_indexProgress;     // empty once the index is complete
    QByteArray m_raw;            // the previewed message as read
    bool m_rawReadable = true;
    QString m_rawDetail;

    QLabel* m_lblTitle;
    QLabel* m_lblArchive;
    QLabel* m_lblSearch;
    QLineEdit* m_txtSearch;
    QTreeWidget* m_tvwFolders;
    QTreeView* m_lstMessages;
    QStandardItemModel* m_messages;
    QSortFilterProxyModel* m_shown;
    QPlainTextEdit* m_txtPreview;
    QPushButton* m_cmdSaveAttachments;
    QPushButton* m_cmdSaveMessage;
    QLabel* m_lblCharset;
    QComboBox* m_cboCharset;
    QTimer* m_searchDelay;
    QLabel* m_lblStatus;
    QPushButton* m_cmdClose;
    MailReader m_reader; // its thread ends before the widgets go
    MailSearch m_search;
};

// Opens the archive browser on an archive, replacing one already open.
void BrowseArchive(const QString& archivePath);

} // namespace stowline
