#include "ui/frmRS_Plan.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modError.h"
#include "ui/Windows.h"
#include "ui/frmRS_Choice.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace stowline {

namespace {

// A line that details the one above it (a folder under its identity) is drawn indented, and its
// wrapped lines keep the indent.
constexpr int DetailRole = Qt::UserRole;

class PlanLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, indented(option, index), index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(indented(option, index), index) +
               QSize(indent(option, index), 0);
    }

private:
    // As wide as the four spaces that indented such a line when the plan was plain text.
    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index) {
        return index.data(DetailRole).toBool() ? 4 * option.fontMetrics.horizontalAdvance(u' ') : 0;
    }
    static QStyleOptionViewItem indented(const QStyleOptionViewItem& option, const QModelIndex& index) {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + indent(option, index));
        return shifted;
    }
};

} // namespace

frmRS_Plan::frmRS_Plan(QWidget* parent)
    : WizardPage(QStringLiteral("frmPlan"), parent), m_lstPlan(new QListWidget(&frame())) {
    m_lstPlan->setObjectName(QStringLiteral("lstPlan"));
    m_lstPlan->setWordWrap(true);
    m_lstPlan->setItemDelegate(new PlanLineDelegate(m_lstPlan));
    m_lstPlan->setSpacing(2); // a line that wraps is told from the next one
    m_lstPlan->setSelectionMode(QAbstractItemView::SingleSelection);
    frameLayout().addWidget(m_lstPlan);
    setTabOrder(m_lstPlan, &backButton());
    setTabOrder(&backButton(), &nextButton());
    // No size of its own: it takes the wizard's, and its lines wrap to it.
    m_lstPlan->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(&nextButton(), &QPushButton::clicked, this, &frmRS_Plan::cmdNext_Click);
    connect(&backButton(), &QPushButton::clicked, this, &frmRS_Plan::cmdBack_Click);
}

void frmRS_Plan::Form_Load() {
    TRAP_BEGIN("frmRS_Plan:Form_Load")
        STEP(1) title().setText(Str(txtRestoreWizard));
        STEP(2) frame().setTitle(Str(txtPlanFrame));
        STEP(3) frame().setAccessibleName(Str(txtPlanFrame));
        STEP(4) m_lstPlan->setAccessibleName(Str(txtPlanTitle));
        STEP(5) setCaption(backButton(), Str(txtRestoreBack));
        STEP(6) setCaption(nextButton(), Str(txtRestore));
        STEP(7) setWindowTitle(Str(txtRestoreWizard) + QStringLiteral(" \u2013 ") + Str(txtPlanTitle));
    TRAP_END
}

void frmRS_Plan::showPlan(RestorePlan plan, QWidget& previousPage) {
    m_plan = std::move(plan);
    m_lstPlan->clear();
    for (const QString& line : m_plan.lines()) {
        auto* item = new QListWidgetItem(line.trimmed(), m_lstPlan);
        item->setData(DetailRole, line.startsWith(u' '));
    }
    m_previousPage = &previousPage;
    ShowPage(*this);
    nextButton().setFocus();
}

void frmRS_Plan::cmdNext_Click() {
    TRAP_BEGIN("frmRS_Plan:cmdNext_Click")
        STEP(1) RunRestoreNow(*this, m_plan);
    TRAP_END
}

void frmRS_Plan::cmdBack_Click() {
    TRAP_BEGIN("frmRS_Plan:cmdBack_Click")
        STEP(1) if (m_previousPage) ShowPage(*m_previousPage);
        STEP(2) forms::unload(QStringLiteral("frmRS_Plan"));
    TRAP_END
}

} // namespace stowline
