#pragma once

#include "scheduler/ScheduleSliderPage.h"

namespace stowline {

// Schedule Backup Wizard, page 1: how often a new backup is made (sldSchedule, "Schedule").
class frmSchedule1 : public ScheduleSliderPage {
    Q_OBJECT
public:
    explicit frmSchedule1(QWidget* parent = nullptr);
};

} // namespace stowline
