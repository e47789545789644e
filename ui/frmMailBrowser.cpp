#include "ui/frmMailBrowser.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "mail/MailExport.h"
#include "mail/MessageText.h"
#include "platform/Dialogs.h"
#include "ui/MessagePreview.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/modFont.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTextCursor>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace stowline {

namespace {

enum Column { DateColumn, FromColumn, SubjectColumn, SizeColumn, IdentityColumn, FolderColumn, ColumnCount };
constexpr int SortRole = Qt::UserRole;
constexpr int ListedRole = Qt::UserRole + 1; // position in the listing, on the date cell
constexpr int IdentityRole = Qt::UserRole;   // on a folder tree line
constexpr int FolderRole = Qt::UserRole + 1; // -1 on an identity's own line
// A preview needs the text part, which comes first; a multi-megabyte attachment is not read for it.
constexpr qint64 PreviewBytes = 4 * 1024 * 1024;
constexpr qint64 WholeMessage = qint64(1) << 40;
constexpr int SearchDelayMs = 250;

QStandardItem* cell(const QString& text, const QVariant& sortKey) {
    auto* item = new QStandardItem(text);
    item->setData(sortKey, SortRole);
    item->setEditable(false);
    return item;
}

QString shownDate(const QDateTime& date) {
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

void nameByText(QWidget& widget, const QString& text) { widget.setAccessibleName(plainCaption(text)); }

QString previewText(const MessagePreview& preview) {
    QStringList lines;
    const auto header = [&](int label, const QString& value) {
        if (!value.isEmpty())
            lines << Str(label) + u' ' + value;
    };
    header(txtFromLine, preview.from);
    header(txtToLine, preview.to);
    header(txtDateLine, preview.date);
    header(txtSubjectLine, preview.subject);
    lines << QString() << preview.body;
    if (!preview.attachments.isEmpty())
        lines << QString() << Str(txtAttachments) + u' ' + preview.attachments.join(QStringLiteral(", "));
    return lines.join(u'\n');
}

// Text folded for finding a word as the index does: case and accents do not count. One character
// stays one character, so a position found in the folded text is one in the text.
QString foldedForFinding(const QString& text) {
    QString folded = text;
    for (QChar& c : folded) {
        if (c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().at(0);
        c = c.toCaseFolded();
    }
    return folded;
}

} // namespace

frmMailBrowser::frmMailBrowser(QString archivePath, QWidget* parent)
    : QWidget(parent), m_archivePath(std::move(archivePath)), m_lblTitle(new QLabel(this)),
      m_lblArchive(new QLabel(this)), m_lblSearch(new QLabel(this)), m_txtSearch(new QLineEdit(this)),
      m_tvwFolders(new QTreeWidget(this)), m_lstMessages(new QTreeView(this)),
      m_messages(new QStandardItemModel(0, ColumnCount, this)), m_shown(new QSortFilterProxyModel(this)),
      m_txtPreview(new QPlainTextEdit(this)), m_cmdSaveAttachments(new QPushButton(this)),
      m_cmdSaveMessage(new QPushButton(this)), m_lblCharset(new QLabel(this)),
      m_cboCharset(new QComboBox(this)), m_searchDelay(new QTimer(this)), m_lblStatus(new QLabel(this)),
      m_cmdClose(new QPushButton(this)), m_reader(*this), m_search(*this) {
    setAttribute(Qt::WA_DeleteOnClose);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblArchive->setObjectName(QStringLiteral("lblArchive"));
    m_lblSearch->setObjectName(QStringLiteral("lblSearch"));
    m_txtSearch->setObjectName(QStringLiteral("txtSearch"));
    m_tvwFolders->setObjectName(QStringLiteral("tvwFolders"));
    m_lstMessages->setObjectName(QStringLiteral("lstMessages"));
    m_txtPreview->setObjectName(QStringLiteral("txtPreview"));
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    // The archive's path and its folders' names are shown as they are, never as markup.
    for (QLabel* label : {m_lblTitle, m_lblArchive, m_lblSearch, m_lblStatus, m_lblCharset})
        label->setTextFormat(Qt::PlainText);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdSaveAttachments->setObjectName(QStringLiteral("cmdSaveAttachments"));
    m_cmdSaveMessage->setObjectName(QStringLiteral("cmdSaveMessage"));
    m_lblCharset->setObjectName(QStringLiteral("lblCharset"));
    m_cboCharset->setObjectName(QStringLiteral("cboCharset"));
    m_lblCharset->setBuddy(m_cboCharset);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(SearchDelayMs);

    m_shown->setSourceModel(m_messages);
    m_shown->setSortRole(SortRole);
    m_shown->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_shown->setSortLocaleAware(true);
    m_lstMessages->setModel(m_shown);
    m_lstMessages->setRootIsDecorated(false);
    m_lstMessages->setUniformRowHeights(true);
    m_lstMessages->setSortingEnabled(true);
    m_lstMessages->setAllColumnsShowFocus(true);
    m_lstMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tvwFolders->setHeaderHidden(true);
    m_txtPreview->setReadOnly(true);
    m_txtPreview->setTabChangesFocus(true);
    m_txtPreview->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_txtSearch->setClearButtonEnabled(true);
    m_lblSearch->setBuddy(m_txtSearch);
    m_lblArchive->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblArchive->setMinimumWidth(1);

    buildLayout();
    connect(m_tvwFolders, &QTreeWidget::currentItemChanged, this, &frmMailBrowser::tvwFolders_CurrentChanged);
    connect(m_lstMessages->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmMailBrowser::lstMessages_CurrentChanged);
    connect(m_txtSearch, &QLineEdit::textChanged, this, &frmMailBrowser::txtSearch_Changed);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(m_lstMessages, &QTreeView::activated, this, &frmMailBrowser::lstMessages_Activated);
    connect(m_cmdSaveAttachments, &QPushButton::clicked, this, &frmMailBrowser::cmdSaveAttachments_Click);
    connect(m_cmdSaveMessage, &QPushButton::clicked, this, &frmMailBrowser::cmdSaveMessage_Click);
    connect(m_cboCharset, &QComboBox::currentIndexChanged, this, &frmMailBrowser::cboCharset_Changed);
    connect(m_searchDelay, &QTimer::timeout, this, &frmMailBrowser::runSearch);
}

void frmMailBrowser::buildLayout() {
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    for (QWidget* names : std::initializer_list<QWidget*>{m_tvwFolders, m_lstMessages, m_txtPreview}) {
        QFont font = names->font();
        SetProperFont(font);
        names->setFont(font);
    }

    auto* search = new QHBoxLayout;
    search->addWidget(m_lblSearch);
    search->addWidget(m_txtSearch, 1);

    auto* previewTools = new QHBoxLayout;
    previewTools->setContentsMargins(0, 0, 0, 0);
    previewTools->addWidget(m_cmdSaveAttachments);
    previewTools->addWidget(m_cmdSaveMessage);
    previewTools->addStretch(1);
    previewTools->addWidget(m_lblCharset);
    previewTools->addWidget(m_cboCharset);
    auto* previewPane = new QWidget;
    auto* previewLayout = new QVBoxLayout(previewPane);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(m_txtPreview, 1);
    previewLayout->addLayout(previewTools);

    auto* right = new QSplitter(Qt::Vertical);
    right->setObjectName(QStringLiteral("splMessages"));
    right->addWidget(m_lstMessages);
    right->addWidget(previewPane);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 1);
    auto* panes = new QSplitter(Qt::Horizontal);
    panes->setObjectName(QStringLiteral("splPanes"));
    panes->addWidget(m_tvwFolders);
    panes->addWidget(right);
    panes->setStretchFactor(0, 1);
    panes->setStretchFactor(1, 3);
    panes->setChildrenCollapsible(false);
    right->setChildrenCollapsible(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lblStatus, 1);
    bottom->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTitle);
    layout->addWidget(m_lblArchive);
    layout->addLayout(search);
    layout->addWidget(panes, 1);
    layout->addLayout(bottom);

