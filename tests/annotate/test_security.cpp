// Permission bytes and the security handlers' answers.
#include "annotate_env.h"

#include "annotate/security.h"
#include "platform/forms/msgbox.h"

namespace {

enum class Op { Add, Remove, Trigger, Change, Select, TurnFromOne, TurnFromZero, DocProperty };

bool ask(IQelAnnotSecurity &s, Op op, QelAnnotDocument *doc, QelAnnotItem *item)
{
    bool allowed = false;
    switch (op) {
    case Op::Add: s.AddItem(doc, item, allowed); break;
    case Op::Remove: s.RemoveItem(doc, item, allowed); break;
    case Op::Trigger: s.TriggerItem(doc, item, allowed); break;
    case Op::Change: s.SetItemProperty(doc, item, QelAnnotProp::Top, 5, allowed); break;
    case Op::Select: s.SetItemProperty(doc, item, QelAnnotProp::Selected, true, allowed); break;
    case Op::TurnFromOne:
        s.SetItemProperty(doc, item, QelAnnotProp::Rotate, QVariantList{1, 100, 200}, allowed);
        break;
    case Op::TurnFromZero:
        s.SetItemProperty(doc, item, QelAnnotProp::Rotate, QVariantList{0, 100, 200}, allowed);
        break;
    case Op::DocProperty:
        s.SetDocProperty(doc, QelAnnotDocProp::Named, QVariantList{"x", 1}, allowed);
        break;
    }
    return allowed;
}

struct PermCase {
    QVariant stored; // invalid: no property
    Op op;
    bool allowed;
};

const PermCase permCases[] = {
    {QVariant(), Op::Add, false},          {QVariant(), Op::Remove, false},
    {QVariant(), Op::Trigger, false},      {QVariant(), Op::Change, false},
    {QVariant(), Op::Select, false},       {QVariant(), Op::TurnFromOne, false},
    {QVariant(), Op::TurnFromZero, true},  {QVariant(), Op::DocProperty, true},
    {1, Op::Change, true},                 {1, Op::TurnFromOne, true},
    {1, Op::Select, false},                {1, Op::Add, false},
    {16, Op::Select, true},                {16, Op::Change, false},
    {16, Op::TurnFromOne, false},          {16, Op::TurnFromZero, true},
    {2, Op::Add, true},                    {2, Op::Remove, false},
    {4, Op::Remove, true},                 {4, Op::Trigger, false},
    {8, Op::Trigger, true},                {8, Op::Add, false},
    {255, Op::Add, true},                  {255, Op::Remove, true},
    {255, Op::Trigger, true},              {255, Op::Select, true},
    {0x100, Op::Add, false},               {0x1FE, Op::Add, true}, // low 8 bits only
    {QStringLiteral("6"), Op::Remove, true},
};

} // namespace

TEST(AnnotSecurity, AnswersFromTheItemTypesByte)
{
    ItemSecurity plain;
    ItemSecurityRedact redact;
    for (IQelAnnotSecurity *handler : {static_cast<IQelAnnotSecurity *>(&plain),
                                       static_cast<IQelAnnotSecurity *>(&redact)}) {
        int row = 0;
        for (const PermCase &c : permCases) {
            QelAnnotDocument doc;
            QelAnnotItem item(QelAnnotType::Redaction);
            if (c.stored.isValid())
                doc.setProperty(QStringLiteral("QelToolsPerms1_7"), c.stored);
            // A byte for another type never counts.
            doc.setProperty(QStringLiteral("QelToolsPerms1_2"), 255);
            EXPECT_EQ(ask(*handler, c.op, &doc, &item), c.allowed) << "row " << row;
            ++row;
        }
    }
}

TEST(AnnotSecurity, WithoutADocumentEverythingIsAllowedAndTheItemIsNotRead)
{
    ItemSecurity handler;
    for (Op op : {Op::Add, Op::Remove, Op::Trigger, Op::Change, Op::Select, Op::TurnFromOne,
                  Op::DocProperty})
        EXPECT_TRUE(ask(handler, op, nullptr, nullptr));
}

TEST(AnnotSecurity, TurnValueThatIsNoListIsAnOrdinaryChange)
{
    ItemSecurity handler;
    QelAnnotDocument doc;
    QelAnnotItem item(QelAnnotType::Text);
    bool allowed = true;
    handler.SetItemProperty(&doc, &item, QelAnnotProp::Rotate, 0, allowed);
    EXPECT_FALSE(allowed);
    doc.setProperty(QStringLiteral("QelToolsPerms1_2"), 1);
    handler.SetItemProperty(&doc, &item, QelAnnotProp::Rotate, QVariantList{}, allowed);
    EXPECT_TRUE(allowed);
}

