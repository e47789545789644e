#include "ui/frmAdvancedOptions.h"

#include "archive/ArchivePassphrase.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modFolder.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "platform/Dialogs.h"
#include "ui/ArchiveEncryptionSetup.h"
#include "ui/DialogQuestions.h"
#include "ui/ScheduleTimerSetup.h"
#include "ui/Windows.h"
#include "ui/WizardPage.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace stowline {

namespace {

constexpr std::array<int, frmAdvancedOptions::PositionCount> LevelByPosition{0, 1, 3, 6, 9};
constexpr int DefaultPosition = 2;

// A stored number, or none for a text that is not one (the program never writes such a text).
std::optional<int> storedNumber(const QString& text) {
    bool numeric = false;
    const double number = text.trimmed().toDouble(&numeric);
    if (!numeric || !(number > -32768.5 && number < 32767.5))
        return std::nullopt;
    return ToInt16(text);
}

QString boxState(const QCheckBox& box) { return box.isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }

template <class W> W* named(QWidget* parent, const char* name) {
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

frmAdvancedOptions::frmAdvancedOptions(QWidget* parent)
    : QWidget(parent), m_lbl1(named<QLabel>(this, "lbl1")),
      m_frmSchedule(named<QGroupBox>(this, "frmSchedule")),
      m_sldCompression(named<QSlider>(m_frmSchedule, "sldCompression")),
      m_frmOptions(named<QGroupBox>(this, "frmOptions")), m_chkOE(named<QCheckBox>(m_frmOptions, "chkOE")),
      m_chkLoc(named<QCheckBox>(m_frmOptions, "chkLoc")),
      m_chkScheduler(named<QCheckBox>(m_frmOptions, "chkScheduler")),
      m_chkTemp(named<QCheckBox>(m_frmOptions, "chkTemp")),
      m_frmEncryption(named<QGroupBox>(this, "frmEncryption")),
      m_chkEncrypt(named<QCheckBox>(m_frmEncryption, "chkEncrypt")),
      m_lblKeyFile(named<QLabel>(m_frmEncryption, "lblKeyFile")),
      m_txtKeyFile(named<QLineEdit>(m_frmEncryption, "txtKeyFile")),
      m_cmdKeyFile(named<QPushButton>(m_frmEncryption, "cmdKeyFile")),
      m_cmdPassphrase(named<QPushButton>(m_frmEncryption, "cmdPassphrase")),
      m_cmdOK(named<QPushButton>(this, "cmdOK")) {
    setWindowTitle(QStringLiteral(" "));
    m_lbl1->setTextFormat(Qt::PlainText);
    QFont titleFont = m_lbl1->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_lbl1->setFont(titleFont);

    m_sldCompression->setOrientation(Qt::Vertical);
    m_sldCompression->setRange(1, PositionCount);
    m_sldCompression->setPageStep(1);
    m_sldCompression->setTickInterval(1);
    m_sldCompression->setTickPosition(QSlider::TicksLeft);
    // Position 1 at the top, and the arrow keys move the handle the way they point.
    m_sldCompression->setInvertedAppearance(true);
    m_sldCompression->setInvertedControls(true);
    m_sldCompression->setValue(DefaultPosition);

    auto* sliderGrid = new QGridLayout(m_frmSchedule);
    sliderGrid->addWidget(m_sldCompression, 0, 0, PositionCount, 1);
    for (int i = 0; i < PositionCount; ++i) {
        m_levelLabels[static_cast<size_t>(i)] = new QLabel(m_frmSchedule);
        m_levelLabels[static_cast<size_t>(i)]->setObjectName(QStringLiteral("lbl") + QString::number(i + 2));
        m_levelLabels[static_cast<size_t>(i)]->setTextFormat(Qt::PlainText);
        sliderGrid->addWidget(m_levelLabels[static_cast<size_t>(i)], i, 1);
    }
    sliderGrid->setColumnStretch(1, 1);

    auto* boxes = new QVBoxLayout(m_frmOptions);
    for (QCheckBox* box : {m_chkOE, m_chkLoc, m_chkScheduler, m_chkTemp})
        boxes->addWidget(box);
    boxes->addStretch();

    auto* frames = new QHBoxLayout;
    frames->addWidget(m_frmSchedule);
    frames->addWidget(m_frmOptions, 1);
    auto* encryption = new QGridLayout(m_frmEncryption);
    encryption->addWidget(m_chkEncrypt, 0, 0, 1, 2);
    encryption->addWidget(m_cmdPassphrase, 0, 2);
    encryption->addWidget(m_lblKeyFile, 1, 0, 1, 3);
    encryption->addWidget(m_txtKeyFile, 2, 0, 1, 2);
    encryption->addWidget(m_cmdKeyFile, 2, 2);
    m_lblKeyFile->setBuddy(m_txtKeyFile);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lbl1);
    layout->addLayout(frames, 1);
    layout->addWidget(m_frmEncryption);
    layout->addLayout(buttons);
    m_cmdOK->setDefault(true);

    setTabOrder(m_sldCompression, m_chkOE);
    setTabOrder(m_chkOE, m_chkLoc);
    setTabOrder(m_chkLoc, m_chkScheduler);
    setTabOrder(m_chkScheduler, m_chkTemp);
    setTabOrder(m_chkTemp, m_chkEncrypt);
    setTabOrder(m_chkEncrypt, m_cmdPassphrase);
    setTabOrder(m_cmdPassphrase, m_txtKeyFile);
    setTabOrder(m_txtKeyFile, m_cmdKeyFile);
    setTabOrder(m_cmdKeyFile, m_cmdOK);
    m_sldCompression->setFocus();

    connect(m_chkTemp, &QCheckBox::toggled, this, &frmAdvancedOptions::chkTemp_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmAdvancedOptions::cmdOK_Click);
    connect(m_cmdKeyFile, &QPushButton::clicked, this, &frmAdvancedOptions::cmdKeyFile_Click);
    connect(m_cmdPassphrase, &QPushButton::clicked, this, &frmAdvancedOptions::cmdPassphrase_Click);
    connect(m_sldCompression, &QSlider::valueChanged, this, [this](int position) {
        m_sldCompression->setAccessibleDescription(m_levelLabels[static_cast<size_t>(position - 1)]->text());
    });
}

int frmAdvancedOptions::levelOfPosition(int position) {
    return LevelByPosition[static_cast<size_t>(qBound(1, position, PositionCount) - 1)];
}

int frmAdvancedOptions::positionOfLevel(int level) {
    for (size_t i = 0; i < LevelByPosition.size(); ++i)
        if (LevelByPosition[i] == level)
            return static_cast<int>(i) + 1;
    return 0;
}

void frmAdvancedOptions::setTexts() {
    m_lbl1->setText(Str(txtTitle));
    setWindowTitle(Str(txtTitle));
    m_frmSchedule->setTitle(Str(txtCompressionFrame));
    m_sldCompression->setAccessibleName(plainCaption(Str(txtCompressionFrame)));
    for (int i = 0; i < PositionCount; ++i)
        m_levelLabels[static_cast<size_t>(i)]->setText(Str(txtNoCompression + i));
    m_sldCompression->setAccessibleDescription(
        m_levelLabels[static_cast<size_t>(m_sldCompression->value() - 1)]->text());
    m_frmOptions->setTitle(Str(txtOtherOptions));
    const std::array<QCheckBox*, 4> boxes{m_chkOE, m_chkLoc, m_chkScheduler, m_chkTemp};
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i]->setText(Str(txtLaunchMailer + static_cast<int>(i)));
        boxes[i]->setAccessibleName(plainCaption(boxes[i]->text()));
    }
    m_frmEncryption->setTitle(Str(txtEncryptionFrame));
    const std::array<std::pair<QAbstractButton*, int>, 3> encryptionButtons{
        {{m_chkEncrypt, txtEncryptArchive},
         {m_cmdKeyFile, txtKeyFileButton},
         {m_cmdPassphrase, txtNewPassphraseButton}}};
    for (const auto& [button, id] : encryptionButtons) {
        button->setText(Str(id));
        button->setAccessibleName(plainCaption(button->text()));
    }
    m_lblKeyFile->setText(Str(txtKeyFileLabel));
    m_txtKeyFile->setAccessibleName(plainCaption(m_lblKeyFile->text()));
    m_cmdOK->setText(Str(txtOK));
    m_cmdOK->setAccessibleName(plainCaption(m_cmdOK->text()));
}

