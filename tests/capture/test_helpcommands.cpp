// The keys and commands of the help pages that need the records host, used in turn on the shown
// main window against the demo office, as an operator would: each step checks what its page says.
#include <QSqlQuery>
#include <QTest>

#include <functional>

#include "annotate/frmImageRedaction.h"
#include "core/mode.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "test_request_fixture.h"

namespace {

// What a step leaves: the document's keys, the pages shown and those turned, the
// Start/Restart button, the modal forms and questions of the step, the images the host holds.
struct Seen {
    QString doc;
    int pages;
    QString turned;
    QString goNew;
    QStringList forms, asked;
    int stored;
    bool operator==(const Seen &) const = default;
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << s.doc.toStdString() << " pages " << s.pages << " turned {" << s.turned.toStdString() << "} "
        << s.goNew.toStdString() << " forms {" << s.forms.join(',').toStdString() << "} asked {"
        << s.asked.join('|').toStdString() << "} stored " << s.stored;
}

} // namespace

class HelpCommands : public RequestRoadTest {
protected:
    Seen seen()
    {
        FrmMain &f = *main;
        Seen s{g_Book + u'/' + g_Page, f.ezPageView->pageCount(), {}, f.btnGoNew->text(), {}, prompts(), 0};
        QStringList turned;
        for (int i = 0; i < s.pages; ++i)
            if (f.ezPageView->document()->quarterTurns(i) != 0)
                turned << QString::number(i + 1);
        s.turned = turned.join(',');
        for (const FormScript::Call &c : forms().calls())
            s.forms << c.form;
        QSqlQuery q(em->db());
        if (q.exec(QStringLiteral("SELECT COUNT(*) FROM registrations WHERE func = 'S'")) && q.next())
            s.stored = q.value(0).toInt();
        return s;
    }

    // A key pressed on the page view, where the window previews it; a mnemonic clicks a moment later.
    void press(Qt::Key key, Qt::KeyboardModifiers mods = {})
    {
        QWidget *area = main->ezPageView->findChild<QWidget *>(QStringLiteral("pageArea"));
        ASSERT_NE(area, nullptr);
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        QTest::keyClick(area, key, mods);
        if (mods & Qt::AltModifier)
            QTest::qWait(300);
    }

    void type(const QString &book, const QString &page)
    {
        for (auto [box, text] : {std::pair{main->txtBook_MARG, book}, std::pair{main->txtPage_MARG, page}}) {
            ASSERT_TRUE(box->isVisible() && box->isEnabled()) << box->objectName().toStdString();
            box->selectAll();
            QTest::keyClicks(box, text);
        }
    }
};

