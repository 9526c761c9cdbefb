#pragma once
#include <QLabel>
#include <QTimer>

#include "platform/forms/forms.h"

// The small modal window shown while a document is stored: its first focus runs the store
// once, keeps the result in g_blnStoreReturnValue and unloads the window.
class FrmStore : public Form {
    Q_OBJECT
public:
    FrmStore();

    QLabel *Label1;
    QTimer *Timer1;

    void Form_Activate() override;
    void Form_GotFocus();
    void Timer1_Timer();

protected:
    bool event(QEvent *event) override;

private:
    bool m_done = false;
    Road m_road{*this}; // the store
};

FrmStore &frmStore();