void frmAdvancedOptions::Form_Load() {
    TRAP_BEGIN("frmAdvancedOptions:Form_Load")
        STEP(1) setTexts();
        STEP(2) RegEdit& reg = regAccess();
        STEP(3) const std::optional<QString> stored = ReadSetting(reg, QStringLiteral("CompressionLevel"));
        STEP(4) const std::optional<int> level = stored ? storedNumber(*stored) : std::nullopt;
        STEP(5)
        if (level && positionOfLevel(*level) != 0)
            m_sldCompression->setValue(positionOfLevel(*level));
        STEP(6) loadBox(*m_chkOE, QStringLiteral("LaunchOE"));
        STEP(7) loadBox(*m_chkLoc, QStringLiteral("RememberLocations"));
        STEP(8) loadBox(*m_chkScheduler, QStringLiteral("SchedulerDisable"));
        STEP(9) loadBox(*m_chkTemp, QStringLiteral("CustomTemp"));
        STEP(10) m_chkEncrypt->setChecked(EncryptSetting());
        STEP(11) m_txtKeyFile->setText(KeyFileSetting());
    TRAP_END
}

void frmAdvancedOptions::loadBox(QCheckBox& box, const QString& settingName) {
    if (const std::optional<QString> stored = ReadSetting(regAccess(), settingName))
        box.setChecked(storedNumber(*stored).value_or(0) != 0);
}

