#pragma once

#include "ui/WizardPage.h"

#include <QList>

class QLabel;
class QSlider;

namespace stowline {

// What makes one slider page of the schedule wizard: its names, texts and stored setting, and where
// its buttons lead.
struct ScheduleSliderSetup {
    const char* pageName;  // the window's name, also where its failures are reported
    const char* frameName; // the frame around the slider
    const char* sliderName;
    const char* settingName; // the stored code
    int frameText;
    int firstLabelText; // the five labels' texts follow it in the table
    int defaultPosition;
    QWidget& (*nextPage)();
    const char* previousPage; // nullptr: Back ends the wizard
};

// A schedule wizard page whose choice is one of five slider positions, each with its label beside
// it (lbl1 .. lbl5, top to bottom). The position is the stored code itself.
class ScheduleSliderPage : public WizardPage {
    Q_OBJECT
public:
    static constexpr int FirstPosition = 1;
    static constexpr int LastPosition = 5;

    explicit ScheduleSliderPage(const ScheduleSliderSetup& setup, QWidget* parent = nullptr);
    void Form_Load();
    int position() const;
    QSlider& slider() { return *m_slider; }

private slots:
    void cmdNext_Click();
    void cmdBack_Click();

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
    QByteArray where(const char* procedure) const;

    ScheduleSliderSetup m_setup;
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
