#include "ui/frmRS_IEF.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "ui/Windows.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_Identity.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace stowline {

namespace {

QRadioButton* option(QWidget* parent, const char* name) {
    auto* button = new QRadioButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

frmRS_IEF::frmRS_IEF(QWidget* parent)
    : WizardPage(QStringLiteral("frmIEF"), parent), m_optReplace(option(&frame(), "optReplace")),
      m_optAdd(option(&frame(), "optAdd")) {
    m_optReplace->setChecked(true);
    frameLayout().addWidget(m_optReplace);
    frameLayout().addWidget(m_optAdd);
    frameLayout().addStretch();
    setTabOrder(m_optReplace, m_optAdd);
    setTabOrder(m_optAdd, &backButton());
    setTabOrder(&backButton(), &nextButton());
    connect(m_optAdd, &QRadioButton::clicked, this, &frmRS_IEF::optAdd_Click);
    connect(m_optReplace, &QRadioButton::clicked, this, &frmRS_IEF::optReplace_Click);
    connect(&nextButton(), &QPushButton::clicked, this, &frmRS_IEF::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmRS_IEF::cmdBack_Click);
}

void frmRS_IEF::Form_Load() {
    TRAP_BEGIN("frmRS_IEF:Form_Load")
        STEP(1) title().setText(Str(txtRestoreWizard));
        STEP(2) frame().setTitle(Str(txtFavoritesFrame));
        STEP(3) frame().setAccessibleName(Str(txtFavoritesFrame));
        STEP(4) setCaption(backButton(), Str(txtRestoreBack));
        STEP(5) setCaption(nextButton(), Str(txtRestore));
        STEP(6) m_optReplace->setText(Str(txtReplace));
        STEP(7) m_optReplace->setAccessibleName(Str(txtReplace));
        STEP(8) m_optAdd->setText(Str(txtAdd));
        STEP(9) m_optAdd->setAccessibleName(Str(txtAdd));
        STEP(10) m_optReplace->setFocus();
    TRAP_END
}

bool frmRS_IEF::replaceFavorites() const { return m_optReplace->isChecked(); }

void frmRS_IEF::optAdd_Click() {
    TRAP_BEGIN("frmRS_IEF:optAdd_Click")
        STEP(1) m_optReplace->setChecked(false);
    TRAP_END
}

void frmRS_IEF::optReplace_Click() {
    TRAP_BEGIN("frmRS_IEF:optReplace_Click")
        STEP(1) m_optAdd->setChecked(false);
    TRAP_END
}

void frmRS_IEF::cmdNext_Click() {
    TRAP_BEGIN("frmRS_IEF:cmdNext_Click")
        STEP(1) StartRestoreRun(*this);
    TRAP_END
}

void frmRS_IEF::cmdBack_Click() {
    TRAP_BEGIN("frmRS_IEF:cmdBack_Click")
        STEP(1) frmRS_Choice* choice = RestoreChoicePage();
        STEP(2)
        auto* identities = qobject_cast<frmRS_Identity*>(forms::find(QStringLiteral("frmRS_Identity")));
        STEP(3) if (choice && choice->identitiesChosen() && identities) ShowPage(*identities);
        else if (choice) ShowPage(*choice);
        STEP(4) forms::unload(QStringLiteral("frmRS_IEF"));
    TRAP_END
}

} // namespace stowline
