#include "startup/LinkEntry.h"

#include <QKeyEvent>

namespace stowline {

LinkEntry::LinkEntry(const QString& objectName, QWidget* parent) : QPushButton(parent) {
    setObjectName(objectName);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    applyStyle();
}

void LinkEntry::setEntryText(const QString& text) {
    setText(text);
    setAccessibleName(text);
}

void LinkEntry::setColor(const QColor& color) {
    m_color = color;
    applyStyle();
}

void LinkEntry::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void LinkEntry::applyStyle() {
    setStyleSheet(QStringLiteral("QPushButton { color: %1; text-align: left; border: 1px solid transparent;"
                                 " padding: 2px 6px; }"
                                 "QPushButton:disabled { color: palette(mid); }"
                                 "QPushButton:hover { text-decoration: underline; }"
                                 "QPushButton:focus { border: 1px dotted palette(highlight); }")
                      .arg(m_color.name()));
}

} // namespace stowline