TEST(AnnotSecurity, InstalledHandlerGuardsTheDocumentsEdits)
{
    QelAnnotDocument doc;
    doc.adoptSecurity(std::make_unique<ItemSecurity>());
    qint32 addOnly = AnnotPermBit::Add;
    AnnotPerms::SetPerm(&doc, QelAnnotType::Text, addOnly);

    EXPECT_TRUE(doc.add(std::make_unique<QelAnnotTextItem>()));
    EXPECT_FALSE(doc.add(std::make_unique<QelAnnotItem>(QelAnnotType::Redaction)));
    ASSERT_EQ(doc.count(), 1);
    EXPECT_FALSE(doc.item(0)->setText(QStringLiteral("no")));
    EXPECT_FALSE(doc.remove(0));
    EXPECT_EQ(doc.count(), 1);
}

TEST(AnnotPerms, PropertyNameStoreAndReadBack)
{
    EXPECT_EQ(AnnotPerms::permPropertyName(11), QStringLiteral("QelToolsPerms1_11"));
    QelAnnotDocument doc;
    EXPECT_EQ(AnnotPerms::GetPerm(&doc, 11), 0);
    qint32 perm = 0x1234;
    EXPECT_EQ(AnnotPerms::SetPerm(&doc, 11, perm), 0x1234);
    EXPECT_EQ(doc.property(QStringLiteral("QelToolsPerms1_11")).toInt(), 0x1234);
    EXPECT_EQ(AnnotPerms::GetPerm(&doc, 11), 0x34);
    EXPECT_FALSE(doc.isModified());

    qint32 kept = 9;
    EXPECT_EQ(AnnotPerms::SetPerm(nullptr, 11, kept), 9);
    EXPECT_EQ(AnnotPerms::GetPerm(nullptr, 11), 0);
    EXPECT_TRUE(AnnotPerms::IsDocNothing(nullptr));
    EXPECT_FALSE(AnnotPerms::IsDocNothing(&doc));
}

TEST(AnnotPerms, InitPermGivesAllRightsWhateverWasThere)
{
    QelAnnotDocument doc;
    doc.setProperty(QStringLiteral("QelToolsPerms1_7"), 16);
    InitPerm(&doc, 7);
    InitPerm(&doc, 11);
    EXPECT_EQ(doc.property(QStringLiteral("QelToolsPerms1_7")).toInt(), 255);
    EXPECT_EQ(doc.property(QStringLiteral("QelToolsPerms1_11")).toInt(), 255);

    MsgBoxScript boxes;
    InitPerm(nullptr, 7);
    EXPECT_TRUE(boxes.calls().isEmpty());
}

using SetSecurity = AnnotTest;

TEST_F(SetSecurity, EveryPageGetsItsOwnHandlerAndFullRights)
{
    MsgBoxScript boxes;
    EXPECT_TRUE(do_set_annotation_security(view())) << "an empty control succeeds";
    EXPECT_EQ(view().pageCount(), 0);
    EXPECT_TRUE(boxes.calls().isEmpty());

    addPages(3);
    view().setPage(2);
    view().annotationSet()->setModified(true);

    ASSERT_TRUE(do_set_annotation_security(view()));

    QList<IQelAnnotSecurity *> handlers;
    for (int page = 1; page <= 3; ++page) {
        view().setPage(page);
        QelAnnotDocument *doc = view().annotationSet();
        auto *handler = dynamic_cast<ItemSecurity *>(doc->security());
        ASSERT_NE(handler, nullptr) << "page " << page;
        EXPECT_EQ(dynamic_cast<ItemSecurityRedact *>(doc->security()), nullptr);
        EXPECT_FALSE(handlers.contains(handler));
        handlers << handler;
        for (int type : {2, 7, 11})
            EXPECT_EQ(AnnotPerms::GetPerm(doc, type), 255) << "page " << page << " type " << type;
        EXPECT_EQ(doc->isModified(), page == 2) << "page " << page;
        // A type that was never seeded cannot be added.
        EXPECT_FALSE(doc->add(std::make_unique<QelAnnotItem>(5)));
        EXPECT_TRUE(doc->add(std::make_unique<QelAnnotTextItem>()));
    }
}
