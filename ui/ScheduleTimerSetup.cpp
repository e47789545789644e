#include "ui/ScheduleTimerSetup.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSettings.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "platform/ScheduleTimer.h"

#include <optional>

namespace stowline {

namespace {

std::optional<int> storedScheduleCode() {
    const std::optional<QString> code = ReadSetting(regAccess(), QStringLiteral("Schedule"));
    if (!code)
        return std::nullopt;
    bool numeric = false;
    const int value = code->trimmed().toInt(&numeric);
    return numeric ? value : 0;
}

bool schedulerDisabled() {
    return ReadSetting(regAccess(), QStringLiteral("SchedulerDisable")).value_or(QString()).trimmed() == u"1";
}

void installAndTell(int scheduleCode) {
    const platform::TimerMethod method = platform::InstallScheduleTimer(scheduleCode);
    const int text = method == platform::TimerMethod::SystemdUser ? txtTimerSystemd
                     : method == platform::TimerMethod::Crontab   ? txtTimerCrontab
                     : method == platform::TimerMethod::None      ? txtTimerNone
                                                                  : txtTimerPathWithLineBreak;
    platform::dialogs().messageBox(Str(text), platform::MsgButtons::OK,
                                   text == txtTimerNone || text == txtTimerPathWithLineBreak
                                       ? platform::MsgIcon::Exclamation
                                       : platform::MsgIcon::Information,
                                   Str(txtWizardTitle));
}

} // namespace

void SetUpScheduleTimer() {
    const std::optional<int> code = storedScheduleCode();
    if (code && !schedulerDisabled())
        installAndTell(*code);
}

void SwitchScheduleTimer(bool wasDisabled, bool disabled) {
    if (disabled && !wasDisabled)
        platform::DisableScheduleTimer();
    else if (!disabled && wasDisabled)
        if (const std::optional<int> code = storedScheduleCode())
            installAndTell(*code);
}

} // namespace stowline
