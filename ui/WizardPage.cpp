#include "ui/WizardPage.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "ui/Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace stowline {

WizardPage::WizardPage(const QString& frameName, QWidget* parent)
    : QWidget(parent), m_lblTitle(new QLabel(this)), m_frame(new QGroupBox(this)),
      m_frameLayout(new QVBoxLayout), m_cmdBack(new QPushButton(this)), m_cmdNext(new QPushButton(this)) {
    setWindowTitle(QStringLiteral(" "));
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setTextFormat(Qt::PlainText);
    m_frame->setObjectName(frameName);
    m_cmdBack->setObjectName(QStringLiteral("cmdBack"));
    m_cmdNext->setObjectName(QStringLiteral("cmdNext"));
    m_cmdNext->setDefault(true);

    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_frame->setLayout(m_frameLayout);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdBack);
    buttons->addWidget(m_cmdNext);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTitle);
    layout->addWidget(m_frame, 1);
    layout->addLayout(buttons);
    setMinimumSize(460, 300);
}

std::array<QCheckBox*, 3> WizardPage::addItemBoxes() {
    std::array<QCheckBox*, 3> boxes{};
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = new QCheckBox(m_frame);
        boxes[i]->setObjectName(QStringLiteral("chk") + QString::number(i));
        boxes[i]->setChecked(true);
        m_frameLayout->addWidget(boxes[i]);
    }
    m_frameLayout->addStretch();
    setTabOrder(boxes[0], boxes[1]);
    setTabOrder(boxes[1], boxes[2]);
    setTabOrder(boxes[2], m_cmdBack);
    setTabOrder(m_cmdBack, m_cmdNext);
    return boxes;
}

bool WizardPage::boxChosen(const QCheckBox* box) const { return box->isEnabledTo(this) && box->isChecked(); }

bool WizardPage::anyBoxEnabled(const std::array<QCheckBox*, 3>& boxes) const {
    for (const QCheckBox* box : boxes)
        if (box->isEnabledTo(this))
            return true;
    return false;
}

void WizardPage::setCaption(QPushButton& button, const QString& caption) {
    button.setText(caption);
    button.setAccessibleName(plainCaption(caption));
}

void WizardPage::closedByUser() { frmMain_Enabled(); }

void WizardPage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void WizardPage::closeEvent(QCloseEvent* event) {
    // The program's own unloads only hide windows, so a close is always the user's.
    closedByUser();
    QWidget::closeEvent(event);
}

namespace {

// The wizard page being left for another: the active window; without a window manager to say which
// is active, the one page on screen. A page opened from the hub follows none.
const WizardPage* pageBeingLeft(const QWidget& next) {
    if (const QWidget* active = QApplication::activeWindow()) {
        const auto* page = qobject_cast<const WizardPage*>(active);
        return page && page != &next && page->isVisible() ? page : nullptr;
    }
    const WizardPage* shown = nullptr;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        const auto* other = qobject_cast<const WizardPage*>(window);
        if (!other || other == &next || !other->isVisible())
            continue;
        if (shown)
            return nullptr; // two flows open: none is the obvious predecessor
        shown = other;
    }
    return shown;
}

} // namespace

void ShowPage(QWidget& page) {
    if (forms::find(page.objectName()) != &page)
        return;
    // The next page of a wizard takes the place and size of the page it follows: the wizard stays put.
    // The client geometry, not the frame's, so that a frame not drawn yet cannot shift it.
    const WizardPage* leaving = qobject_cast<WizardPage*>(&page) ? pageBeingLeft(page) : nullptr;
    QWidget* hub = forms::find(QStringLiteral("frmMain"));
    if (leaving) {
        page.setGeometry(
            QRect(leaving->geometry().topLeft(), leaving->size().expandedTo(page.minimumSizeHint())));
    } else if (hub && hub->isVisible() && !page.testAttribute(Qt::WA_Moved)) {
        // A window not placed yet opens centred over the hub, like a dialog over its owner.
        page.adjustSize();
        // adjustSize keeps a window within 2/3 of the screen; a window of its own that asks for more
        // (the archive browser) gets it, as far as the screen goes. A wizard page grows with its text.
        if (!qobject_cast<WizardPage*>(&page))
            page.resize(page.size().expandedTo(page.sizeHint()));
        page.move(hub->frameGeometry().center() - page.rect().center());
    }
    // A page without a title of its own is named by its heading, for the task bar and switchers.
    auto* heading = page.findChild<QLabel*>(QStringLiteral("lblTitle"), Qt::FindDirectChildrenOnly);
    if (page.windowTitle().trimmed().isEmpty() && heading && !heading->text().isEmpty())
        page.setWindowTitle(heading->text());
    KeepOnScreen(page);
    page.show();
    page.raise();
    page.activateWindow();
}

void BackToPreviousPage(QWidget* previousPage, const QString& formName) {
    if (previousPage) {
        ShowPage(*previousPage);
        forms::unload(formName);
    } else {
        frmMain_Enabled();
    }
}

namespace {

// The window manager's frame around a window; before a window is framed, that of one that is.
QSize frameMargins(const QWidget& window) {
    const QSize own = window.frameGeometry().size() - window.size();
    if (!own.isEmpty())
        return own;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        const QSize theirs = other->frameGeometry().size() - other->size();
        if (other->isVisible() && !theirs.isEmpty())
            return theirs;
    }
    return {0, 0};
}

} // namespace

void KeepOnScreen(QWidget& window) {
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize margins = frameMargins(window);
    const QSize room = area.size() - margins;
    const QSize size = window.size().boundedTo(room).expandedTo(window.minimumSize().boundedTo(room));
    if (size != window.size())
        window.resize(size);
    const QSize outer = size + margins;
    const QPoint at = window.frameGeometry().topLeft();
    const int x = std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
    const int y = std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
    if (QPoint(x, y) != at)
        window.move(x, y);
}

void OpenOrSayWhere(const QString& address, const QString& shownAddress) {
    if (platform::shell().open(address))
        return;
    platform::dialogs().messageBox(Str(txtNoProgramFor) + QStringLiteral("\r\r") +
                                       (shownAddress.isEmpty() ? address : shownAddress),
                                   platform::MsgButtons::OK, platform::MsgIcon::Information, Str(101));
}

QString plainCaption(const QString& caption) {
    QString plain = caption;
    plain.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    plain.remove(u'&');
    plain.replace(u'\x01', u'&');
    return plain;
}

} // namespace stowline
