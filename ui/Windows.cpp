#include "ui/Windows.h"

#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "ui/frmError.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QThread>

namespace stowline {

namespace {

QHash<QString, QPointer<QWidget>>& loadedForms() {
    static QHash<QString, QPointer<QWidget>> loaded;
    return loaded;
}

const QStringList& flowWindows() {
    static const QStringList names{QStringLiteral("frmProgress"),  QStringLiteral("frmAdvancedOptions"),
                                   QStringLiteral("frmBK_Choice"), QStringLiteral("frmBK_Identity"),
                                   QStringLiteral("frmRS_Choice"), QStringLiteral("frmRS_Identity"),
                                   QStringLiteral("frmRS_IEF"),    QStringLiteral("frmRS_Plan"),
                                   QStringLiteral("frmSchedule1"), QStringLiteral("frmSchedule2"),
                                   QStringLiteral("frmSchedule3"), QStringLiteral("frmExportMail"),
                                   QStringLiteral("frmUploadMail")};
    return names;
}

// Runs on the thread of the windows; a run on a worker waits there until it is done.
template <class Call> void onWindowThread(Call call) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() == application->thread())
        call();
    else
        QMetaObject::invokeMethod(application, call, Qt::BlockingQueuedConnection);
}

class CrashWindow : public FailureReporter {
public:
    void showFailure() override {
        onWindowThread([] {
            frmError::showReport();
            frms_Unload();
        });
    }
    bool failureShown() const override {
        bool shown = false;
        onWindowThread([&] { shown = forms::find(QStringLiteral("frmError")) != nullptr; });
        return shown;
    }
};

CrashWindow crashWindow;
// Every program that has windows reports its failures in the crash window.
const bool crashWindowInstalled = (SetFailureReporter(&crashWindow), true);

} // namespace

namespace forms {

QWidget* find(const QString& name) {
    auto it = loadedForms().find(name);
    if (it == loadedForms().end())
        return nullptr;
    if (it->isNull()) {
        loadedForms().erase(it);
        return nullptr;
    }
    return it->data();
}

void add(const QString& name, QWidget* window) {
    window->setObjectName(name);
    loadedForms().insert(name, window);
}

void unload(const QString& name) {
    QWidget* window = find(name);
    if (!window)
        return;
    loadedForms().remove(name);
    window->hide();
    // Deferred: the window being unloaded may be the one whose handler is running.
    window->deleteLater();
}

} // namespace forms

void UnloadFlowWindows() {
    for (const QString& name : flowWindows())
        forms::unload(name);
    // A flow ends here: the registry cursors start afresh with the next one.
    resetRegistryInstances();
}

void frmMain_Disabled() {
    if (QWidget* hub = forms::find(QStringLiteral("frmMain")))
        hub->setEnabled(false);
}

void frmMain_Enabled() {
    if (QWidget* hub = forms::find(QStringLiteral("frmMain")))
        hub->setEnabled(true);
    UnloadFlowWindows();
}

void frms_Unload() {
    forms::unload(QStringLiteral("frmMain"));
    UnloadFlowWindows();
}

} // namespace stowline
