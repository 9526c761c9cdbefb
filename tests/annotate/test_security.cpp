// Permission bytes and the security handlers' answers.
#include "annotate_env.h"

#include "annotate/security.h"
#include "platform/forms/msgbox.h"

namespace {

enum class Op { Add, Remove, Trigger, Change, Select, TurnFromOne, TurnFromZero, TurnNoList, TurnEmptyList, DocProperty };

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
    case Op::TurnNoList: s.SetItemProperty(doc, item, QelAnnotProp::Rotate, 0, allowed); break;
    case Op::TurnEmptyList: s.SetItemProperty(doc, item, QelAnnotProp::Rotate, QVariantList{}, allowed); break;
    case Op::DocProperty:
        s.SetDocProperty(doc, QelAnnotDocProp::Named, QVariantList{"x", 1}, allowed);
        break;
    }
    return allowed;
}

// The permission bit each operation needs; 0: always allowed.
int bitFor(Op op)
{
    switch (op) {
    case Op::Add: return AnnotPermBit::Add;
    case Op::Remove: return AnnotPermBit::Remove;
    case Op::Trigger: return AnnotPermBit::Trigger;
    case Op::Change:
    case Op::TurnFromOne:
    case Op::TurnNoList:
    case Op::TurnEmptyList: return AnnotPermBit::ChangeProperty;
    case Op::Select: return AnnotPermBit::ChangeProperty70;
    case Op::TurnFromZero:
    case Op::DocProperty: return 0;
    }
    return -1;
}

const Op kOps[] = {Op::Add,         Op::Remove,       Op::Trigger,    Op::Change,        Op::Select,
                   Op::TurnFromOne, Op::TurnFromZero, Op::TurnNoList, Op::TurnEmptyList, Op::DocProperty};
const int kTypes[] = {QelAnnotType::Text, QelAnnotType::Redaction, QelAnnotType::Rectangle, 5};

} // namespace

// Both handlers, every item type, every operation, every permission byte (and values beyond the
// byte, and the byte as text): an operation is allowed exactly when its bit is set in the item
// type's own byte; the other types' bytes (set to the opposite) never count; without a document
// everything is allowed and the item is not read.
TEST(AnnotSecurity, EveryTypeAndOperationAnswersFromItsOwnBit)
{
    ItemSecurity plain;
    ItemSecurityRedact redact;
    for (IQelAnnotSecurity *handler : {static_cast<IQelAnnotSecurity *>(&plain),
                                       static_cast<IQelAnnotSecurity *>(&redact)}) {
        for (int type : kTypes) {
            QelAnnotItem item(type);
            for (Op op : kOps)
                EXPECT_TRUE(ask(*handler, op, nullptr, nullptr)) << "no document, op " << int(op);
            for (int stored = -1; stored < 0x300; ++stored) {
                const int byte = stored < 0 ? 0 : stored & 0xFF; // -1: no property at all
                QelAnnotDocument doc;
                for (int other : kTypes)
                    if (other != type)
                        doc.setProperty(AnnotPerms::permPropertyName(other), ~byte & 0xFF);
                if (stored >= 0x200)
                    doc.setProperty(AnnotPerms::permPropertyName(type), QString::number(stored & 0xFF));
                else if (stored >= 0)
                    doc.setProperty(AnnotPerms::permPropertyName(type), stored);
                for (Op op : kOps) {
                    const int bit = bitFor(op);
                    EXPECT_EQ(ask(*handler, op, &doc, &item), bit == 0 || (byte & bit) != 0)
                        << "type " << type << " stored " << stored << " op " << int(op);
                }
            }
        }
    }
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