TEST_F(HelpCommands, EachDoesWhatItsHelpPageSays)
{
    seedDemoOffice();
    ASSERT_FALSE(HasFatalFailure());
    useSaneTestScanner();
    FrmMain &f = *main;
    set_g_dbMode(MODE_MARG);
    f.chkRedaction->setChecked(false);
    f.show();
    const QString first = QStringLiteral("001010/0001"), second = QStringLiteral("001010/0010"),
                  third = QStringLiteral("001010/0019");
    const QString notStored =
        QStringLiteral("This document has not been stored.  Are you sure you want to continue and lose all changes?");
    const QString pageCount = QStringLiteral("The number of pages scanned does not match the number of pages "
                                             "recorded, are you sure you wish to continue with store?");
    const QString redactSave = QStringLiteral(
        "Annotations have been added, changed, or deleted.  Would you like to save these changes?");
    int firstPages = 0; // the pages of book 1010 page 1's stored image

    struct Step {
        const char *what; // as the help names it
        std::function<void()> before, act;
        std::function<Seen()> after;
    };
    const Step steps[] = {
        {"Alt-A starts the document typed", [&] { type("1010", "1"); }, [&] { press(Qt::Key_A, Qt::AltModifier); },
         [&] {
             firstPages = f.ezPageView->pageCount();
             return Seen{first, firstPages, "", "Rest&art", {}, {}, 0};
         }},
        {"> shows the next document by its keys", [] {}, [&] { press(Qt::Key_Greater); },
         [&] { return Seen{second, 0, "", "Rest&art", {}, {}, 0}; }},
        {"< shows the previous document by its keys", [] {}, [&] { press(Qt::Key_Less); },
         [&] { return Seen{first, firstPages, "", "Rest&art", {}, {}, 0}; }},
        // (the question's Yes turns the page shown back: every page is turned first)
        {"Ctrl-Z undoes the changes, asking first",
         [&] {
             press(Qt::Key_F12);
             press(Qt::Key_R, Qt::AltModifier);
             ASSERT_EQ(seen().turned.count(','), firstPages - 1);
             boxes().answer(vb::vbYes);
         },
         [&] { press(Qt::Key_Z, Qt::ControlModifier); },
         [&] { return Seen{first, firstPages, "", "Rest&art", {}, {notStored}, 0}; }},
        {"Redact works without the Redaction box; closing the editor asks whether to save",
         [&] {
             forms().onShow(QStringLiteral("frmImageRedaction"), [](Form &form) {
                 QelEzImage &view = *static_cast<FrmImageRedaction &>(form).QelEzImage2;
                 QelAnnotItem *box = view.createAnnotation(QelAnnotType::Redaction);
                 ASSERT_NE(box, nullptr);
                 box->setBounds(QRect(10, 10, 40, 20));
                 boxes().answer(vb::vbNo);
                 form.close();
             });
         },
         [&] { QTest::mouseClick(f.btnRedact, Qt::LeftButton); },
         [&] { return Seen{first, firstPages, "", "Rest&art", {"frmImageRedaction"}, {redactSave}, 0}; }},
        {"Alt-A restarts to type the next one", [] {}, [&] { press(Qt::Key_A, Qt::AltModifier); },
         [&] { return Seen{first, 0, "", "St&art", {}, {}, 0}; }},
        {"Alt-S scans into the document found",
         [&] {
             type("1010", "10");
             press(Qt::Key_A, Qt::AltModifier);
         },
         [&] { press(Qt::Key_S, Qt::AltModifier); }, [&] { return Seen{second, 1, "", "Rest&art", {}, {}, 0}; }},
        // one page against the pages recorded: asked first; then the next document is looked up
        {"Alt-T stores it", [&] { boxes().answer(vb::vbYes); }, [&] { press(Qt::Key_T, Qt::AltModifier); },
         [&] { return Seen{third, 0, "", "Rest&art", {"frmStore"}, {pageCount}, 1}; }},
        {"Auto Next Page turns the pages, then looks up the next document without scanning",
         [&] {
             press(Qt::Key_A, Qt::AltModifier); // Restart
             type("1010", "1");
             press(Qt::Key_A, Qt::AltModifier);
             g_AutoNextPageInterface = 1;
         },
         [&] {
             QList<int> turned;
             auto watch = QObject::connect(f.ezPageView, &QelEzImage::pageChange, [&] { turned << f.ezPageView->page(); });
             QTest::mouseClick(f.chkAutoNextPage, Qt::LeftButton);
             const bool moved = QTest::qWaitFor([] { return g_Page == u"0010"; }, (firstPages + 4) * 1000);
             f.chkAutoNextPage->setChecked(false);
             QObject::disconnect(watch);
             EXPECT_TRUE(moved);
             for (int p = 2; p <= firstPages; ++p)
                 EXPECT_TRUE(turned.contains(p)) << p;
         },
         // the page the last step stored
         [&] { return Seen{second, 1, "", "Rest&art", {}, {}, 1}; }},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.what);
        s.before();
        ASSERT_FALSE(HasFatalFailure());
        forms().clear();
        boxes().clear();
        s.act();
        EXPECT_EQ(seen(), s.after());
        g_blnPromptStore = false;
    }
    EXPECT_GT(firstPages, 1);
    g_AutoNextPageInterface = 0;
    f.hide();
}
