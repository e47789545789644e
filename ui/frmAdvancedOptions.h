#pragma once

#include <QWidget>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace stowline {

// The Advanced options dialog: compression level (sldCompression, positions 1 to 5), and the boxes
// chkOE, chkLoc, chkScheduler, chkTemp; encryption: chkEncrypt, the key file txtKeyFile with its
// button cmdKeyFile, and cmdPassphrase for a new passphrase. OK stores everything and returns to the hub.
class frmAdvancedOptions : public QWidget {
    Q_OBJECT
public:
    static constexpr int PositionCount = 5;

    explicit frmAdvancedOptions(QWidget* parent = nullptr);
    void Form_Load();

    // The stored compression level of each slider position, and the position that shows a level
    // (0 when the level has none).
    static int levelOfPosition(int position);
    static int positionOfLevel(int level);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void chkTemp_Click();
    void cmdKeyFile_Click();
    void cmdPassphrase_Click();
    void cmdOK_Click();

private:
    void setTexts();
    void loadBox(QCheckBox& box, const QString& settingName);
    void storeBox(const QCheckBox& box, const QString& settingName, qint16* inMemory = nullptr);

    QLabel* m_lbl1;
    QGroupBox* m_frmSchedule;
    QSlider* m_sldCompression;
    std::array<QLabel*, PositionCount> m_levelLabels; // lbl2 .. lbl6
    QGroupBox* m_frmOptions;
    QCheckBox* m_chkOE;
    QCheckBox* m_chkLoc;
    QCheckBox* m_chkScheduler;
    QCheckBox* m_chkTemp;
    QGroupBox* m_frmEncryption;
    QCheckBox* m_chkEncrypt;
    QLabel* m_lblKeyFile;
    QLineEdit* m_txtKeyFile;
    QPushButton* m_cmdKeyFile;
    QPushButton* m_cmdPassphrase;
    QPushButton* m_cmdOK;
};

} // namespace stowline
