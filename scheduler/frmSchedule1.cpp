#include "scheduler/frmSchedule1.h"

#include "foundation/StringIds.h"
#include "scheduler/frmSchedule2.h"
#include "ui/Windows.h"

namespace stowline {

namespace {
QWidget& deletePage() { return forms::get<frmSchedule2>(QStringLiteral("frmSchedule2")); }
} // namespace

frmSchedule1::frmSchedule1(QWidget* parent)
    : ScheduleSliderPage({.pageName = "frmSchedule1",
                          .frameName = "frmSchedule",
                          .sliderName = "sldSchedule",
                          .settingName = "Schedule",
                          .frameText = txtSchedulerCreateBackup,
                          .firstLabelText = txtEverytime,
                          .defaultPosition = 2, // every day
                          .nextPage = deletePage,
                          .previousPage = nullptr},
                         parent) {}

} // namespace stowline
