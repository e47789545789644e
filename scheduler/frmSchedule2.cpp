#include "scheduler/frmSchedule2.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "scheduler/frmSchedule3.h"
#include "ui/Windows.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace stowline {

namespace {
constexpr int DefaultPosition = 3; // three days or older
} // namespace

frmSchedule2::frmSchedule2(QWidget* parent)
    : ScheduleSliderPage(QStringLiteral("frmDelete"), QStringLiteral("sldDelete"), parent) {
    slider().setValue(DefaultPosition);
    connect(&nextButton(), &QPushButton::clicked, this, &frmSchedule2::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmSchedule2::cmdBack_Click);
}

void frmSchedule2::Form_Load() {
    TRAP_BEGIN("frmSchedule2:Form_Load")
        STEP(1) title().setText(Str(txtWizardTitle));
        STEP(2) setTexts(txtDeleteBackups, txtDoNotDelete);
        STEP(3) setCaption(backButton(), Str(txtSchedulerBack));
        STEP(4) setCaption(nextButton(), Str(txtSchedulerNext));
        STEP(5) loadPosition(QStringLiteral("Delete"));
    TRAP_END
}

void frmSchedule2::cmdNext_Click() {
    TRAP_BEGIN("frmSchedule2:cmdNext_Click")
        STEP(1) ShowScheduleNext(*this, forms::get<frmSchedule3>(QStringLiteral("frmSchedule3")));
    TRAP_END
}

void frmSchedule2::cmdBack_Click() {
    TRAP_BEGIN("frmSchedule2:cmdBack_Click")
        STEP(1) ShowScheduleBack(*this, QStringLiteral("frmSchedule2"), QStringLiteral("frmSchedule1"));
    TRAP_END
}

} // namespace stowline
