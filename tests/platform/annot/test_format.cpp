#include "annottest.h"

#include "platform/annot/annoterror.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <cmath>
#include <limits>
#include <random>

namespace {

std::unique_ptr<QelAnnotDocument> fullDoc()
{
    auto doc = std::make_unique<QelAnnotDocument>();
    doc->setPageInfo(QSize(2550, 3300), 300, 200);
    doc->setProperty(QStringLiteral("flag"), true);
    doc->setProperty(QStringLiteral("short"), QVariant::fromValue(qint16(-7)));
    doc->setProperty(QStringLiteral("int"), 2147483647);
    doc->setProperty(QStringLiteral("long"), qlonglong(1) << 53 | 1); // not exact as a double
    doc->setProperty(QStringLiteral("real"), 0.1);
    doc->setProperty(QStringLiteral("inf"), -std::numeric_limits<double>::infinity());
    doc->setProperty(QStringLiteral("text"), QStringLiteral("Grüße \"quoted\"\r\nline"));
    doc->setProperty(QStringLiteral("bytes"), QByteArray("\x00\xff\x10", 3));
    doc->setProperty(QStringLiteral("empty"), QVariant());
    doc->setProperty(QStringLiteral("list"),
                     QVariantList{1, QStringLiteral("a"), QVariantList{false, 2.5}});

    auto text = std::make_unique<QelAnnotTextItem>();
    text->setBounds(QRect(-5, 10, 300, 60));
    text->setText(QStringLiteral("Bk L12 Pg101 #123\r\nsecond"));
    text->setFont(QelAnnotFont{QStringLiteral("Courier New"), 14, true, true});
    text->setJustification(QelAnnotJustify::Center);
    text->setTextOrientation(QelAnnotOrient::Up);
    text->setLineColor(0x123456);
    text->setUserStorage(QStringLiteral("BookPageImprintAnnotation"), QVariant::fromValue(qint16(1)));
    doc->add(std::move(text));
    auto blank = makeRect(QelAnnotType::Rectangle, QRect(100, 5, 775, 65), 0xFFFFFF);
    blank->setLineColor(0xFFFFFF);
    blank->setLineWidth(2);
    doc->add(std::move(blank));
    doc->add(makeRect(QelAnnotType::Redaction, QRect(1, 2, 3, 4), 0x0000FF));
    return doc;
}

} // namespace

TEST(AnnotFormat, RoundTripKeepsEveryField)
{
    auto doc = fullDoc();
    const QByteArray bytes = doc->toBytes();
    auto back = QelAnnotDocument::fromBytes(bytes);
    EXPECT_FALSE(back->isModified());
    EXPECT_EQ(back->toBytes(), bytes);
    EXPECT_EQ(back->pageSize(), QSize(2550, 3300));
    EXPECT_EQ(back->dpiX(), 300.0);
    EXPECT_EQ(back->dpiY(), 200.0);

    EXPECT_EQ(back->properties().size(), doc->properties().size());
    for (auto p = doc->properties().cbegin(); p != doc->properties().cend(); ++p) {
        SCOPED_TRACE(p.key().toStdString());
        const QVariant v = back->property(p.key());
        EXPECT_EQ(v.typeId(), p.value().typeId());
        if (p.value().typeId() != QMetaType::Double) {
            EXPECT_EQ(v, p.value());
        }
    }
    EXPECT_EQ(back->property(QStringLiteral("long")).toLongLong(), (qlonglong(1) << 53) | 1);
    EXPECT_EQ(back->property(QStringLiteral("real")).toDouble(), 0.1);
    EXPECT_TRUE(std::isinf(back->property(QStringLiteral("inf")).toDouble()));

    ASSERT_EQ(back->count(), 3);
    for (int i = 0; i < 3; ++i) {
        const QelAnnotItem *a = doc->item(i);
        const QelAnnotItem *b = back->item(i);
        EXPECT_EQ(b->type(), a->type());
        EXPECT_EQ(b->bounds(), a->bounds());
        EXPECT_EQ(b->lineColor(), a->lineColor());
        EXPECT_EQ(b->fillColor(), a->fillColor());
        EXPECT_EQ(b->lineWidth(), a->lineWidth());
        EXPECT_EQ(b->textData(), a->textData());
        EXPECT_EQ(b->justification(), a->justification());
        EXPECT_EQ(b->textOrientation(), a->textOrientation());
        EXPECT_EQ(b->userStorageAll(), a->userStorageAll());
        EXPECT_EQ(b->document(), back.get());
    }
    // The imprint tag reads back as the text "1".
    EXPECT_EQ(back->item(0)->userStorage(QStringLiteral("BookPageImprintAnnotation")).toString(),
              QStringLiteral("1"));
}

