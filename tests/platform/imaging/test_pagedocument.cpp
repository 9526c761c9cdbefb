#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <tiffio.h>

#include <random>

#include "imagingtestutil.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/reduction.h"
#include "platform/imaging/tiffcodec.h"

using namespace imgtest;

namespace {

int errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const VbError &e) {
        return e.number;
    }
    return 0;
}

std::shared_ptr<QelPageDocument> docOf(const QList<QImage> &pages)
{
    auto doc = QelPageDocument::create();
    for (const QImage &p : pages)
        doc->insertImage(doc->pageCount(), p);
    return doc;
}

bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    return x == y;
}

class PageDocumentTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void TearDown() override { memfiles::clearMemFiles(); }
};

TEST_F(PageDocumentTest, MixedDocumentKeepsPagesSizesResolutionAndCompression)
{
    const QList<QImage> pages = {bilevel(101, 80, 300, QRect(10, 10, 20, 30)), grey(64, 50, 200),
                                 colour(33, 31, 150)};
    auto doc = docOf(pages);
    const QString file = path("mixed.tif");
    doc->save(file);

    const QString info = tiffinfo(file);
    EXPECT_EQ(info.count(QStringLiteral("TIFF Directory")), 3) << info.toStdString();
    EXPECT_EQ(info.count(QStringLiteral("Compression Scheme: CCITT Group 4")), 1) << info.toStdString();
    EXPECT_EQ(info.count(QStringLiteral("Compression Scheme: LZW")), 2) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Image Width: 101 Image Length: 80")));
    EXPECT_TRUE(info.contains(QStringLiteral("Resolution: 300, 300 pixels/inch")));
    EXPECT_TRUE(info.contains(QStringLiteral("Resolution: 150, 150 pixels/inch")));
    EXPECT_FALSE(info.contains(QStringLiteral("Error"))) << info.toStdString();

    auto back = QelPageDocument::create();
    back->load(file);
    ASSERT_EQ(back->pageCount(), 3);
    const int compression[] = {COMPRESSION_CCITTFAX4, COMPRESSION_LZW, COMPRESSION_LZW};
    const int dpi[] = {300, 200, 150};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back->info(i).width, pages[i].width());
        EXPECT_EQ(back->info(i).height, pages[i].height());
        EXPECT_NEAR(back->info(i).xDpi, dpi[i], 0.01);
        EXPECT_EQ(back->info(i).compression, compression[i]);
        EXPECT_TRUE(samePixels(back->image(i), pages[i]));
    }
    EXPECT_TRUE(back->info(0).bilevel());
    EXPECT_EQ(back->image(1).format(), QImage::Format_Grayscale8);
    EXPECT_EQ(back->image(2).format(), QImage::Format_RGB888);

    // Saving the loaded document again copies the stored pages; they read back the same.
    const QString again = path("again.tif");
    back->save(again);
    auto third = QelPageDocument::create();
    third->load(again);
    ASSERT_EQ(third->pageCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(samePixels(third->image(i), pages[i]));
}

TEST_F(PageDocumentTest, MemFilesWorkWherePathsDo)
{
    auto doc = docOf({bilevel(40, 30, 200), grey(20, 20, 100)});
    doc->save(QStringLiteral("mem:a.tif"));
    EXPECT_TRUE(memfiles::exists(QStringLiteral("mem:a.tif")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("mem:a.tif")));
    auto back = QelPageDocument::create();
    back->load(QStringLiteral("mem:a.tif"));
    EXPECT_EQ(back->pageCount(), 2);
    EXPECT_EQ(back->fileName(), QStringLiteral("mem:a.tif"));
    EXPECT_EQ(errorOf([&] { back->load(QStringLiteral("mem:missing.tif")); }), ezErr::FileNotFound);
    EXPECT_EQ(back->pageCount(), 0);
    EXPECT_EQ(errorOf([&] { back->load(path("missing.tif")); }), ezErr::FileNotFound);
}

// The loaded file is read as it was when loaded: saved over (beside it, then renamed, keeping
// its mode), written over by another document, then removed.
TEST_F(PageDocumentTest, PagesStayReadableWhenTheLoadedFileIsReplaced)
{
    const QList<QImage> pages = {bilevel(64, 40, 200, QRect(1, 1, 8, 8)), grey(30, 20, 200), colour(20, 10, 150)};
    const QString file = path("doc.tif");
    docOf(pages)->save(file);
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(file, mode));
    auto doc = QelPageDocument::create();
    doc->load(file);
    doc->save(file);
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                     | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                     | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFile::permissions(file) & all, mode);
    docOf({bilevel(8, 8, 200)})->save(file);
    ASSERT_TRUE(QFile::remove(file));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(samePixels(doc->image(i), pages[i])) << i;
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "temporaries left";
}

