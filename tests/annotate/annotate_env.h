#pragma once
// Shared fixture of the annotation tests: fresh state, a private temp folder, and the main
// window's page view emptied before and after each test.
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

#include "core/state.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/auditlog.h"
#include "support/checks.h"
#include "ui/frmMain.h"

// Text metrics for the duration of a test: a line measures as `size` of its letter count, point
// size and boldness, by default ten pixels a letter (eleven in bold) and twice the point size
// high. Each line, its font and its (letters, points) are recorded.
class LineMetrics : public QelTextMetrics {
public:
    using SizeOf = std::function<QSize(int letters, int points, bool bold)>;
    explicit LineMetrics(SizeOf sizeOf = [](int letters, int points, bool bold) {
        return QSize(letters * (bold ? 11 : 10), points * 2);
    }) : size(std::move(sizeOf))
    {
        setInstance(this);
    }
    ~LineMetrics() override { setInstance(nullptr); }
    QSize measureLine(const QString &line, const QelAnnotFont &font, double) const override
    {
        measured << qMakePair(qint16(line.length()), qint16(font.pointSize));
        lines << line;
        fonts << font;
        return size(int(line.length()), int(font.pointSize), font.bold);
    }
    SizeOf size;
    mutable QList<QPair<qint16, qint16>> measured;
    mutable QStringList lines;
    mutable QList<QelAnnotFont> fonts;
};

class AnnotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        resetState();
        g_strTempPath = dir.path() + QLatin1Char('/');
        view().clearImage();
    }
    void TearDown() override
    {
        view().clearImage();
        resetState();
    }

    static QelEzImage &view() { return *frmMain().ezPageView; }

    // Appends `count` white bilevel pages of the given size and resolution.
    static void addPages(int count, int width = 850, int height = 1100, int dpi = 100)
    {
        QImage page(width, height, QImage::Format_Mono);
        page.fill(1);
        const int dpm = qRound(dpi / 0.0254);
        page.setDotsPerMeterX(dpm);
        page.setDotsPerMeterY(dpm);
        for (int i = 0; i < count; ++i)
            view().appendPage(page);
    }

    // A detached item of the type at the bounds, added to the page's set without a handler.
    static QelAnnotItem *addItem(int page, int type, const QRect &bounds,
                                 const QString &text = QString())
    {
        view().setPage(page);
        std::unique_ptr<QelAnnotItem> item;
        if (type == QelAnnotType::Text)
            item = std::make_unique<QelAnnotTextItem>();
        else
            item = std::make_unique<QelAnnotItem>(type);
        item->setBounds(bounds);
        if (!text.isEmpty())
            item->setText(text);
        QelAnnotItem *raw = item.get();
        view().annotationSet()->setSecurity(nullptr);
        EXPECT_TRUE(view().annotationSet()->add(std::move(item)));
        return raw;
    }

    // Traces under debug into a fresh audit log; logText() reads what it holds.
    void startDebugLog()
    {
        g_blnDebug = true;
        g_AuditLog = std::make_shared<AuditLog>();
        g_AuditLog->open(dir.filePath("logs"), QStringLiteral("annot"));
    }
    static QString logText()
    {
        QFile f(g_AuditLog->currentFile());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll());
    }

    QTemporaryDir dir;
};
