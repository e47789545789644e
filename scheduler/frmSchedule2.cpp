#include "scheduler/frmSchedule2.h"

#include "foundation/StringIds.h"
#include "scheduler/frmSchedule3.h"
#include "ui/Windows.h"

namespace stowline {

namespace {
QWidget& folderPage() { return forms::get<frmSchedule3>(QStringLiteral("frmSchedule3")); }
} // namespace

frmSchedule2::frmSchedule2(QWidget* parent)
    : ScheduleSliderPage({.pageName = "frmSchedule2",
                          .frameName = "frmDelete",
                          .sliderName = "sldDelete",
                          .settingName = "Delete",
                          .frameText = txtDeleteBackups,
                          .firstLabelText = txtDoNotDelete,
                          .defaultPosition = 3, // three days or older
                          .nextPage = folderPage,
                          .previousPage = "frmSchedule1"},
                         parent) {}

} // namespace stowline
