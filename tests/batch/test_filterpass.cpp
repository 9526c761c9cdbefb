#include <gtest/gtest.h>

#include <QLabel>

#include "batch/filterpass.h"
#include "batch_env.h"
#include "core/state.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace {

// 400 x 400 at 200 dpi; an inked page carries a solid block well inside the margins.
QImage inkedPage() { return monoPage(400, 400, QRect(100, 100, 150, 150)); }
QImage blankPage() { return monoPage(400, 400); }

void fill(QelEzImage &control, const QString &pattern) // 'i' inked, 'b' blank
{
    for (QChar c : pattern)
        control.appendPage(c == u'b' ? blankPage() : inkedPage());
}

// Pages' ink pattern read back with the blank test itself.
QString pattern(QelEzImage &control)
{
    QString out;
    for (int p = 1; p <= control.pageCount(); ++p) {
        control.setPage(p);
        out += DetectBlank(control, 0) ? u'b' : u'i';
    }
    return out;
}

// The pass's log lines while it lives.
struct PassLog {
    PassLog() { previous = qInstallMessageHandler(&PassLog::take); }
    ~PassLog() { qInstallMessageHandler(previous); }
    static void take(QtMsgType, const QMessageLogContext &context, const QString &text)
    {
        if (QLatin1String(context.category) == QLatin1String("quorla.batch"))
            lines << text;
    }
    static inline QStringList lines;
    QtMessageHandler previous;
};

// The main window, whose status line the pass writes, after its first load.
QLabel &statusText()
{
    MsgBoxScript firstLoad;
    return *frmMain().lblStatus;
}

} // namespace

