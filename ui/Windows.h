#pragma once

#include <QString>
#include <QWidget>
#include <utility>

namespace stowline {

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

// Unloads every wizard, progress and options window.
void UnloadFlowWindows();
void frmMain_Disabled();
// Re-enables the hub and unloads every wizard, progress and options window.
void frmMain_Enabled();
// Unloads every window but the crash window.
void frms_Unload();

} // namespace stowline