    setTabOrder(m_txtSearch, m_tvwFolders);
    setTabOrder(m_tvwFolders, m_lstMessages);
    setTabOrder(m_lstMessages, m_txtPreview);
    setTabOrder(m_txtPreview, m_cmdSaveAttachments);
    setTabOrder(m_cmdSaveAttachments, m_cmdSaveMessage);
    setTabOrder(m_cmdSaveMessage, m_cboCharset);
    setTabOrder(m_cboCharset, m_cmdClose);
    setMinimumSize(640, 420);
}

void frmMailBrowser::setCaptions() {
    setWindowTitle(Str(txtBrowserTitle));
    m_lblTitle->setText(Str(txtBrowserTitle));
    nameByText(*m_lblTitle, Str(txtBrowserTitle));
    const QString archiveLine = m_archivePath + QStringLiteral("  \u00B7  ") + Str(txtReadOnly);
    m_lblArchive->setText(archiveLine);
    nameByText(*m_lblArchive, archiveLine);
    m_lblSearch->setText(Str(txtSearchAllMail));
    nameByText(*m_lblSearch, Str(txtSearchAllMail));
    nameByText(*m_txtSearch, Str(txtSearchAllMail));
    for (auto [button, text] :
         {std::pair{m_cmdSaveAttachments, txtSaveAttachments}, {m_cmdSaveMessage, txtSaveMessage}}) {
        button->setText(Str(text));
        nameByText(*button, Str(text));
        button->setEnabled(false);
    }
    m_lblCharset->setText(Str(txtCharsetChoice));
    nameByText(*m_lblCharset, Str(txtCharsetChoice));
    nameByText(*m_cboCharset, Str(txtCharsetChoice));
    m_cboCharset->addItem(Str(txtCharsetAsDeclared));
    for (const QByteArray& charset : mail::ReadableCharsets())
        m_cboCharset->addItem(QString::fromLatin1(charset), charset);
    nameByText(*m_tvwFolders, Str(txtFoldersHeader));
    nameByText(*m_lstMessages, Str(txtMessages));
    nameByText(*m_txtPreview, Str(txtMailwindowsMessage));
    m_cmdClose->setText(Str(txtClose));
    nameByText(*m_cmdClose, Str(txtClose));
    m_messages->setHorizontalHeaderLabels({Str(txtDate), Str(txtFrom), Str(txtSubject),
                                           Str(txtMailwindowsSize), Str(txtIdentityHeader),
                                           Str(txtFolderHeader)});
    QHeaderView* header = m_lstMessages->header();
    header->setSectionResizeMode(SubjectColumn, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    header->resizeSection(DateColumn,
                          fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 24);
    header->resizeSection(FromColumn, 220);
    header->resizeSection(SizeColumn, fontMetrics().horizontalAdvance(QStringLiteral("000.0 KiB")) + 24);
    m_lstMessages->sortByColumn(DateColumn, Qt::DescendingOrder);
    setSearching(false);
}

void frmMailBrowser::Form_Load() {
    TRAP_BEGIN("frmMailBrowser:Form_Load")
        STEP(1) setCaptions();
        STEP(2) setStatus(Str(txtReading));
        STEP(3)
        m_reader.open(m_archivePath,
                      [this](const QList<MailTree>& trees, const QString& error) { showTree(trees, error); });
        STEP(4) startIndex();
    TRAP_END
}

void frmMailBrowser::showTree(const QList<MailTree>& trees, const QString& error) {
    m_trees = trees;
    m_tvwFolders->clear();
    for (int identity = 0; identity < trees.size(); ++identity) {
        auto* top = new QTreeWidgetItem(m_tvwFolders, {trees[identity].identity.name});
        top->setData(0, IdentityRole, identity);
        top->setData(0, FolderRole, -1);
        QFont bold = top->font(0);
        bold.setBold(true);
        top->setFont(0, bold);
        // Folders come parents first, so each one's parent line exists when it is reached.
        QHash<int, QTreeWidgetItem*> byId;
        const QList<mail::MailFolder>& folders = trees[identity].folders;
        for (int folder = 0; folder < folders.size(); ++folder) {
            QTreeWidgetItem* parent = byId.value(folders[folder].parentId, top);
            auto* line =
                new QTreeWidgetItem(parent, {folders[folder].path.value(folders[folder].path.size() - 1)});
            line->setData(0, IdentityRole, identity);
            line->setData(0, FolderRole, folder);
            byId.insert(folders[folder].id, line);
        }
    }
    m_tvwFolders->expandAll();
    if (!error.isEmpty())
        setStatus(Str(txtMailwindowsArchiveUnreadable) + u' ' + error);
    else if (trees.isEmpty())
        setStatus(Str(txtArchiveHoldsNoIdentities));
    else
        setStatus(QString());
    if (QTreeWidgetItem* first = m_tvwFolders->topLevelItem(0))
        m_tvwFolders->setCurrentItem(first);
    m_tvwFolders->setFocus();
    emit treeShown();
}

void frmMailBrowser::tvwFolders_CurrentChanged(QTreeWidgetItem* item) {
    if (m_searching)
        return; // the tree shows where a found message lies; the list keeps the results
    m_messages->removeRows(0, m_messages->rowCount());
    m_listed.clear();
    m_txtPreview->clear();
    ++m_readTicket; // a message of the old list arriving late is not shown
    if (!item)
        return;
    const int identity = item->data(0, IdentityRole).toInt();
    const int folder = item->data(0, FolderRole).toInt();
    QList<int> folders;
    if (folder >= 0)
        folders << folder;
    else
        for (int i = 0; i < m_trees.value(identity).folders.size(); ++i)
            folders << i;
    setStatus(Str(txtReading));
    const quint64 ticket = ++m_listTicket;
    m_reader.list(identity, folders,
                  [this, ticket](const QList<ListedMessage>& messages, const QStringList& problems) {
                      if (ticket == m_listTicket)
                          showList(messages, problems);
                  });
}

void frmMailBrowser::showList(const QList<ListedMessage>& messages, const QStringList& problems) {
    m_listed = messages;
    const QLocale locale;
    m_lstMessages->setSortingEnabled(false);
    for (int i = 0; i < messages.size(); ++i) {
        const mail::MessageEntry& entry = messages[i].entry;
        const QString subject = entry.subject.isEmpty() ? Str(txtNoSubject) : entry.subject;
        QStandardItem* date = cell(shownDate(entry.date), entry.date);
        date->setData(i, ListedRole);
        m_messages->appendRow({date, cell(entry.from, entry.from), cell(subject, subject),
                               cell(locale.formattedDataSize(entry.size), entry.size)});
    }
    m_lstMessages->setSortingEnabled(true);
    m_lstMessages->scrollToTop();
    updateCount();
    if (!problems.isEmpty())
        setStatus(m_lblStatus->text() + QStringLiteral("  \u00B7  ") + Str(txtMessageUnreadable) + u' ' +
                  problems.join(QStringLiteral("; ")));
    if (m_openAfterList >= 0)
        selectListed(std::exchange(m_openAfterList, -1));
    emit listShown();
}

void frmMailBrowser::selectListed(qint64 firstBlock) {
    for (int row = 0; row < m_shown->rowCount(); ++row) {
        const int listed = m_shown->index(row, DateColumn).data(ListedRole).toInt();
        if (m_listed.value(listed).entry.firstBlock == firstBlock) {
            m_lstMessages->setCurrentIndex(m_shown->index(row, DateColumn));
            m_lstMessages->scrollTo(m_shown->index(row, DateColumn));
            m_lstMessages->setFocus();
            return;
        }
    }
}

void frmMailBrowser::updateCount() {
    const int shown = m_shown->rowCount();
    if (m_searching) {
        setStatus(QString::number(shown) + Str(txtFoundInArchive) +
                  (m_indexProgress.isEmpty() ? QString() : QStringLiteral("  \u00B7  ") + m_indexProgress));
        return;
    }
    const QString count = shown == m_messages->rowCount()
                              ? QString::number(shown)
                              : QString::number(shown) + u'/' + QString::number(m_messages->rowCount());
    setStatus(count + u' ' + Str(txtMessageCount));
}

void frmMailBrowser::lstMessages_CurrentChanged() {
    const QModelIndex current = m_lstMessages->currentIndex();
    m_txtPreview->clear();
    m_raw.clear();
    m_cmdSaveAttachments->setEnabled(false);
    m_cmdSaveMessage->setEnabled(false);
    ++m_readTicket;
    if (!current.isValid())
        return;
    const int listed = m_shown->index(current.row(), DateColumn).data(ListedRole).toInt();
    if (listed < 0 || listed >= m_listed.size())
        return;
    const quint64 ticket = m_readTicket;
    m_reader.read(m_listed[listed], PreviewBytes,
                  [this, ticket](const QByteArray& raw, bool readable, const QString& detail) {
                      if (ticket == m_readTicket)
                          showPreview(raw, readable, detail);
                  });
}

void frmMailBrowser::showPreview(const QByteArray& raw, bool readable, const QString& detail) {
    m_raw = raw;
    m_rawReadable = readable;
    m_rawDetail = detail;
    m_cmdSaveAttachments->setEnabled(!raw.isEmpty());
    m_cmdSaveMessage->setEnabled(!raw.isEmpty());
    renderPreview();
    emit previewShown();
}

void frmMailBrowser::renderPreview() {
    const QByteArray charset = m_cboCharset->currentData().toByteArray();
    QString text = previewText(PreviewMessage(m_raw, charset));
    if (!m_rawReadable)
        text = Str(txtMessageUnreadable) + u' ' + m_rawDetail + QStringLiteral("\n\n") + text;
    m_txtPreview->setPlainText(text);
    m_txtPreview->moveCursor(QTextCursor::Start);
    highlightWords();
}

void frmMailBrowser::highlightWords() {
    QList<QTextEdit::ExtraSelection> marks;
    const QString folded = foldedForFinding(m_txtPreview->toPlainText());
    QTextCharFormat format;
    format.setBackground(palette().color(QPalette::Highlight));
    format.setForeground(palette().color(QPalette::HighlightedText));
    for (const QString& word : m_highlighted) {
        const QString wanted = foldedForFinding(word);
        for (qsizetype at = folded.indexOf(wanted); !wanted.isEmpty() && at >= 0;
             at = folded.indexOf(wanted, at + wanted.size())) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(m_txtPreview->document());
            mark.cursor.setPosition(int(at));
            mark.cursor.setPosition(int(at + wanted.size()), QTextCursor::KeepAnchor);
            mark.format = format;
            marks << mark;
        }
    }
    m_txtPreview->setExtraSelections(marks);
}

