#pragma once

#include <QColor>
#include <QPushButton>

namespace stowline {

// A hub entry: reads like a web link, takes focus with Tab and starts with Enter or Space.
class LinkEntry : public QPushButton {
    Q_OBJECT
public:
    explicit LinkEntry(const QString& objectName, QWidget* parent = nullptr);
    void setEntryText(const QString& text);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyStyle();
    QColor m_color = QColor(0, 0, 255);
};

} // namespace stowline
