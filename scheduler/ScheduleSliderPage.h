#pragma once

#include "ui/WizardPage.h"

#include <QList>

class QLabel;
class QSlider;

namespace stowline {

// A schedule wizard page whose choice is one of five slider positions, each with its label beside
// it (lbl1 .. lbl5, top to bottom). The position is the stored code itself.
class ScheduleSliderPage : public WizardPage {
    Q_OBJECT
public:
    static constexpr int FirstPosition = 1;
    static constexpr int LastPosition = 5;

    ScheduleSliderPage(const QString& frameName, const QString& sliderName, QWidget* parent = nullptr);
    int position() const;
    QSlider& slider() { return *m_slider; }

protected:
    void setTexts(int frameText, int firstLabelText);
    // The stored code when it is one of the five positions; otherwise the slider keeps where it is.
    void loadPosition(const QString& settingName);
    void closedByUser() override;
    // Only the window system closes a page (the program's own unloads hide it), so every close is the
    // user's.
    void closeEvent(QCloseEvent* event) override;

private:
    void describePosition(int position);

    QSlider* m_slider;
    QList<QLabel*> m_labels;
};

// The wizard's ways out: the schedule pages close and the hub, which stayed enabled, is back.
void EndScheduleWizard();
// Shows the next page where the current one stands and hides the current one.
void ShowScheduleNext(QWidget& current, QWidget& next);
// Makes the previous page visible where the current one stands and unloads the current one.
void ShowScheduleBack(QWidget& current, const QString& currentName, const QString& previousName);

} // namespace stowline