void frmMailBrowser::cboCharset_Changed() {
    if (!m_raw.isEmpty())
        renderPreview();
}

void frmMailBrowser::txtSearch_Changed(const QString& text) {
    if (text.trimmed().isEmpty()) {
        m_searchDelay->stop();
        m_highlighted.clear();
        setSearching(false);
        tvwFolders_CurrentChanged(m_tvwFolders->currentItem());
        return;
    }
    m_searchDelay->start();
}

void frmMailBrowser::startIndex() {
    m_indexProgress = Str(txtReading);
    MailSearch::Calls calls;
    calls.progress = [this](qint64 done, qint64 total) {
        m_indexProgress =
            Str(txtIndexingProgress) + QString::number(done) + Str(txtProgressOf) + QString::number(total);
        if (m_searching)
            updateCount();
    };
    calls.committed = [this] {
        // New matches join the results unless the person is reading one of them.
        if (m_searching && !m_lstMessages->currentIndex().isValid())
            runSearch();
    };
    calls.finished = [this](bool complete, const QString& error) {
        m_indexProgress = complete ? QString() : error;
        if (m_searching && !m_lstMessages->currentIndex().isValid())
            runSearch();
        emit indexFinished();
    };
    m_search.start(m_archivePath, calls);
}

void frmMailBrowser::runSearch() {
    const QString text = m_txtSearch->text();
    if (text.trimmed().isEmpty())
        return;
    QString error;
    const std::optional<mail::MailQuery> query = mail::ParseMailQuery(text, &error);
    if (!query) {
        setStatus(error);
        return;
    }
    m_highlighted = query->words;
    showFound(m_search.search(*query));
}

