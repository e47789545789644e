#include "platform/Platform.h"

#include "platform/LinuxDrives.h"
#include "platform/LinuxProcesses.h"
#include "platform/LinuxShell.h"
#include "platform/LinuxSystem.h"
#include "platform/UnattendedDialogs.h"

#include <QCoreApplication>
#include <QThread>
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
    bool replaced() const { return m_replacement != nullptr; }

private:
    std::unique_ptr<Real> m_real;
    Service* m_replacement = nullptr;
};

Slot<Dialogs, UnattendedDialogs> g_dialogs;
Slot<Shell, LinuxShell> g_shell;
Slot<Processes, LinuxProcesses> g_processes;
Slot<Drives, LinuxDrives> g_drives;
Slot<System, LinuxSystem> g_system;

// Dialogs belong to the thread of the windows: a run on a worker thread asks there and waits for
// the answer, while the windows stay live.
class WindowThreadDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                         const QString& title) override {
        return onWindowThread([&] { return g_dialogs.get().messageBox(text, buttons, icon, title); });
    }
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override {
        return onWindowThread([&] { return g_dialogs.get().inputBox(prompt, title, defaultText); });
    }
    QString saveFile(const FileDialogRequest& request) override {
        return onWindowThread([&] { return g_dialogs.get().saveFile(request); });
    }
    QString openFile(const FileDialogRequest& request) override {
        return onWindowThread([&] { return g_dialogs.get().openFile(request); });
    }
    QString pickFolder(const QString& title) override {
        return onWindowThread([&] { return g_dialogs.get().pickFolder(title); });
    }

private:
    template <class Call> static auto onWindowThread(Call call) -> decltype(call()) {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application || QThread::currentThread() == application->thread())
            return call();
        decltype(call()) answer{};
        QMetaObject::invokeMethod(
            application, [&] { answer = call(); }, Qt::BlockingQueuedConnection);
        return answer;
    }
};

} // namespace

Dialogs& dialogs() {
    static WindowThreadDialogs onWindowThread;
    return onWindowThread;
}
bool runsUnattended() { return !g_dialogs.replaced(); }
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
