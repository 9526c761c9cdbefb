#include "annottest.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A page with one text item and one redaction, saved and marked unmodified.
std::unique_ptr<QelAnnotDocument> sampleDoc()
{
    auto doc = std::make_unique<QelAnnotDocument>();
    doc->setPageInfo(QSize(1700, 2200), 200, 200);
    auto text = std::make_unique<QelAnnotTextItem>();
    text->setText(QStringLiteral("Bk 12 Pg101 #45"));
    text->setBounds(QRect(100, 50, 300, 40));
    doc->add(std::move(text));
    doc->add(makeRect(QelAnnotType::Redaction, QRect(400, 400, 200, 100)));
    doc->setModified(false);
    return doc;
}

struct Edit {
    const char *name;
    std::function<bool(QelAnnotDocument &, QelAnnotTools &)> run;
    std::function<void(QelAnnotDocument &)> prepare = {}; // before the handler is installed
};

const std::vector<Edit> &edits()
{
    static const std::vector<Edit> all = {
        {"add", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.add(makeRect(QelAnnotType::Rectangle, QRect(1, 1, 5, 5)));
         }},
        {"remove", [](QelAnnotDocument &d, QelAnnotTools &) { return d.remove(0); }},
        {"trigger", [](QelAnnotDocument &d, QelAnnotTools &) { return d.trigger(d.item(0)); }},
        {"doc property", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.setProperty(QStringLiteral("Note"), 5);
         }},
        {"move", [](QelAnnotDocument &d, QelAnnotTools &) { return d.item(1)->moveTo(10, 20); }},
        {"text", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.item(0)->setText(QStringLiteral("changed"));
         }},
        {"font", [](QelAnnotDocument &d, QelAnnotTools &) {
             QelAnnotFont f;
             f.name = QStringLiteral("Courier New");
             f.bold = true;
             return d.item(0)->setFont(f);
         }},
        {"colour", [](QelAnnotDocument &d, QelAnnotTools &) { return d.item(1)->setFillColor(0xFF); }},
        {"orientation", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.item(0)->setTextOrientation(QelAnnotOrient::Up);
         }},
        {"user storage", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.item(0)->setUserStorage(QStringLiteral("BookPageImprintAnnotation"), 1);
         }},
        {"resize", [](QelAnnotDocument &d, QelAnnotTools &) { return d.item(0)->resize(300, 300); }},
        {"rotate item", [](QelAnnotDocument &d, QelAnnotTools &) {
             return d.item(1)->rotate(1, QSize(1700, 2200));
         }},
        {"tool draw", [](QelAnnotDocument &d, QelAnnotTools &t) {
             t.setItemTemplate(&QelAnnotTools::defaultTemplate(QelAnnotType::Redaction));
             return t.draw(d, QRect(5, 5, 50, 50)) != nullptr;
         }},
        {"tool select", [](QelAnnotDocument &d, QelAnnotTools &t) { return t.select(d, d.item(1)); }},
        {"tool delete", [](QelAnnotDocument &d, QelAnnotTools &t) { return t.deleteSelected(d) == 1; },
         [](QelAnnotDocument &d) { d.item(1)->setSelected(true); }},
    };
    return all;
}

} // namespace

TEST(AnnotSecurity, EveryEditIsAllowedWithoutAHandlerAndANoOpWhenRefused)
{
    for (const Edit &e : edits()) {
        for (bool refused : {false, true}) {
            SCOPED_TRACE(std::string(e.name) + (refused ? " refused" : ""));
            auto doc = sampleDoc();
            if (e.prepare)
                e.prepare(*doc);
            const QByteArray before = doc->toBytes();
            const int selectedBefore = doc->item(1)->isSelected();
            ScriptedSecurity sec;
            sec.refuseAll();
            if (refused)
                doc->setSecurity(&sec);
            QelAnnotTools tools;
            bool result = refused;
            EXPECT_NO_THROW(result = e.run(*doc, tools));
            EXPECT_EQ(result, !refused);
            if (refused) {
                EXPECT_FALSE(sec.calls.isEmpty()) << "the handler was not asked";
                EXPECT_EQ(doc->toBytes(), before);
                EXPECT_EQ(int(doc->item(1)->isSelected()), selectedBefore);
                EXPECT_FALSE(doc->isModified());
            } else {
                // Everything but a trigger or a selection changes the saved set and marks it modified.
                const bool viewOnly = QByteArray(e.name) == "trigger" || QByteArray(e.name) == "tool select";
                EXPECT_EQ(doc->toBytes() != before, !viewOnly);
                EXPECT_EQ(doc->isModified(), !viewOnly);
            }
        }
    }
}

TEST(AnnotSecurity, AskingHandlerAllowsAndSeesThePropertyIds)
{
    auto doc = sampleDoc();
    ScriptedSecurity sec;
    doc->setSecurity(&sec);
    QelAnnotTools tools;
    EXPECT_TRUE(tools.select(*doc, doc->item(0)));
    EXPECT_TRUE(doc->item(1)->rotate(0, doc->pageSize()));
    EXPECT_TRUE(doc->item(1)->setBounds(QRect(0, 0, 3, 3)));
    EXPECT_TRUE(doc->setProperty(QStringLiteral("QelToolsPerms1_2"), 255));
    EXPECT_EQ(sec.calls, (QStringList{QStringLiteral("SetItemProperty 70"),
                                      QStringLiteral("SetItemProperty 110"),
                                      QStringLiteral("SetItemProperty 3"),
                                      QStringLiteral("SetDocProperty 1")}));
}

