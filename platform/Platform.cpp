#include "platform/Platform.h"

#include "platform/LinuxDrives.h"
#include "platform/LinuxProcesses.h"
#include "platform/LinuxShell.h"
#include "platform/LinuxSystem.h"
#include "platform/QtDialogs.h"

#include <memory>

namespace stowline::platform {

namespace {

template <class Service, class Real> class Slot {
public:
    Service& get() {
        if (m_replacement)
            return *m_replacement;
        if (!m_real)
            m_real = std::make_unique<Real>();
        return *m_real;
    }
    void install(Service* replacement) { m_replacement = replacement; }

private:
    std::unique_ptr<Real> m_real;
    Service* m_replacement = nullptr;
};

Slot<Dialogs, QtDialogs> g_dialogs;
Slot<Shell, LinuxShell> g_shell;
Slot<Processes, LinuxProcesses> g_processes;
Slot<Drives, LinuxDrives> g_drives;
Slot<System, LinuxSystem> g_system;

} // namespace

Dialogs& dialogs() { return g_dialogs.get(); }
Shell& shell() { return g_shell.get(); }
Processes& processes() { return g_processes.get(); }
Drives& drives() { return g_drives.get(); }
System& system() { return g_system.get(); }

void install(Dialogs* replacement) { g_dialogs.install(replacement); }
void install(Shell* replacement) { g_shell.install(replacement); }
void install(Processes* replacement) { g_processes.install(replacement); }
void install(Drives* replacement) { g_drives.install(replacement); }
void install(System* replacement) { g_system.install(replacement); }

} // namespace stowline::platform
