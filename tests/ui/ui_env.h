#pragma once
#include <QImage>
#include <QList>
#include <QString>

#include "platform/forms/forms.h"

class FrmMain;

// The environment every window test runs in: settings, temp, program and catalogue folders
// below one temporary folder; message boxes and modal forms answered by scripts.
QString testRoot();

// A white bilevel page of that size.
QImage whitePage(int width = 40, int height = 50);

// `count` copies of the page in both of the main window's views (emptied first), the first one
// shown, the thumbnails visible.
void showPages(FrmMain &f, int count, const QImage &page = whitePage());

// The forms loaded from its start on; unload() (and its end) unloads them again.
class NewForms {
public:
    ~NewForms() { unload(); }
    void unload();

private:
    QList<Form *> m_before = Forms();
};