TEST(AnnotFormat, MalformedInputRaisesVbError)
{
    const QByteArray good = fullDoc()->toBytes();
    auto with = [&](const char *from, const char *to) {
        QByteArray b = good;
        b.replace(from, to);
        EXPECT_NE(b, good) << from;
        return b;
    };
    QByteArray manyItems = R"({"format":"quorla-annot","version":1,"page":{"width":1,"height":1,"dpiX":1,"dpiY":1},"properties":[],"items":[)";
    for (int i = 0; i < 100001; ++i)
        manyItems += i ? ",0" : "0";
    manyItems += "]}";
    QByteArray deepList = R"({"format":"quorla-annot","version":1,"page":{"width":1,"height":1,"dpiX":1,"dpiY":1},"properties":[{"name":"x","value":)";
    for (int i = 0; i < 20; ++i)
        deepList += R"({"t":"list","v":[)";
    deepList += R"({"t":"null"})";
    for (int i = 0; i < 20; ++i)
        deepList += "]}";
    deepList += "}],\"items\":[]}";

    const struct {
        const char *name;
        QByteArray bytes;
        int number;
    } cases[] = {
        {"empty", QByteArray(), annotErr::BadData},
        {"not json", "annotations", annotErr::BadData},
        {"array root", "[]", annotErr::BadData},
        {"other format", with("quorla-annot", "other"), annotErr::BadData},
        {"newer version", with("\"version\":1", "\"version\":2"), annotErr::BadVersion},
        {"version as text", with("\"version\":1", "\"version\":\"1\""), annotErr::BadData},
        {"items not a list", with("\"items\":[", "\"items\":{\"a\":[").append('}'), annotErr::BadData},
        {"page missing", with("\"page\"", "\"pagex\""), annotErr::BadData},
        {"zero resolution", with("\"dpiX\":300", "\"dpiX\":0"), annotErr::BadData},
        {"bounds short", with("[1,2,3,4]", "[1,2,3]"), annotErr::BadData},
        {"negative width", with("[1,2,3,4]", "[1,2,-3,4]"), annotErr::BadData},
        {"huge coordinate", with("[1,2,3,4]", "[1e300,2,3,4]"), annotErr::BadData},
        {"fractional coordinate", with("[1,2,3,4]", "[1.5,2,3,4]"), annotErr::BadData},
        {"type as text", with("\"type\":7", "\"type\":\"7\""), annotErr::BadData},
        {"colour too big", with("\"fillColor\":255", "\"fillColor\":16777216"), annotErr::BadData},
        {"zero font size", with("\"size\":14", "\"size\":0"), annotErr::BadData},
        {"orientation 5", with("\"orientation\":4", "\"orientation\":5"), annotErr::BadData},
        {"unknown value type", with("{\"t\":\"bool\"", "{\"t\":\"date\""), annotErr::BadData},
        {"i16 out of range", with("\"v\":-7", "\"v\":40000"), annotErr::BadData},
        {"i64 not a number", with("\"9007199254740993\"", "\"9x\""), annotErr::BadData},
        {"bad base64", with("\"AP8Q\"", "\"A*8Q\""), annotErr::BadData},
        {"too many items", manyItems, annotErr::TooLarge},
        {"list nesting", deepList, annotErr::TooLarge},
        {"oversized", QByteArray(17 * 1024 * 1024, ' '), annotErr::TooLarge},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorOf([&] { QelAnnotDocument::fromBytes(c.bytes); }), c.number);
    }
}

TEST(AnnotFormat, EveryTruncationIsRejected)
{
    const QByteArray good = fullDoc()->toBytes();
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_THROW(QelAnnotDocument::fromBytes(good.left(n)), VbError) << "length " << n;
}

// Mutates valid data for a bounded time, and for at least 1000 inputs however slow the build
// (sanitizers, a loaded machine): every input either loads (and then saves and loads
// again to the same bytes) or raises VbError; nothing else escapes and nothing crashes.
TEST(AnnotFormat, FuzzedInputNeverEscapesAsAnythingButVbError)
{
    const QByteArray seed = fullDoc()->toBytes();
    const QByteArray tokens[] = {"{", "}", "[", "]", ",", ":", "\"", "-1", "1e999", "null",
                                 "true", "\"t\":\"list\"", "\\u0000", "0", "\xff"};
    std::mt19937 rng(20261208);
    QElapsedTimer timer;
    timer.start();
    int loaded = 0, rejected = 0;
    while (timer.elapsed() < 2500 || loaded + rejected < 1000) {
        QByteArray b = seed;
        const int edits = 1 + int(rng() % 6);
        for (int e = 0; e < edits && !b.isEmpty(); ++e) {
            const qsizetype pos = qsizetype(rng() % quint32(b.size()));
            switch (rng() % 5) {
            case 0: b[pos] = char(rng()); break;
            case 1: b.remove(pos, 1 + qsizetype(rng() % 8)); break;
            case 2: b.insert(pos, tokens[rng() % std::size(tokens)]); break;
            case 3: { // a digit run becomes another number
                b.insert(pos, QByteArray::number(qint64(rng()) - (1LL << 31)));
                break;
            }
            default: { // duplicate a chunk
                const qsizetype len = qMin<qsizetype>(b.size() - pos, 1 + rng() % 64);
                b.insert(pos, b.mid(pos, len));
            }
            }
        }
        try {
            auto doc = QelAnnotDocument::fromBytes(b);
            const QByteArray again = doc->toBytes();
            EXPECT_EQ(QelAnnotDocument::fromBytes(again)->toBytes(), again);
            ++loaded;
        } catch (const VbError &) {
            ++rejected;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(rejected, 0);
}
