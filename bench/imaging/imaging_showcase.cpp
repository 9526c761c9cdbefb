// Shows a three-page document with annotations and saves a screenshot of the screen.
#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "platform/annot/annotdocument.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"

namespace {
QImage page(int n, QImage::Format format)
{
    QImage img(850, 1100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QFont f(QStringLiteral("Liberation Serif"));
    f.setPixelSize(22);
    p.setFont(f);
    p.setPen(n == 3 ? QColor(30, 60, 140) : Qt::black);
    for (int y = 120, i = 0; y < 1000; y += 34, ++i)
        p.drawText(90, y, QStringLiteral("Page %1, line %2: the grantor conveys the parcel described").arg(n).arg(i));
    if (n == 3)
        p.fillRect(520, 40, 260, 60, QColor(200, 40, 40));
    p.end();
    QImage out = format == QImage::Format_Mono ? img.convertToFormat(format, Qt::ThresholdDither)
                                               : img.convertToFormat(format);
    out.setDotsPerMeterX(3937);
    out.setDotsPerMeterY(3937);
    return out;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("imaging.png");
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *tree = new QelEzImage(QelEzImage::Kind::Thumbnails);
    auto *view = new QelEzImage(QelEzImage::Kind::PageView);
    tree->setFixedWidth(170);
    layout->addWidget(tree);
    layout->addWidget(view, 1);

    auto doc = view->document();
    doc->insertImage(0, page(1, QImage::Format_Mono));
    doc->insertImage(1, page(2, QImage::Format_Grayscale8));
    doc->insertImage(2, page(3, QImage::Format_RGB888));
    tree->setImageHandle(view->imageHandle());
    for (int i = 0; i < 3; ++i) {
        view->setPage(i + 1);
        QelAnnotItem *text = view->createAnnotation(QelAnnotType::Text);
        text->setText(QStringLiteral("BOOK 1234 PAGE %1").arg(56 + i));
        text->setFont(QelAnnotFont{QStringLiteral("Courier New"), 14, true, false});
        text->moveTo(90, 30);
        text->resize(100, 100);
        QelAnnotItem *red = view->createAnnotation(QelAnnotType::Redaction);
        red->setBounds(QRect(300, 400 + 60 * i, 300, 40));
    }
    view->setPage(2);
    tree->setSelectedPages(QStringLiteral("2-3"));
    window.resize(900, 760);
    window.show();
    QTimer::singleShot(500, [&] {
        window.screen()->grabWindow(0).save(out);
        app.quit();
    });
    return app.exec();
}