TEST(IsBlankResult, ReadsOnlyAnExactNameWithValueOne)
{
    struct Case {
        const char *name;
        QList<QPair<QString, QVariant>> items;
        bool blank;
    };
    const Case cases[] = {
        {"no results", {}, false},
        {"Blank 1", {{"Blank", 1}}, true},
        {"Blank 0", {{"Blank", 0}}, false},
        {"lower case name", {{"blank", 1}}, false},
        {"value True", {{"Blank", true}}, false},
        {"value -1", {{"Blank", -1}}, false},
        {"later item", {{"Barcode", 1}, {"Blank", 0}, {"Blank", 1}}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IP2Image image;
        for (const auto &item : c.items)
            image.results().add(item.first, item.second);
        EXPECT_EQ(IP2::isBlankResult(image), c.blank);
    }
}

TEST(DetectBlank, OffEmptyAndVerdicts)
{
    BatchEnv env;
    QelEzImage control;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    EXPECT_FALSE(DetectBlank(control, 0)) << "no image";
    fill(control, QStringLiteral("bi"));
    EXPECT_EQ(pattern(control), QStringLiteral("bi"));
    g_blnDetectBlank = false;
    control.setPage(1);
    EXPECT_FALSE(DetectBlank(control, 0));
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(DetectBlank, MarginIsWiderInTheBarcodeMode)
{
    BatchEnv env;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    QelEzImage control;
    // A strip between 1/30in and 1/10in from the left edge, not touching it.
    control.appendPage(monoPage(400, 400, QRect(10, 100, 9, 200)));
    for (qint16 mode : {qint16(0), qint16(1), MODE_NYBR}) {
        g_dbMode = mode;
        EXPECT_EQ(DetectBlank(control, 0), mode == MODE_NYBR) << mode;
    }
}

TEST(FilterPass, DeletesBlankPagesAfterThePass)
{
    QLabel &status = statusText();
    BatchEnv env;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    QelEzImage control;
    fill(control, QStringLiteral("ibibi"));
    control.setPage(3);
    PassLog::lines.clear();
    {
        PassLog log;
        doImageProcess(control, std::make_shared<FilterChain>(), 1, -1);
    }
    EXPECT_EQ(control.pageCount(), 3);
    EXPECT_EQ(control.page(), 1);
    EXPECT_EQ(pattern(control), QStringLiteral("iii"));
    // The operator is told how many went, the log which.
    EXPECT_EQ(status.text().toStdString(), "2 blank pages removed");
    EXPECT_EQ(PassLog::lines.join(u'|').toStdString(), "2 blank pages removed: pages 2,4");
    EXPECT_EQ(ezBarcode().workingFileName().toStdString(), (env.temp() + QStringLiteral("bctemp.tif")).toStdString());
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(FilterPass, NoBlankPageDeletesNothingAndRaisesNothing)
{
    QLabel &status = statusText();
    BatchEnv env;
    g_blnDetectBlank = true;
    QelEzImage control;
    fill(control, QStringLiteral("iii"));
    status.setText(QStringLiteral("before"));
    doImageProcess(control, std::make_shared<FilterChain>(), 1, -1);
    EXPECT_EQ(control.pageCount(), 3);
    EXPECT_EQ(status.text().toStdString(), "before");
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(FilterPass, EveryPageBlankLeavesNoPageAndSaysSo)
{
    QLabel &status = statusText();
    BatchEnv env;
    g_blnDetectBlank = true;
    QelEzImage control;
    fill(control, QStringLiteral("bb"));
    doImageProcess(control, std::make_shared<FilterChain>(), 1, -1);
    EXPECT_EQ(control.pageCount(), 0);
    EXPECT_EQ(status.text().toStdString(), "2 blank pages removed, no page is left to store");
    EXPECT_TRUE(env.boxes.calls().isEmpty());
}

TEST(FilterPass, AppliesTheChainToTheRangeOnly)
{
    BatchEnv env;
    g_blnDetectBlank = false;
    g_FilterSettings = std::make_shared<FilterChain>();
    // Removes ink touching the page edge.
    g_FilterSettings->add(std::make_shared<IP2PrefilterB>(), 1);
    QelEzImage control;
    for (int i = 0; i < 4; ++i)
        control.appendPage(monoPage(400, 400, QRect(0, 0, 50, 50)));
    doImageProcess(control, g_FilterSettings, 2, 2);
    EXPECT_EQ(control.pageCount(), 4);
    for (int p = 1; p <= 4; ++p) {
        control.setPage(p);
        const bool inked = qGray(control.pageImage().pixel(10, 10)) < 128;
        EXPECT_EQ(inked, p == 1 || p == 4) << p;
    }
}

TEST(FilterPass, UnalignedWidthClearsByteAlignedEvenOnABlankPage)
{
    BatchEnv env;
    g_blnDetectBlank = true;
    g_blnByteAligned = true;
    QelEzImage control;
    control.appendPage(inkedPage());
    control.appendPage(monoPage(403, 400));
    doImageProcess(control, std::make_shared<FilterChain>(), 1, -1);
    EXPECT_EQ(control.pageCount(), 1);
    EXPECT_FALSE(g_blnByteAligned);
}

TEST(ProcessFilters, ShowsTheWindowOnlyWhenThereIsWork)
{
    BatchEnv env;
    FormScript forms;
    QelEzImage control;
    fill(control, QStringLiteral("ib"));
    g_FilterSettings = std::make_shared<FilterChain>();

    g_blnDetectBlank = false;
    process_filters(control, g_FilterSettings, 1, -1, 0);
    EXPECT_TRUE(forms.calls().isEmpty());
    EXPECT_EQ(control.pageCount(), 2);

    g_blnDetectBlank = true;
    process_filters(control, g_FilterSettings, 1, -1, 0);
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, QStringLiteral("frmProcessFilters"));
    EXPECT_EQ(forms.calls()[0].owner, QStringLiteral("frmMain"));
    EXPECT_EQ(control.pageCount(), 1);
    EXPECT_EQ(frmProcessFilters().Label1->text(), QStringLiteral("Processing Images..."));
}