void frmMailBrowser::showFound(const QList<mail::MailHit>& hits) {
    setSearching(true);
    ++m_listTicket;         // a folder listing still on its way does not replace the results,
    m_reader.stopListing(); // nor inflates the store the index is being built from
    m_messages->removeRows(0, m_messages->rowCount());
    m_listed.clear();
    m_txtPreview->clear();
    ++m_readTicket;
    const QLocale locale;
    m_lstMessages->setSortingEnabled(false);
    for (const mail::MailHit& hit : hits) {
        ListedMessage found;
        found.entry = hit.entry;
        for (int identity = 0; identity < m_trees.size() && found.identity < 0; ++identity) {
            if (m_trees[identity].identity.id != hit.identityId)
                continue;
            const QList<mail::MailFolder>& folders = m_trees[identity].folders;
            for (int folder = 0; folder < folders.size(); ++folder)
                if (folders[folder].id == hit.folderId && folders[folder].storeFile == hit.storeFile) {
                    found.identity = identity;
                    found.folder = folder;
                }
        }
        if (found.identity < 0)
            continue; // the tree is still being read
        const mail::MessageEntry& entry = hit.entry;
        const QString subject = entry.subject.isEmpty() ? Str(txtNoSubject) : entry.subject;
        const QString folderPath = hit.folderPath.join(u'/');
        QStandardItem* date = cell(shownDate(entry.date), entry.date);
        date->setData(int(m_listed.size()), ListedRole);
        m_messages->appendRow({date, cell(entry.from, entry.from), cell(subject, subject),
                               cell(locale.formattedDataSize(entry.size), entry.size),
                               cell(hit.identityName, hit.identityName), cell(folderPath, folderPath)});
        m_listed.append(found);
    }
    m_lstMessages->setSortingEnabled(true);
    m_lstMessages->scrollToTop();
    updateCount();
    emit searchShown();
}

