#include "scheduler/ScheduleSliderPage.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "scheduler/modScheduleRules.h"
#include "ui/Windows.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace stowline {

ScheduleSliderPage::ScheduleSliderPage(const ScheduleSliderSetup& setup, QWidget* parent)
    : WizardPage(QString::fromLatin1(setup.frameName), parent), m_setup(setup),
      m_slider(new QSlider(Qt::Vertical, &frame())) {
    m_slider->setObjectName(QString::fromLatin1(setup.sliderName));
    m_slider->setRange(FirstPosition, LastPosition);
    m_slider->setPageStep(1);
    m_slider->setTickInterval(1);
    m_slider->setTickPosition(QSlider::TicksLeft);
    // Position 1 at the top, and the arrow keys move the handle the way they point.
    m_slider->setInvertedAppearance(true);
    m_slider->setInvertedControls(true);

    auto* grid = new QGridLayout;
    grid->addWidget(m_slider, 0, 0, LastPosition, 1);
    for (int i = FirstPosition; i <= LastPosition; ++i) {
        auto* label = new QLabel(&frame());
        label->setTextFormat(Qt::PlainText);
        label->setObjectName(QStringLiteral("lbl") + QString::number(i));
        grid->addWidget(label, i - 1, 1);
        m_labels << label;
    }
    grid->setColumnStretch(1, 1);
    frameLayout().addLayout(grid);
    setTabOrder(m_slider, &backButton());
    setTabOrder(&backButton(), &nextButton());
    m_slider->setFocus();
    connect(m_slider, &QSlider::valueChanged, this, &ScheduleSliderPage::describePosition);
    m_slider->setValue(setup.defaultPosition);
    connect(&nextButton(), &QPushButton::clicked, this, &ScheduleSliderPage::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &ScheduleSliderPage::cmdBack_Click);
}

QByteArray ScheduleSliderPage::where(const char* procedure) const {
    return QByteArray(m_setup.pageName) + ':' + procedure;
}

void ScheduleSliderPage::Form_Load() {
    const QByteArray location = where("Form_Load");
    TRAP_BEGIN(location.constData())
        STEP(1) title().setText(Str(txtWizardTitle));
        STEP(2) setTexts(m_setup.frameText, m_setup.firstLabelText);
        STEP(3) setCaption(backButton(), Str(txtSchedulerBack));
        STEP(4) setCaption(nextButton(), Str(txtSchedulerNext));
        STEP(5) loadPosition(QString::fromLatin1(m_setup.settingName));
    TRAP_END
}

void ScheduleSliderPage::cmdNext_Click() {
    const QByteArray location = where("cmdNext_Click");
    TRAP_BEGIN(location.constData())
        STEP(1) ShowScheduleNext(*this, m_setup.nextPage());
    TRAP_END
}

void ScheduleSliderPage::cmdBack_Click() {
    const QByteArray location = where("cmdBack_Click");
    const QString previous = QString::fromLatin1(m_setup.previousPage);
    TRAP_BEGIN(location.constData())
        STEP(1)
        previous.isEmpty() ? EndScheduleWizard()
                           : ShowScheduleBack(*this, QString::fromLatin1(m_setup.pageName), previous);
    TRAP_END
}

int ScheduleSliderPage::position() const { return m_slider->value(); }

void ScheduleSliderPage::setTexts(int frameText, int firstLabelText) {
    frame().setTitle(Str(frameText));
    m_slider->setAccessibleName(Str(frameText));
    for (int i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setText(Str(firstLabelText + i));
    describePosition(m_slider->value());
}

void ScheduleSliderPage::loadPosition(const QString& settingName) {
    TRAP_BEGIN("ScheduleSliderPage:loadPosition")
        STEP(1) const std::optional<QString> stored = ReadSetting(regAccess(), settingName);
        STEP(2) if (!stored) return;
        STEP(3) const std::optional<qint16> code = StoredNumber(*stored);
        STEP(4) if (code && *code >= FirstPosition && *code <= LastPosition) m_slider->setValue(*code);
    TRAP_END
}

void ScheduleSliderPage::closedByUser() { EndScheduleWizard(); }

void ScheduleSliderPage::closeEvent(QCloseEvent* event) {
    closedByUser();
    QWidget::closeEvent(event);
}

void ScheduleSliderPage::describePosition(int position) {
    const qsizetype index = position - FirstPosition;
    if (index >= 0 && index < m_labels.size())
        m_slider->setAccessibleDescription(m_labels[index]->text());
}

void EndScheduleWizard() {
    for (const char* name : {"frmSchedule1", "frmSchedule2", "frmSchedule3"})
        forms::unload(QString::fromLatin1(name));
}

void ShowScheduleNext(QWidget& current, QWidget& next) {
    next.move(current.pos());
    ShowPage(next);
    current.hide();
}

void ShowScheduleBack(QWidget& current, const QString& currentName, const QString& previousName) {
    if (QWidget* previous = forms::find(previousName)) {
        previous->move(current.pos());
        ShowPage(*previous);
    }
    forms::unload(currentName);
}

} // namespace stowline