// A document shown from a file another may cut short while it is copied: the cut pages fail
// (the file is read, not mapped), and once read from the whole copy none do.
TEST_F(PageDocumentTest, PagesShownWhileCopiedSurviveTheSourceBeingCutShort)
{
    const QList<QImage> pages = {grey(300, 200, 200), colour(200, 150, 150), grey(310, 220, 200)};
    const QString source = path("share.tif"), copy = path("temp.tif");
    for (bool copied : {false, true}) {
        SCOPED_TRACE(copied);
        QFile::remove(copy);
        docOf(pages)->save(source);
        auto doc = QelPageDocument::create();
        doc->load(copy, source);
        EXPECT_EQ(doc->fileName(), copy);
        ASSERT_EQ(doc->pageCount(), 3);
        EXPECT_TRUE(samePixels(doc->image(0), pages[0]));
        if (copied) {
            ASSERT_TRUE(QFile::copy(source, copy));
            doc->readLoadedFile();
        }
        QFile cut(source);
        ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
        ASSERT_TRUE(cut.resize(200));
        cut.close();
        for (int i = 1; i < 3; ++i) {
            if (copied)
                EXPECT_TRUE(samePixels(doc->image(i), pages[i])) << i;
            else
                EXPECT_EQ(errorOf([&] { doc->image(i); }), ezErr::BadImageFile) << i;
        }
    }
}

TEST_F(PageDocumentTest, SavingAnEmptyDocumentRaises)
{
    auto doc = QelPageDocument::create();
    EXPECT_EQ(errorOf([&] { doc->save(path("x.tif")); }), ezErr::EmptyDocument);
    EXPECT_FALSE(QFile::exists(path("x.tif")));
}

TEST_F(PageDocumentTest, AppendPutsTheTargetsPagesFirst)
{
    docOf({bilevel(50, 50, 200, QRect(0, 0, 5, 5))})->save(path("cover.tif"));
    auto doc = docOf({grey(30, 20, 200), bilevel(60, 70, 200)});
    QelSaveOptions opt;
    opt.append = true;
    doc->save(path("cover.tif"), opt);
    auto back = QelPageDocument::create();
    back->load(path("cover.tif"));
    ASSERT_EQ(back->pageCount(), 3);
    EXPECT_EQ(back->info(0).width, 50);
    EXPECT_EQ(back->info(1).width, 30);
    EXPECT_EQ(back->info(2).width, 60);
    // Appending to a target that does not exist yet just writes the pages.
    doc->save(path("new.tif"), opt);
    back->load(path("new.tif"));
    EXPECT_EQ(back->pageCount(), 2);
}

TEST_F(PageDocumentTest, DeleteAndMovePages)
{
    QList<QImage> pages;
    for (int i = 1; i <= 7; ++i)
        pages << bilevel(10 * i, 10, 200);
    auto doc = docOf(pages);
    doc->deletePages({1, 3, 4, 5, 3});
    ASSERT_EQ(doc->pageCount(), 3);
    EXPECT_EQ(doc->info(0).width, 10);
    EXPECT_EQ(doc->info(1).width, 30);
    EXPECT_EQ(doc->info(2).width, 70);
    doc->movePage(2, 0);
    EXPECT_EQ(doc->info(0).width, 70);
    EXPECT_EQ(doc->info(1).width, 10);
    EXPECT_EQ(errorOf([&] { doc->deletePages({3}); }), ezErr::InvalidPage);
    EXPECT_EQ(doc->pageCount(), 3);
}

