#pragma once

#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace stowline {

// The frame every wizard page and the options dialog share: a title label (lblTitle), one framed
// group whose layout the page fills, and Back/Next buttons (cmdBack, cmdNext) at the bottom right.
// Closing the window from its title bar ends the flow, as the pages' own way back does.
class WizardPage : public QWidget {
    Q_OBJECT
public:
    WizardPage(const QString& frameName, QWidget* parent = nullptr);

protected:
    QLabel& title() { return *m_lblTitle; }
    QGroupBox& frame() { return *m_frame; }
    QVBoxLayout& frameLayout() { return *m_frameLayout; }
    QPushButton& backButton() { return *m_cmdBack; }
    QPushButton& nextButton() { return *m_cmdNext; }
    // The three item boxes chk0..chk2 (identities, favorites, address book), checked, in the frame
    // and in Tab order before Back and Next.
    std::array<QCheckBox*, 3> addItemBoxes();
    // An item counts as chosen only when its box is enabled and checked. Enabled is judged within
    // the page, which may sit under a disabled hub.
    bool boxChosen(const QCheckBox* box) const;
    bool anyBoxEnabled(const std::array<QCheckBox*, 3>& boxes) const;
    // Sets a button's caption ("&Next >>") and its accessible name (the caption without '&').
    static void setCaption(QPushButton& button, const QString& caption);
    // What a title-bar close does; by default the same as ending the flow.
    virtual void closedByUser();
    void closeEvent(QCloseEvent* event) override;
    // Escape does what a title-bar close does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_lblTitle;
    QGroupBox* m_frame;
    QVBoxLayout* m_frameLayout;
    QPushButton* m_cmdBack;
    QPushButton* m_cmdNext;
};

// Shows a window modeless above the hub and lets it paint; a window whose load already ended its
// flow (and unloaded it) stays hidden.
void ShowPage(QWidget& page);
// Cancel on a window opened from a wizard page goes back to that page and unloads the window; opened
// from the hub, it goes back to the hub.
void BackToPreviousPage(QWidget* previousPage, const QString& formName);
// Moves a window so that it lies wholly within its screen's available area, shrinking it to fit.
void KeepOnScreen(QWidget& window);
// Hands the address to the desktop; when no program takes it, a message shows the address.
// shownAddress, when given, is what the message names instead (a folder's path rather than its URL).
void OpenOrSayWhere(const QString& address, const QString& shownAddress = {});
// Caption without the access-key marker, for accessible names.
QString plainCaption(const QString& caption);

} // namespace stowline
