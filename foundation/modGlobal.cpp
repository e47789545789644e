#include "foundation/modGlobal.h"

#include "foundation/RegEdit.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>

namespace stowline {

qint16 CompressionLevelSetting = 1;
qint16 LaunchOESetting = 0;
qint16 RememberLocationsSetting = 0;
qint16 SchedulerDisableSetting = 0;
bool CancelFlag = false;
QString ErrProcedure;
qint16 ErrLine = 0;
int ErrNumber = 0;
QString ErrDescription;

namespace {

constexpr int txtProduct = 101;

QHash<QString, QPointer<QWidget>>& loadedForms() {
    static QHash<QString, QPointer<QWidget>> loaded;
    return loaded;
}

class SilentProgress : public ProgressView {
public:
    void setStatus(const QString& text) override { m_status = text; }
    void setFileLine(const QString& text) override { m_file = text; }
    void setBars(int, int) override {}
    void setCloseEnabled(bool) override {}
    QString status() const override { return m_status; }
    QString fileLine() const override { return m_file; }

private:
    QString m_status;
    QString m_file;
};

const QStringList& flowWindows() {
    static const QStringList names{QStringLiteral("frmProgress"),  QStringLiteral("frmAdvancedOptions"),
                                   QStringLiteral("frmBK_Choice"), QStringLiteral("frmBK_Identity"),
                                   QStringLiteral("frmRS_Choice"), QStringLiteral("frmRS_Identity"),
                                   QStringLiteral("frmRS_IEF"),    QStringLiteral("frmSchedule1"),
                                   QStringLiteral("frmSchedule2"), QStringLiteral("frmSchedule3"),
                                   QStringLiteral("frmInterface")};
    return names;
}

} // namespace

QString AppTitle() {
    return Str(txtProduct) + u' ' + QString::number(VersionMajor) + u'.' + QString::number(VersionMinor);
}

QString SettingsKey() {
    return QStringLiteral("SOFTWARE\\Velmora\\Stowline\\") + QString::number(VersionMajor) + u'.' +
           QString::number(VersionMinor);
}

QString VendorWebHost() { return QStringLiteral(STOWLINE_WEB_HOST); }
QString SupportMailAddress() { return QStringLiteral(STOWLINE_SUPPORT_MAIL); }
QString BugMailAddress() { return QStringLiteral(STOWLINE_BUG_MAIL); }

void DoEvents() { QCoreApplication::processEvents(); }

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

void frmMain_Disabled() {
    if (QWidget* hub = forms::find(QStringLiteral("frmMain")))
        hub->setEnabled(false);
}

void frmMain_Enabled() {
    if (QWidget* hub = forms::find(QStringLiteral("frmMain")))
        hub->setEnabled(true);
    for (const QString& name : flowWindows())
        forms::unload(name);
}

void frms_Unload() {
    forms::unload(QStringLiteral("frmMain"));
    for (const QString& name : flowWindows())
        forms::unload(name);
}

void Launch_OE() {
    TRAP_BEGIN("modGlobal:Launch_OE")
        STEP(1) RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_LOCAL_MACHINE;
        STEP(3) reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail");
        STEP(4) reg.ValueType = 1;
        QString client;
        STEP(5) if (reg.Exists(1)) {
            STEP(6) reg.ValueName = QString();
            STEP(7) if (reg.Exists(0)) {
                STEP(8) reg.ReadValue();
                STEP(9) client = reg.Value.toString();
            }
        }
        STEP(10) if (!client.isEmpty()) {
            STEP(11)
            reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail\\") + client +
                          QStringLiteral("\\Shell\\Open\\Command");
            STEP(12) reg.ValueName = QString();
            STEP(13) if (reg.Exists(1) && reg.Exists(0)) {
                STEP(14) reg.ReadValue();
                STEP(15) StartDetached(reg.Value.toString());
            }
        }
        STEP(16) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(17) DoEvents();
    TRAP_END
}

ProgressView& progress() {
    static SilentProgress silent;
    if (auto* view = dynamic_cast<ProgressView*>(forms::find(QStringLiteral("frmProgress"))))
        return *view;
    return silent;
}

} // namespace stowline