TEST_F(PageDocumentTest, PendingTurnsAreAppliedOnSaveWithTheAnnotations)
{
    // A 40 x 20 page with one black pixel at (3, 5) and a 4 x 2 item at (10, 2).
    const int W = 40, H = 20;
    auto doc = docOf({bilevel(W, H, 200, QRect(3, 5, 1, 1)), grey(W, H, 200), colour(W, H, 200)});
    for (int i = 0; i < 3; ++i) {
        auto item = std::make_unique<QelAnnotItem>(QelAnnotType::Rectangle);
        item->setBounds(QRect(10, 2, 4, 2));
        ASSERT_TRUE(doc->annotations(i)->add(std::move(item)));
    }
    const QImage greyBefore = doc->image(1), colourBefore = doc->image(2);
    for (int i = 0; i < 3; ++i)
        doc->setQuarterTurns(i, 3);
    EXPECT_EQ(doc->quarterTurns(0), 3);
    doc->save(path("turned.tif"));

    auto back = QelPageDocument::create();
    back->load(path("turned.tif"));
    ASSERT_EQ(back->pageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back->info(i).width, H);
        EXPECT_EQ(back->info(i).height, W);
        // Three quarter turns clockwise: (x, y) -> (y, W - 1 - x).
        ASSERT_EQ(back->annotations(i)->count(), 1);
        EXPECT_EQ(back->annotations(i)->item(0)->bounds(), QRect(2, W - 10 - 4, 2, 4));
    }
    const QImage b = back->image(0);
    EXPECT_EQ(b.pixelIndex(5, W - 1 - 3), 1);
    EXPECT_EQ(b.pixelIndex(3, 5), 0);
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 5) {
            EXPECT_EQ(back->image(1).pixel(y, W - 1 - x), greyBefore.pixel(x, y));
            EXPECT_EQ(back->image(2).pixel(y, W - 1 - x), colourBefore.pixel(x, y));
        }
    // In memory the pages are upright now and turned the same way.
    EXPECT_EQ(doc->quarterTurns(0), 0);
    EXPECT_EQ(doc->info(0).width, H);
    EXPECT_EQ(doc->annotations(0)->item(0)->bounds(), QRect(2, W - 10 - 4, 2, 4));
    EXPECT_TRUE(samePixels(doc->image(2), back->image(2)));
}

TEST_F(PageDocumentTest, BurnedRedactionChangesExactlyTheCoveredPixels)
{
    const QImage page = bilevel(64, 48, 200, QRect(40, 30, 10, 10));
    auto doc = docOf({page});
    auto item = std::make_unique<QelAnnotItem>(QelAnnotType::Redaction);
    item->setBounds(QRect(8, 4, 20, 12));
    item->setFillColor(0x000000);
    ASSERT_TRUE(doc->annotations(0)->add(std::move(item)));
    QelSaveOptions opt;
    opt.burnAnnotations = true;
    doc->save(path("burned.tif"), opt);

    auto back = QelPageDocument::create();
    back->load(path("burned.tif"));
    EXPECT_EQ(back->annotations(0)->count(), 0);
    const QImage b = back->image(0);
    const QRect covered(8, 4, 20, 12);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const bool black = qGray(b.pixel(x, y)) < 128;
            const bool wasBlack = qGray(page.pixel(x, y)) < 128;
            ASSERT_EQ(black, covered.contains(x, y) || wasBlack) << x << "," << y;
        }
    // Kept as annotations, the pixels stay untouched.
    doc->save(path("kept.tif"));
    back->load(path("kept.tif"));
    EXPECT_EQ(back->annotations(0)->count(), 1);
    EXPECT_TRUE(samePixels(back->image(0), page));
}

TEST_F(PageDocumentTest, AnnotationsSurviveSaveAndCommittedSetsSurviveClear)
{
    auto doc = docOf({bilevel(100, 80, 200), bilevel(100, 80, 200)});
    doc->save(path("doc.tif"));
    doc->load(path("doc.tif"));
    auto item = std::make_unique<QelAnnotTextItem>();
    item->setText(QStringLiteral("BOOK 12 PAGE 7"));
    item->setBounds(QRect(5, 6, 50, 12));
    item->setUserStorage(QStringLiteral("BookPageImprintAnnotation"), QStringLiteral("1"));
    ASSERT_TRUE(doc->annotations(1)->add(std::move(item)));
    EXPECT_TRUE(doc->hasUncommittedAnnotationChanges());
    doc->commitAnnotations(1);
    EXPECT_FALSE(doc->hasUncommittedAnnotationChanges());
    // Not written per commit: the file changes when the commits are flushed.
    auto other = QelPageDocument::create();
    other->load(path("doc.tif"));
    EXPECT_EQ(other->annotations(1)->count(), 0);
    // What was committed is what the file gets, not what the page holds at the flush.
    doc->annotations(1)->add(std::make_unique<QelAnnotItem>(QelAnnotType::Rectangle));
    EXPECT_TRUE(doc->hasUncommittedAnnotationChanges());
    doc->flushCommittedAnnotations();
    doc->clear();
    doc->load(path("doc.tif"));
    ASSERT_EQ(doc->annotations(1)->count(), 1);
    EXPECT_EQ(doc->annotations(0)->count(), 0);
    const QelAnnotItem *it = doc->annotations(1)->item(0);
    EXPECT_EQ(it->text(), QStringLiteral("BOOK 12 PAGE 7"));
    EXPECT_EQ(it->bounds(), QRect(5, 6, 50, 12));
    EXPECT_EQ(it->userStorage(QStringLiteral("BookPageImprintAnnotation")).toString(), QStringLiteral("1"));
    EXPECT_FALSE(doc->annotations(1)->isModified());
}

