#pragma once
#include <QLabel>

#include "platform/forms/forms.h"

// The status window shown modally while the program shuts down; its activation does the work.
class FrmShutdown : public Form {
    Q_OBJECT
public:
    FrmShutdown();
    QLabel *lblMessage;

    void Form_Activate() override;

private:
    Road m_road{*this};
};

FrmShutdown &frmShutdown();
