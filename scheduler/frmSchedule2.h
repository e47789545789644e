#pragma once

#include "scheduler/ScheduleSliderPage.h"

namespace stowline {

// Schedule Backup Wizard, page 2: which older archives are deleted (sldDelete, "Delete").
class frmSchedule2 : public ScheduleSliderPage {
    Q_OBJECT
public:
    explicit frmSchedule2(QWidget* parent = nullptr);
};

} // namespace stowline
