#pragma once

#include <QString>
#include <QWidget>
#include <utility>

namespace stowline {

// ---- Program-wide state -------------------------------------------------------------------------
extern qint16 CompressionLevelSetting;
extern qint16 LaunchOESetting;
extern qint16 RememberLocationsSetting;
extern qint16 SchedulerDisableSetting;
extern bool CancelFlag; // set by the progress window's Cancel
// The error record of the last trapped failure. ErrNumber is 32-bit so that system error codes
// are shown whole.
extern QString ErrProcedure;
extern qint16 ErrLine;
extern int ErrNumber;
extern QString ErrDescription;

// ---- Versions and titles -------------------------------------------------------------------------
constexpr int VersionMajor = STOWLINE_VERSION_MAJOR;
constexpr int VersionMinor = STOWLINE_VERSION_MINOR;
constexpr int VersionRevision = STOWLINE_VERSION_REVISION;
QString AppTitle();      // "Stowline 1.0"
QString SettingsKey();   // "SOFTWARE\Velmora\Stowline\1.0"
QString VendorWebHost(); // build option, no trailing '/'
QString SupportMailAddress();
QString BugMailAddress();

// Lets pending window messages run (the classic DoEvents).
void DoEvents();

// ---- Windows --------------------------------------------------------------------------------------
// Every window is one program-wide instance, created on first use and dropped when unloaded.
// A window's public Form_Load() runs once it is registered, so a load that already ends the flow
// (and unloads the window) leaves no stray instance behind.
namespace forms {
QWidget* find(const QString& name);
void add(const QString& name, QWidget* window);
void unload(const QString& name);
// A window not loaded yet is built from args.
template <class Form, class... Args> Form& get(const QString& name, Args&&... args) {
    static_assert(
        requires(Form & form) { form.Form_Load(); },
        "a window needs a public Form_Load(), not called from its constructor");
    if (QWidget* existing = find(name))
        return *static_cast<Form*>(existing);
    auto* created = new Form(std::forward<Args>(args)...);
    add(name, created);
    created->Form_Load();
    return *created;
}
} // namespace forms

void frmMain_Disabled();
// Re-enables the hub and unloads every wizard, progress, options and hidden host window.
void frmMain_Enabled();
// Unloads every window but the crash window.
void frms_Unload();
// Starts the default mail program recorded under HKLM\SOFTWARE\Clients\Mail.
void Launch_OE();

// ---- The progress window as the runs see it -----------------------------------------------------
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void setStatus(const QString& text) = 0;   // lblComment1
    virtual void setFileLine(const QString& text) = 0; // lblComment2
    virtual void setBars(int upper, int lower) = 0;
    virtual void setCloseEnabled(bool enabled) = 0;
    virtual QString status() const = 0;
    virtual QString fileLine() const = 0;
};
// The loaded progress window ("frmProgress"); while none is loaded, a view that shows nothing.
ProgressView& progress();

} // namespace stowline
