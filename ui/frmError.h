#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace stowline {

// The crash window: shows the error record and offers Report, Reboot and Exit, each of which ends
// the program.
class frmError : public QWidget {
    Q_OBJECT
public:
    explicit frmError(QWidget* parent = nullptr);
    // Shows the window non-modally and fills it from the error record.
    static void showReport();
    // The mailto address Report opens for the current error record.
    static QString reportAddress();

private slots:
    void cmdReport_Click();
    void cmdReboot_Click();
    void cmdExit_Click();

public:
    void Form_Load();

private:
    QLabel* m_lbl1;
    QPlainTextEdit* m_txtError;
    QLabel* m_lbl2;
    QLabel* m_lbl3;
    QPushButton* m_cmdReboot;
    QPushButton* m_cmdExit;
    QPushButton* m_cmdReport;
};

} // namespace stowline
