#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>

#include "core/errors.h"
#include "core/localisation.h"
#include "platform/forms/forms.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"
#include "ui_env.h"

namespace {

const QColor red(255, 0, 0);

// A catalogue folder of its own per test (the catalogue is read once per file).
class Localisation : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int n = 0;
        m_folder = testRoot() + QStringLiteral("/catalogue%1").arg(++n);
        QDir().mkpath(m_folder);
        setCatalogueFolder(m_folder);
        QFile::remove(locLogPath());
        SaveSetting(APP_TITLE, "Settings", "LongStringsRed", "0");
    }
    void TearDown() override
    {
        setLocaleOverride(0);
        setCatalogueFolder(testRoot() + "/locale");
    }
    void catalogue(int locale, const QList<QPair<QString, QString>> &texts)
    {
        QFile f(m_folder + QStringLiteral("/%1.txt").arg(locale));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const auto &[key, text] : texts)
            f.write((key + "\t" + text + "\n").toUtf8());
        setLocaleOverride(locale);
    }
    static QString locLog()
    {
        QFile f(locLogPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }
    QString m_folder;
};

// A form with a fixed font and a few controls.
class Dialog : public Form {
public:
    Dialog() : Form(QStringLiteral("frmDialog"))
    {
        setFont(QFont(QStringLiteral("Liberation Sans"), 10));
        setCaption(QStringLiteral("Main"));
        resize(400, 300);
        book = addControl(new QLabel(QStringLiteral("Book:"), this), QStringLiteral("lblBook"));
        book->setGeometry(20, 30, 200, 20);
        page = addControl(new QLabel(QStringLiteral("Page:"), this), QStringLiteral("lblPage"));
        page->setGeometry(20, 60, 200, 20);
        text = addControl(new QLineEdit(QStringLiteral("Book:"), this), QStringLiteral("txtBook"));
        text->setGeometry(20, 90, 200, 22);
        picture = addControl(new QWidget(this), QStringLiteral("picLogo"));
        picture->setProperty("vbType", QStringLiteral("PictureBox"));
        picture->setGeometry(240, 30, 100, 100);
        picture->setToolTip(QStringLiteral("Book:"));
        menu = addControl(new QAction(QStringLiteral("Book:"), this), QStringLiteral("mnuBook"));
    }
    QLabel *book, *page;
    QLineEdit *text;
    QWidget *picture;
    QAction *menu;
};

} // namespace

// Texts are translated outside 1033; modes 1 and 2 log the form's header, and mode 1 marks red and
// logs a text wider than its control (one exactly as wide fits).
TEST_F(Localisation, TextsTranslatedOutside1033AndOverWideOnesMarkedInMode1)
{
    catalogue(1033, {{"Book:", "Buch:"}, {"Main", "Haupt"}, {"Liberation Sans/10", "Liberation Serif/20"}});
    catalogue(1031, {{"Book:", "Buchseite:"}, {"Main", "Haupt"}});
    const struct {
        int locale;
        const char *mode; // LongStringsRed
        bool translated, header, marked;
        bool narrowBook = false; // the book label far too narrow
    } rows[] = {
        {1033, "1", false, false, false, true}, {1031, "0", true, false, false},
        {1031, "2", true, true, false, true},   {1031, "1", true, true, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::to_string(r.locale) + " mode " + r.mode);
        setLocaleOverride(r.locale);
        SaveSetting(APP_TITLE, "Settings", "LongStringsRed", r.mode);
        QFile::remove(locLogPath());
        Dialog d;
        const int px = QFontMetrics(d.font()).horizontalAdvance("Buchseite:");
        d.book->resize(r.narrowBook ? 2 : px, 20);
        d.text->resize(px - 1, 22);
        const QRect bookAt = d.book->geometry();
        LocalizeForm(d);
        const QString book = r.translated ? "Buchseite:" : "Book:";
        EXPECT_EQ(d.caption(), r.translated ? "Haupt" : "Main");
        // a picture box still has its tip translated
        for (const QString &text : {d.book->text(), d.text->text(), d.menu->text(), d.picture->toolTip()})
            EXPECT_EQ(text, book);
        EXPECT_EQ(d.page->text(), "Page:"); // no translation: as designed
        EXPECT_EQ(d.book->geometry(), bookAt);
        EXPECT_EQ(d.font().family(), "Liberation Sans");
        EXPECT_NE(ctl::foreColor(d.book), red);
        EXPECT_EQ(ctl::foreColor(d.text) == red, r.marked);
        EXPECT_EQ(QFile::exists(locLogPath()), r.header);
        if (r.header) {
            EXPECT_EQ(locLog(), "[Main - 1031]\r\n"
                                    + (r.marked ? QStringLiteral("  Buchseite:(%1) width: %2\r\n").arg(px).arg(px - 1)
                                                : QString()));
        }
    }
}