TEST(AnnotSecurity, RefusedAddDropsTheItemAndDetachedItemsAskNobody)
{
    auto doc = sampleDoc();
    ScriptedSecurity sec;
    sec.add = false;
    doc->setSecurity(&sec);
    auto item = makeRect(QelAnnotType::Redaction, QRect(0, 0, 10, 10));
    EXPECT_TRUE(item->setFillColor(0x00FF00)); // not in a document yet
    EXPECT_TRUE(sec.calls.isEmpty());
    EXPECT_FALSE(doc->add(std::move(item)));
    EXPECT_EQ(doc->count(), 2);
    EXPECT_THROW(doc->item(2), VbError);
    EXPECT_THROW(doc->remove(-1), VbError);
}

TEST(AnnotSecurity, PermissionSeedingIsNoChangeAndIsNeverSaved)
{
    auto doc = sampleDoc();
    doc->setProperty(QStringLiteral("QelToolsPerms1_2"), 16);
    doc->setProperty(QStringLiteral("QelToolsPerms1_11"), 255);
    EXPECT_FALSE(doc->isModified());
    EXPECT_EQ(doc->property(QStringLiteral("QelToolsPerms1_11")).toInt(), 255);
    const QByteArray bytes = doc->toBytes();
    EXPECT_FALSE(bytes.contains("QelToolsPerms1_"));

    // Permission bytes planted in a file are not taken over either.
    QByteArray planted = bytes;
    planted.replace("\"properties\":[]",
                    "\"properties\":[{\"name\":\"QelToolsPerms1_7\",\"value\":{\"t\":\"i32\",\"v\":255}}]");
    ASSERT_NE(planted, bytes);
    auto loaded = QelAnnotDocument::fromBytes(planted);
    EXPECT_FALSE(loaded->property(QStringLiteral("QelToolsPerms1_7")).isValid());

    doc->setProperty(QStringLiteral("Reviewed"), true);
    EXPECT_TRUE(doc->isModified());
}

namespace {
struct CountedSecurity : ScriptedSecurity {
    int *deaths;
    explicit CountedSecurity(int *d) : deaths(d) {}
    ~CountedSecurity() override { ++*deaths; }
};
} // namespace

TEST(AnnotSecurity, AdoptedHandlerIsFreedOnReplacementBorrowedOneIsNot)
{
    int deaths = 0;
    CountedSecurity borrowed(&deaths);
    {
        QelAnnotDocument doc;
        doc.adoptSecurity(std::make_unique<CountedSecurity>(&deaths));
        doc.adoptSecurity(std::make_unique<CountedSecurity>(&deaths));
        EXPECT_EQ(deaths, 1);
        doc.setSecurity(&borrowed);
        EXPECT_EQ(deaths, 2);
        EXPECT_EQ(doc.security(), &borrowed);
        doc.adoptSecurity(std::make_unique<CountedSecurity>(&deaths));
    }
    EXPECT_EQ(deaths, 3);
}

TEST(AnnotSecurity, LoadingASetAppendsThroughTheHandler)
{
    auto doc = sampleDoc();
    QelAnnotDocument other;
    other.add(makeRect(QelAnnotType::Rectangle, QRect(7, 7, 7, 7), 0xFFFFFF));
    other.add(makeRect(QelAnnotType::Redaction, QRect(8, 8, 8, 8)));
    const QByteArray set = other.toBytes();

    EXPECT_EQ(doc->appendFromBytes(set), 2);
    ASSERT_EQ(doc->count(), 4);
    EXPECT_EQ(doc->item(0)->type(), QelAnnotType::Text); // old items stay below
    EXPECT_EQ(doc->item(2)->bounds(), QRect(7, 7, 7, 7));
    EXPECT_EQ(doc->item(3)->bounds(), QRect(8, 8, 8, 8));

    ScriptedSecurity sec;
    sec.add = false;
    doc->setSecurity(&sec);
    EXPECT_EQ(doc->appendFromBytes(set), 0);
    EXPECT_EQ(doc->count(), 4);
}

TEST(AnnotTools, StickyModeKeepsTheTemplateAndSelectionIsExclusive)
{
    QelAnnotDocument doc;
    QelAnnotTools tools;
    QelAnnotItem &tmpl = QelAnnotTools::defaultTemplate(QelAnnotType::Redaction);
    const quint32 oldColour = tmpl.fillColor();
    tmpl.setFillColor(0x0000FF);
    tools.setItemTemplate(&tmpl);
    QelAnnotItem *a = tools.draw(doc, QRect(50, 50, -20, -20)); // dragged up and left
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fillColor(), 0x0000FFu);
    EXPECT_EQ(a->bounds(), QRect(30, 30, 20, 20));
    EXPECT_EQ(tools.itemTemplate(), nullptr); // back to selecting
    EXPECT_EQ(tools.draw(doc, QRect(0, 0, 5, 5)), nullptr);

    tools.setSticky(true);
    tools.setItemTemplate(&tmpl);
    QelAnnotItem *b = tools.draw(doc, QRect(100, 100, 10, 10));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(tools.itemTemplate(), &tmpl);
    tmpl.setFillColor(oldColour);

    EXPECT_EQ(doc.itemAt(QPoint(105, 105)), b);
    EXPECT_EQ(doc.itemAt(QPoint(0, 0)), nullptr);
    tools.select(doc, a);
    tools.select(doc, b);
    EXPECT_FALSE(a->isSelected());
    tools.select(doc, a, true);
    EXPECT_TRUE(a->isSelected() && b->isSelected());
    EXPECT_EQ(tools.deleteSelected(doc), 2);
    EXPECT_EQ(doc.count(), 0);
}
