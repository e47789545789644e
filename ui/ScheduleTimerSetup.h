#pragma once

namespace stowline {

// Sets the timer that starts the scheduled backup to the stored schedule and tells the user how
// (systemd user timer, crontab line, or neither). Nothing is set while the scheduler is disabled.
void SetUpScheduleTimer();

// Follows the Advanced options' "disable the scheduler" box when it changed.
void SwitchScheduleTimer(bool wasDisabled, bool disabled);

} // namespace stowline
