#include "ui/frmMailBrowser.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "ui/MessagePreview.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"
#include "ui/modFont.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTextCursor>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace stowline {

namespace {

enum Column { DateColumn, FromColumn, SubjectColumn, SizeColumn, ColumnCount };
constexpr int SortRole = Qt::UserRole;
constexpr int ListedRole = Qt::UserRole + 1; // position in the listing, on the date cell
constexpr int IdentityRole = Qt::UserRole;   // on a folder tree line
constexpr int FolderRole = Qt::UserRole + 1; // -1 on an identity's own line
// A preview needs the text part, which comes first; a multi-megabyte attachment is not read for it.
constexpr qint64 PreviewBytes = 4 * 1024 * 1024;

// The search matches the sender or the subject.
class MessageFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const QRegularExpression& pattern = filterRegularExpression();
        for (const int column : {FromColumn, SubjectColumn}) {
            if (pattern.match(sourceModel()->index(row, column, parent).data().toString()).hasMatch())
                return true;
        }
        return false;
    }
};

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

} // namespace

frmMailBrowser::frmMailBrowser(QString archivePath, QWidget* parent)
    : QWidget(parent), m_archivePath(std::move(archivePath)), m_lblTitle(new QLabel(this)),
      m_lblArchive(new QLabel(this)), m_lblSearch(new QLabel(this)), m_txtSearch(new QLineEdit(this)),
      m_tvwFolders(new QTreeWidget(this)), m_lstMessages(new QTreeView(this)),
      m_messages(new QStandardItemModel(0, ColumnCount, this)), m_shown(new MessageFilter(this)),
      m_txtPreview(new QPlainTextEdit(this)), m_lblStatus(new QLabel(this)),
      m_cmdClose(new QPushButton(this)), m_reader(*this) {
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
    for (QLabel* label : {m_lblTitle, m_lblArchive, m_lblSearch, m_lblStatus})
        label->setTextFormat(Qt::PlainText);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));

    m_shown->setSourceModel(m_messages);
    m_shown->setSortRole(SortRole);
    m_shown->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_shown->setSortLocaleAware(true);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
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

    auto* right = new QSplitter(Qt::Vertical);
    right->setObjectName(QStringLiteral("splMessages"));
    right->addWidget(m_lstMessages);
    right->addWidget(m_txtPreview);
    right->setStretchFactor(0, 2);
    right->setStretchFactor(1, 3);
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
    setTabOrder(m_txtPreview, m_cmdClose);
    setMinimumSize(640, 420);
}

void frmMailBrowser::setCaptions() {
    setWindowTitle(Str(txtBrowserTitle));
    m_lblTitle->setText(Str(txtBrowserTitle));
    nameByText(*m_lblTitle, Str(txtBrowserTitle));
    const QString archiveLine = m_archivePath + QStringLiteral("  \u00B7  ") + Str(txtReadOnly);
    m_lblArchive->setText(archiveLine);
    nameByText(*m_lblArchive, archiveLine);
    m_lblSearch->setText(Str(txtSearch));
    nameByText(*m_lblSearch, Str(txtSearch));
    nameByText(*m_txtSearch, Str(txtSearch));
    nameByText(*m_tvwFolders, Str(txtFoldersHeader));
    nameByText(*m_lstMessages, Str(txtMessages));
    nameByText(*m_txtPreview, Str(txtMailwindowsMessage));
    m_cmdClose->setText(Str(txtClose));
    nameByText(*m_cmdClose, Str(txtClose));
    m_messages->setHorizontalHeaderLabels(
        {Str(txtDate), Str(txtFrom), Str(txtSubject), Str(txtMailwindowsSize)});
    QHeaderView* header = m_lstMessages->header();
    header->setSectionResizeMode(SubjectColumn, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    header->resizeSection(DateColumn,
                          fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 24);
    header->resizeSection(FromColumn, 220);
    header->resizeSection(SizeColumn, fontMetrics().horizontalAdvance(QStringLiteral("000.0 KiB")) + 24);
    m_lstMessages->sortByColumn(DateColumn, Qt::DescendingOrder);
}

void frmMailBrowser::Form_Load() {
    TRAP_BEGIN("frmMailBrowser:Form_Load")
        STEP(1) setCaptions();
        STEP(2) setStatus(Str(txtReading));
        STEP(3)
        m_reader.open(m_archivePath,
                      [this](const QList<MailTree>& trees, const QString& error) { showTree(trees, error); });
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
    emit listShown();
}

void frmMailBrowser::updateCount() {
    const int shown = m_shown->rowCount();
    const QString count = shown == m_messages->rowCount()
                              ? QString::number(shown)
                              : QString::number(shown) + u'/' + QString::number(m_messages->rowCount());
    setStatus(count + u' ' + Str(txtMessageCount));
}

void frmMailBrowser::lstMessages_CurrentChanged() {
    const QModelIndex current = m_lstMessages->currentIndex();
    m_txtPreview->clear();
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
    QString text = previewText(PreviewMessage(raw));
    if (!readable)
        text = Str(txtMessageUnreadable) + u' ' + detail + QStringLiteral("\n\n") + text;
    m_txtPreview->setPlainText(text);
    m_txtPreview->moveCursor(QTextCursor::Start);
    emit previewShown();
}

void frmMailBrowser::txtSearch_Changed(const QString& text) {
    m_shown->setFilterFixedString(text);
    updateCount();
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
