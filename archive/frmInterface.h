#pragma once

#include "archive/cmpZIP.h"

#include <QWidget>

class QListWidget;

namespace stowline {

// The hidden host window: the zip component, and the three identity lists kept parallel by index
// (lstIdentities names with the selected marks, lst1 IDs, lst2 store folders). Never shown.
class frmInterface : public QWidget {
    Q_OBJECT
public:
    explicit frmInterface(QWidget* parent = nullptr);
    ~frmInterface() override;

    cmpZIP& zip() { return *m_cmpZIP; }
    QListWidget& lstIdentities() { return *m_lstIdentities; }
    QListWidget& lst1() { return *m_lst1; }
    QListWidget& lst2() { return *m_lst2; }

private slots:
    void cmpZIP_FileStartedCompressing(const QString& path);
    void cmpZIP_FileStartedDecompressing(const QString& path);
    void cmpZIP_OnError(int code);
    void cmpZIP_ProcessEnded();
    void cmpZIP_ProcessMessages(qint16& cancel);
    void cmpZIP_Statistics(double wholeRunPercent, double currentFilePercent);

public:
    void Form_Load();

private:
    cmpZIP* m_cmpZIP;
    QListWidget* m_lstIdentities;
    QListWidget* m_lst1;
    QListWidget* m_lst2;
};

// The program-wide instance, loaded on first use.
frmInterface& Interface();
cmpZIP& Zip();

} // namespace stowline
