#pragma once
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "platform/forms/forms.h"

// The modal "Hand Feed Scan" window: while it is open a 500 ms timer pulls in every page the
// operator places in the feeder; Done ends the run with the filter pass. A scan that fails (a
// jam, the scanner off) ends the run the same way and says why; the document keeps its pages.
class FrmHandFeed : public Form {
    Q_OBJECT
public:
    FrmHandFeed();

    QTimer *Timer1;
    QPushButton *btnDone;
    QLabel *Label1;

    void Form_Load() override;
    void Form_Unload(int &cancel) override;
    void Timer1_Timer();
    void btnDone_Click();

private:
    void scanFailed(const QString &description);

    Road m_tick{*this}; // one tick's scan
};

FrmHandFeed &frmHandFeed();

// What the operator is told when a hand-feed or overhead scan fails: the failure, then what to
// check.
QString scanFailedText(const QString &description);