// Pixels put back, of each kind a filter may give: an image equal to the page changes nothing;
// another is the page from then on, read, turned, aligned and written (its info as the written
// page's), held or coded once the pages held outgrow the cache's budget.
TEST_F(PageDocumentTest, PixelsPutBackAreThePageBeforeAndAfterTheyAreWritten)
{
    const auto whiteOne = [](int w, int h) {
        QImage img = bilevel(w, h, 300, QRect(3, 4, w / 2, h / 3));
        img.invertPixels();
        img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        return img;
    };
    const struct {
        const char *name;
        std::function<QImage(int, int)> make;
    } kinds[] = {
        {"bilevel", [](int w, int h) { return bilevel(w, h, 300, QRect(3, 4, w / 2, h / 3)); }},
        {"bilevel, index 1 white", whiteOne},
        {"grey", [](int w, int h) { return grey(w, h, 300); }},
        {"colour", [](int w, int h) { return colour(w, h, 300); }},
        {"grey as colour", [](int w, int h) { return grey(w, h, 300).convertToFormat(QImage::Format_RGB888); }},
        {"colour with alpha", [](int w, int h) { return colour(w, h, 300).convertToFormat(QImage::Format_ARGB32); }},
        {"indexed", [](int w, int h) { return colour(w, h, 300).convertToFormat(QImage::Format_Indexed8); }},
    };
    enum Then { Read, Turned, Aligned, SavedTwice };
    const QList<QImage> base{grey(64, 40, 300), bilevel(64, 40, 300, QRect(1, 1, 9, 9)), colour(64, 40, 300)};
    docOf(base)->save(path("base.tif"));
    for (const auto &k : kinds)
        for (Then then : {Read, Turned, Aligned, SavedTwice}) {
            SCOPED_TRACE(::testing::Message() << k.name << " then " << then);
            auto doc = QelPageDocument::create();
            doc->load(path("base.tif"));
            QSignalSpy changed(doc.get(), &QelPageDocument::pageChanged);
            doc->replaceImage(1, doc->image(1));
            doc->replaceImage(1, doc->image(1).copy());
            EXPECT_EQ(changed.count(), 0);
            const QImage img = k.make(53, 37);
            doc->replaceImage(1, img);
            EXPECT_EQ(changed.count(), 1);
            EXPECT_TRUE(samePixels(doc->image(1), img));
            EXPECT_EQ(doc->reduced(1, 2).size(), QSize(26, 18));
            const QelPageInfo held = doc->info(1);
            QelSaveOptions options;
            QImage expected = img;
            if (then == Turned) {
                doc->setQuarterTurns(1, 1);
                expected = img.transformed(QTransform().rotate(90));
            } else if (then == Aligned) {
                options.alignTo = 8;
                expected = QImage(56, 40, QImage::Format_RGB32);
                expected.fill(Qt::white);
                QPainter(&expected).drawImage(0, 0, img.convertToFormat(QImage::Format_RGB32));
            }
            doc->save(path("out.tif"), options);
            if (then == SavedTwice)
                doc->save(path("out.tif"), options);
            auto back = QelPageDocument::create();
            back->load(path("out.tif"));
            ASSERT_EQ(back->pageCount(), 3);
            EXPECT_TRUE(samePixels(back->image(1), expected));
            // a page widened as written stays as it was in the document
            EXPECT_TRUE(samePixels(doc->image(1), then == Aligned ? img : expected));
            const QelPageInfo &was = then == Read ? held : doc->info(1);
            const QelPageInfo &now = then == Aligned ? held : back->info(1);
            EXPECT_EQ(QSize(was.width, was.height), QSize(now.width, now.height));
            EXPECT_EQ(was.xDpi, now.xDpi);
            EXPECT_EQ(std::tuple(was.bitsPerSample, was.samplesPerPixel, was.compression),
                      std::tuple(now.bitsPerSample, now.samplesPerPixel, now.compression));
            if (then != Aligned)
                for (int i : {0, 2})
                    EXPECT_TRUE(samePixels(back->image(i), base[i])) << i;
        }

    // Pages put back past the budget are coded, each still its own.
    const QImage big = colour(3000, 2600, 300);
    auto doc = QelPageDocument::create();
    doc->load(path("base.tif"));
    const int pages = int(QelPageDocument::cacheBytes / big.sizeInBytes()) + 2;
    QList<QImage> put;
    for (int i = 0; i < pages; ++i) {
        QImage img = big.copy();
        img.setPixel(i, i, qRgb(1, 2, 3));
        doc->insertImage(doc->pageCount(), img);
        put.append(img);
    }
    doc->save(path("big.tif"));
    auto back = QelPageDocument::create();
    back->load(path("big.tif"));
    ASSERT_EQ(back->pageCount(), 3 + pages);
    for (int i = 0; i < pages; ++i) {
        EXPECT_TRUE(samePixels(doc->image(3 + i), put[i])) << i;
        EXPECT_TRUE(samePixels(back->image(3 + i), put[i])) << i;
    }
}