TEST_F(Localisation, FontKeysAndTranslations)
{
    EXPECT_EQ(fontSizeText(8.25), "8.25");
    EXPECT_EQ(fontSizeText(10), "10");
    catalogue(1031, {{"Liberation Sans/10", "Liberation Serif/12"},
                     {"Liberation Mono/10", "Liberation Serif/10/12"},
                     {"DejaVu Sans/Scaled", "DejaVu Serif/150"},
                     {"DejaVu Sans Mono/Scaled", "DejaVu Serif/120.9"}});
    struct Row { const char *family; const char *newFamily; double size; bool result; };
    const Row rows[] = {
        {"Liberation Sans", "Liberation Serif", 12, true},
        {"Liberation Mono", "Liberation Serif", 10, true},  // "10/12" is no size: the size stays
        {"DejaVu Sans", "DejaVu Serif", 15, true},
        {"DejaVu Sans Mono", "DejaVu Serif", 12, true},     // 120.9 % counts as 120 %
        {"Liberation Serif", "Liberation Serif", 10, false},
    };
    for (const Row &row : rows) {
        QFont font(QString::fromLatin1(row.family), 10);
        EXPECT_EQ(LocalizeFont(font), row.result) << row.family;
        EXPECT_EQ(font.family(), QString::fromLatin1(row.newFamily)) << row.family;
        EXPECT_DOUBLE_EQ(font.pointSizeF(), row.size) << row.family;
    }
}

TEST_F(Localisation, LargerFormFontScalesFormAndControlsButNotPictureBoxes)
{
    catalogue(1031, {{"Liberation Sans/10", "Liberation Sans/20"}});
    Dialog d;
    LocnSize before, after;
    QelLocalizeGetCurSizeIFont(QFont("Liberation Sans", 10), before);
    QelLocalizeGetCurSizeIFont(QFont("Liberation Sans", 20), after);
    ASSERT_GT(before.cx, 0);
    const int h = qRound(after.cx * 1000.0 / before.cx);
    const int v = qRound(after.cy * 1000.0 / before.cy);
    const int tx = Screen::TwipsPerPixelX();
    const QRect pictureAt = d.picture->geometry();
    const int formWidth = d.Width();

    LocalizeForm(d);
    EXPECT_EQ(d.font().pointSizeF(), 20);
    EXPECT_EQ(d.Width(), qRound(float(formWidth) * h / 1000 / tx) * tx);
    EXPECT_EQ(ctl::left(d.book), qRound(20.0 * tx * h / 1000 / tx) * tx);
    EXPECT_EQ(ctl::top(d.page), qRound(60.0 * tx * v / 1000 / tx) * tx);
    EXPECT_EQ(ctl::width(d.text), qRound(200.0 * tx * h / 1000 / tx) * tx);
    EXPECT_EQ(d.book->font().pointSizeF(), 20);
    EXPECT_EQ(d.picture->geometry(), pictureAt);
    EXPECT_EQ(d.picture->font().pointSizeF(), 10);
}

TEST_F(Localisation, ControlFontsTranslatedEvenWhenTheFormIsNotScaled)
{
    catalogue(1031, {{"DejaVu Sans/9", "DejaVu Serif/11"}});
    Dialog d;
    d.page->setFont(QFont("DejaVu Sans", 9));
    const QRect bookAt = d.book->geometry();
    const QRect pageAt = d.page->geometry();
    LocalizeForm(d);
    EXPECT_EQ(d.font().family(), "Liberation Sans");
    EXPECT_EQ(d.book->geometry(), bookAt);
    EXPECT_EQ(d.page->geometry(), pageAt);
    EXPECT_EQ(d.page->font().family(), "DejaVu Serif");
    EXPECT_EQ(d.page->font().pointSizeF(), 11);
}

TEST_F(Localisation, SaveControlOfType10KeepsItsTextsButIsStillMeasured)
{
    catalogue(1031, {{"Save", "Speichern unter"}});
    SaveSetting(APP_TITLE, "Settings", "LongStringsRed", "1");
    Dialog d;
    auto saveControl = [&d](const QString &name, int type) {
        auto *w = d.addControl(new QWidget(&d), name);
        w->setProperty("vbType", QStringLiteral("QelEzSaveControl"));
        w->setProperty("ControlType", type);
        w->setProperty("Caption", QStringLiteral("Save"));
        w->setToolTip(QStringLiteral("Save"));
        w->resize(2, 20);
        return w;
    };
    QWidget *fixed = saveControl("ezSave10", 10);
    QWidget *plain = saveControl("ezSave0", 0);
    LocalizeForm(d);
    EXPECT_EQ(ctl::caption(fixed), "Save");
    EXPECT_EQ(fixed->toolTip(), "Save");
    EXPECT_EQ(ctl::foreColor(fixed), red);
    EXPECT_EQ(ctl::caption(plain), "Speichern unter");
    EXPECT_EQ(plain->toolTip(), "Speichern unter");
}
