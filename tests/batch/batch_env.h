#pragma once
#include <QImage>
#include <QTemporaryDir>

#include <memory>

#include "core/state.h"
#include "platform/forms/msgbox.h"

class QelEzImage;

// A fresh state with the temp folder in a private directory; message boxes are recorded.
class BatchEnv {
public:
    BatchEnv();
    ~BatchEnv();
    QString temp() const { return g_strTempPath; }
    MsgBoxScript boxes;

private:
    QTemporaryDir m_dir;
};

// A bilevel page of the size, white, with an optional black block.
QImage monoPage(int width, int height, const QRect &ink = QRect());
// Fills the control with pages of these sizes.
void fillControl(QelEzImage &control, const QList<QSize> &sizes);