void frmMailBrowser::setSearching(bool searching) {
    m_searching = searching;
    // Results trade the size for where each message lies, so that the subject keeps its room.
    m_lstMessages->setColumnHidden(IdentityColumn, !searching);
    m_lstMessages->setColumnHidden(FolderColumn, !searching);
    m_lstMessages->setColumnHidden(SizeColumn, searching);
    QHeaderView* header = m_lstMessages->header();
    const int room = std::max(400, m_lstMessages->viewport()->width() - header->sectionSize(DateColumn));
    header->resizeSection(FromColumn, searching ? room * 26 / 100 : 220);
    header->resizeSection(IdentityColumn, room * 16 / 100);
    header->resizeSection(FolderColumn, room * 22 / 100);
}

// A found message opens in its folder: the folder is chosen in the tree and the message in its list.
void frmMailBrowser::lstMessages_Activated() {
    const ListedMessage* found = currentMessage();
    if (!m_searching || !found || found->identity < 0)
        return;
    const ListedMessage message = *found;
    QTreeWidgetItem* target = nullptr;
    for (QTreeWidgetItemIterator it(m_tvwFolders); *it && !target; ++it)
        if ((*it)->data(0, IdentityRole).toInt() == message.identity &&
            (*it)->data(0, FolderRole).toInt() == message.folder)
            target = *it;
    if (!target)
        return;
    const QSignalBlocker quiet(m_txtSearch);
    m_txtSearch->clear();
    setSearching(false);
    m_openAfterList = message.entry.firstBlock;
    if (m_tvwFolders->currentItem() == target)
        tvwFolders_CurrentChanged(target);
    else
        m_tvwFolders->setCurrentItem(target);
}