TEST_F(PageDocumentTest, HandlesNameLivingDocumentsOnly)
{
    qint64 h;
    {
        auto doc = QelPageDocument::create();
        h = doc->handle();
        EXPECT_EQ(QelPageDocument::fromHandle(h), doc);
    }
    EXPECT_EQ(QelPageDocument::fromHandle(h), nullptr);
    EXPECT_EQ(QelPageDocument::fromHandle(0), nullptr);
}

} // namespace

// Pages of random size, kind and ink reduced by random factors (past 255, where the bilevel
// counts are folded, too): every pixel is the rounded average of its block.
TEST(Reduction, EveryPixelIsTheRoundedAverageOfItsBlock)
{
    std::mt19937 rng(5);
    for (int iter = 0; iter < 150; ++iter) {
        const int w = 1 + int(rng() % 600), h = 1 + int(rng() % 600);
        const int k = iter < 10 ? 256 + int(rng() % 40) : 1 + int(rng() % 40);
        const int kind = int(rng() % 3);
        QImage img(w, h, kind == 0 ? QImage::Format_Mono : kind == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        if (kind == 0)
            img.setColorTable(rng() & 1 ? QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)}
                                        : QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < h; ++y)
            for (int b = 0; b < img.bytesPerLine(); ++b)
                img.scanLine(y)[b] = uchar(rng() & (rng() & 1 ? 0xff : 0x11));
        const QImage r = reducedImage(img, k);
        ASSERT_EQ(r.size(), QSize(std::max(1, w / k), std::max(1, h / k))) << w << "x" << h << " by " << k;
        const int bw = std::min(k, w), bh = std::min(k, h);
        const quint64 area = quint64(bw) * quint64(bh);
        for (int oy = 0; oy < r.height(); ++oy)
            for (int ox = 0; ox < r.width(); ++ox) {
                quint64 s[3] = {0, 0, 0};
                for (int y = oy * k; y < oy * k + bh; ++y)
                    for (int x = ox * k; x < ox * k + bw; ++x) {
                        const QRgb p = img.pixel(x, y);
                        s[0] += kind == 0 ? (qGray(p) < 128 ? 0 : 255) : quint64(qRed(p));
                        s[1] += quint64(qGreen(p));
                        s[2] += quint64(qBlue(p));
                    }
                const QRgb got = r.pixel(ox, oy);
                const auto avg = [&](quint64 v) { return int((v + area / 2) / area); };
                ASSERT_EQ(qRed(got), kind == 0 ? 255 - avg(255 * area - s[0]) : avg(s[0])) << w << "x" << h << " by " << k;
                if (kind == 2) {
                    ASSERT_EQ(qRgb(qRed(got), qGreen(got), qBlue(got)), qRgb(avg(s[0]), avg(s[1]), avg(s[2])));
                }
            }
    }
}