void frmAdvancedOptions::chkTemp_Click() {
    TRAP_BEGIN("frmAdvancedOptions:chkTemp_Click")
        // Only the user's tick asks for the folder; loading the stored state must not.
        STEP(1) if (!m_chkTemp->isChecked() || !isVisible()) return;
        QString folder;
        DialogQuestions ask;
        STEP(2) do { folder = Input_Path(ask); }
        while (folder.isEmpty())
            ;
        STEP(3) WriteSetting(regAccess(), QStringLiteral("CustomTempFolder"), folder);
    TRAP_END
}

void frmAdvancedOptions::cmdKeyFile_Click() {
    TRAP_BEGIN("frmAdvancedOptions:cmdKeyFile_Click")
        STEP(1) platform::FileDialogRequest request;
        request.title = Str(txtChooseKeyFile);
        request.initialFolder = QFileInfo(m_txtKeyFile->text()).path();
        STEP(2) const QString chosen = platform::dialogs().openFile(request);
        STEP(3) if (!chosen.isEmpty()) m_txtKeyFile->setText(chosen);
    TRAP_END
}

void frmAdvancedOptions::cmdPassphrase_Click() {
    TRAP_BEGIN("frmAdvancedOptions:cmdPassphrase_Click")
        STEP(1) ChooseNewPassphrase();
    TRAP_END
}

void frmAdvancedOptions::storeBox(const QCheckBox& box, const QString& settingName, qint16* inMemory) {
    const QString value = boxState(box);
    if (inMemory)
        *inMemory = ToInt16(value);
    WriteSetting(regAccess(), settingName, value);
}

void frmAdvancedOptions::cmdOK_Click() {
    TRAP_BEGIN("frmAdvancedOptions:cmdOK_Click")
        STEP(1) const QString level = QString::number(levelOfPosition(m_sldCompression->value()));
        STEP(2) CompressionLevelSetting = ToInt16(level);
        STEP(3) WriteSetting(regAccess(), QStringLiteral("CompressionLevel"), level);
        STEP(5) storeBox(*m_chkOE, QStringLiteral("LaunchOE"));
        STEP(6) storeBox(*m_chkLoc, QStringLiteral("RememberLocations"), &RememberLocationsSetting);
        const bool wasDisabled =
            ReadSetting(regAccess(), QStringLiteral("SchedulerDisable")).value_or(QString()).trimmed() ==
            u"1";
        STEP(7) storeBox(*m_chkScheduler, QStringLiteral("SchedulerDisable"));
        SwitchScheduleTimer(wasDisabled, m_chkScheduler->isChecked());
        STEP(8) storeBox(*m_chkTemp, QStringLiteral("CustomTemp"));
        STEP(10) WriteEncryptSettings(m_chkEncrypt->isChecked(), m_txtKeyFile->text().trimmed());
        // Scheduled backups need a passphrase they can find without anyone there.
        STEP(11)
        if (m_chkEncrypt->isChecked() && FindUnattendedPassphrase().passphrase.isEmpty() &&
            ChooseNewPassphrase().isEmpty()) {
            // No passphrase chosen: backups stay as they were, and the window open to say so.
            m_chkEncrypt->setChecked(false);
            WriteEncryptSettings(false, m_txtKeyFile->text().trimmed());
            return;
        }
        STEP(9) frmMain_Enabled();
    TRAP_END
}

void frmAdvancedOptions::keyPressEvent(QKeyEvent* event) {
    // Escape leaves as the title bar's close does: nothing more is stored.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmAdvancedOptions::closeEvent(QCloseEvent* event) {
    // Only the title bar closes the dialog (OK unloads it): leave like a Cancel, storing nothing more.
    frmMain_Enabled();
    QWidget::closeEvent(event);
}

} // namespace stowline