const ListedMessage* frmMailBrowser::currentMessage() const {
    const QModelIndex current = m_lstMessages->currentIndex();
    if (!current.isValid())
        return nullptr;
    const int listed = m_shown->index(current.row(), DateColumn).data(ListedRole).toInt();
    return listed >= 0 && listed < m_listed.size() ? &m_listed[listed] : nullptr;
}

void frmMailBrowser::readWhole(std::function<void(const QByteArray&)> then) {
    const ListedMessage* message = currentMessage();
    if (!message)
        return;
    m_reader.read(*message, WholeMessage,
                  [then = std::move(then)](const QByteArray& raw, bool, const QString&) { then(raw); });
}

void frmMailBrowser::cmdSaveAttachments_Click() {
    if (mail::ReadAttachments(m_raw).isEmpty() && m_raw.size() < PreviewBytes) {
        setStatus(Str(txtNoAttachments));
        return;
    }
    const QString folder = platform::dialogs().pickFolder(Str(txtSaveAttachmentsTitle));
    if (folder.isEmpty())
        return;
    readWhole([this, folder](const QByteArray& raw) {
        QString failed;
        const QStringList written = mail::SaveAttachments(raw, folder, &failed);
        setStatus(failed.isEmpty() ? Str(txtSavedTo) + written.join(QStringLiteral(", "))
                                   : Str(txtCannotSave) + failed);
    });
}

void frmMailBrowser::cmdSaveMessage_Click() {
    const ListedMessage* message = currentMessage();
    if (!message)
        return;
    platform::FileDialogRequest request;
    request.title = Str(txtSaveMessageTitle);
    request.filter = Str(txtEmlFilter) + QStringLiteral("|*.eml");
    request.proposedName =
        mail::SafeFileName(message->entry.subject.isEmpty() ? Str(txtNoSubject) : message->entry.subject) +
        QStringLiteral(".eml");
    const QString path = platform::dialogs().saveFile(request);
    if (path.isEmpty())
        return;
    readWhole([this, path](const QByteArray& raw) {
        setStatus(mail::SaveMessageFile(raw, path) ? Str(txtSavedTo) + path : Str(txtCannotSave) + path);
    });
}

void frmMailBrowser::setStatus(const QString& text) {
    m_lblStatus->setText(text);
    m_lblStatus->setAccessibleName(text);
}

void frmMailBrowser::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString frmMailBrowser::status() const { return m_lblStatus->text(); }

void BrowseArchive(const QString& archivePath) {
    forms::unload(QStringLiteral("frmMailBrowser"));
    ShowPage(forms::get<frmMailBrowser>(QStringLiteral("frmMailBrowser"), archivePath));
}

} // namespace stowline
