#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace stowline {

// The progress window of every run: status line, file line, two bars, Cancel and Close. A run
// reaches it through a QueuedProgress.
class frmProgress : public QWidget {
    Q_OBJECT
public:
    explicit frmProgress(QWidget* parent = nullptr);

    QString status() const;   // lblComment1
    QString fileLine() const; // lblComment2

public slots:
    void setStatus(const QString& text);
    void setFileLine(const QString& text);
    void setBars(int upper, int lower);
    void setCloseEnabled(bool enabled);
    // What the run did, below the bars; "Open folder" shows folder in the file manager.
    void showSummary(const QStringList& lines, const QString& folder);

public:
    void clearSummary();
    QString summary() const;                // lblSummary
    void setTitle(const QString& text);     // lblTitle
    void setFrameText(const QString& text); // frmWindow
    QPushButton& cancelButton() { return *m_cmdCancel; }
    QPushButton& closeButton() { return *m_cmdClose; }

signals:
    // Each line as it is shown, for whoever follows the run.
    void statusChanged(const QString& text);
    void fileLineChanged(const QString& text);
    // Cancel was clicked: the run shown here should stop.
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void cmdCancel_Click();
    void cmdClose_Click();
    void cmdOpenFolder_Click();

public:
    void Form_Load();

private:
    QLabel* m_lblTitle;
    QGroupBox* m_frmWindow;
    QLabel* m_lblComment1;
    QProgressBar* m_progressBar1;
    QLabel* m_lblComment2;
    QProgressBar* m_progressBar2;
    QPushButton* m_cmdCancel;
    QPushButton* m_cmdClose;
    QLabel* m_lblSummary;
    QPushButton* m_cmdOpenFolder;
    QString m_summaryFolder;
};

// The program-wide progress window, loaded on first use.
frmProgress& Progress();
// Shows the progress window modeless, owned by the hub, and lets it paint.
frmProgress& ShowProgress();

} // namespace stowline
