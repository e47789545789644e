#include "scheduler/frmSchedule1.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "scheduler/frmSchedule2.h"
#include "ui/Windows.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace stowline {

namespace {
constexpr int DefaultPosition = 2; // every day
} // namespace

frmSchedule1::frmSchedule1(QWidget* parent)
    : ScheduleSliderPage(QStringLiteral("frmSchedule"), QStringLiteral("sldSchedule"), parent) {
    slider().setValue(DefaultPosition);
    connect(&nextButton(), &QPushButton::clicked, this, &frmSchedule1::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmSchedule1::cmdBack_Click);
}

void frmSchedule1::Form_Load() {
    TRAP_BEGIN("frmSchedule1:Form_Load")
        STEP(1) title().setText(Str(txtWizardTitle));
        STEP(2) setTexts(txtSchedulerCreateBackup, txtEverytime);
        STEP(3) setCaption(backButton(), Str(txtSchedulerBack));
        STEP(4) setCaption(nextButton(), Str(txtSchedulerNext));
        STEP(5) loadPosition(QStringLiteral("Schedule"));
    TRAP_END
}

void frmSchedule1::cmdNext_Click() {
    TRAP_BEGIN("frmSchedule1:cmdNext_Click")
        STEP(1) ShowScheduleNext(*this, forms::get<frmSchedule2>(QStringLiteral("frmSchedule2")));
    TRAP_END
}

void frmSchedule1::cmdBack_Click() {
    TRAP_BEGIN("frmSchedule1:cmdBack_Click")
        STEP(1) EndScheduleWizard();
    TRAP_END
}

} // namespace stowline
