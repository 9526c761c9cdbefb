// The demo scanner's backend called directly, as SANE's rules for a backend say it must answer:
// every option of the feeder and the overhead scanner read and written inside and outside its
// constraint, a clamped value given back to the caller; an area whose corners are swapped; every status a device can
// give, injected at the start and during the read of a sheet, answered there and the sheet fed
// again at the next start; reads after a cancel; calls on handles never opened or closed;
// feeder frames that end with the paper; files a stack cannot feed named when it is loaded.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <unistd.h>

#include <cmath>
#include <array>
#include <cstring>
#include <vector>

namespace {

struct Backend {
    void *lib = nullptr;
    SANE_Status (*init)(SANE_Int *, SANE_Auth_Callback) = nullptr;
    void (*exit)() = nullptr;
    SANE_Status (*open)(SANE_String_Const, SANE_Handle *) = nullptr;
    void (*close)(SANE_Handle) = nullptr;
    const SANE_Option_Descriptor *(*descriptor)(SANE_Handle, SANE_Int) = nullptr;
    SANE_Status (*control)(SANE_Handle, SANE_Int, SANE_Action, void *, SANE_Int *) = nullptr;
    SANE_Status (*parameters)(SANE_Handle, SANE_Parameters *) = nullptr;
    SANE_Status (*start)(SANE_Handle) = nullptr;
    SANE_Status (*read)(SANE_Handle, SANE_Byte *, SANE_Int, SANE_Int *) = nullptr;
    void (*cancel)(SANE_Handle) = nullptr;

    Backend()
    {
        lib = dlopen("libsane-paperstack.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return;
        bind(init, "init");
        bind(exit, "exit");
        bind(open, "open");
        bind(close, "close");
        bind(descriptor, "get_option_descriptor");
        bind(control, "control_option");
        bind(parameters, "get_parameters");
        bind(start, "start");
        bind(read, "read");
        bind(cancel, "cancel");
    }
    ~Backend()
    {
        if (lib)
            dlclose(lib);
    }
    template <class F> void bind(F &f, const char *name)
    {
        f = reinterpret_cast<F>(dlsym(lib, (std::string("sane_paperstack_") + name).c_str()));
    }
};

// A stack of sheets 4, 5 and 6 in long (8 in wide, grey netpbm, so 200 dpi), so a frame's lines tell
// which sheet was fed; faults and other lines of paperstack.conf as given.
class Conformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = qgetenv("SANE_CONFIG_DIR");
        ASSERT_TRUE(be.lib) << dlerror();
        QDir(dir.path()).mkdir(QStringLiteral("stack"));
        for (int i = 0; i < 3; ++i) {
            QImage page(1600, 800 + 200 * i, QImage::Format_Grayscale8); // 200 dpi
            page.fill(230);
            ASSERT_TRUE(page.save(dir.filePath(QStringLiteral("stack/%1.pgm").arg(i)), "PGM"));
        }
        qputenv("SANE_CONFIG_DIR", dir.path().toLocal8Bit());
    }
    void TearDown() override
    {
        closeAll();
        qputenv("SANE_CONFIG_DIR", saved);
    }
    void closeAll()
    {
        if (h)
            be.close(h);
        h = nullptr;
        if (initialised)
            be.exit();
        initialised = false;
    }
    // Opens the device (feeder or overhead) at 100 dpi grey, whole area, source as given, with
    // these extra lines; returns what the backend wrote on stderr meanwhile.
    QString openWith(const QString &lines, const char *source = "ADF Front", const char *device = "feeder")
    {
        QFile conf(dir.filePath(QStringLiteral("paperstack.conf")));
        EXPECT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write((QLatin1String(device) + " stack\n" + lines + "\n").toUtf8());
        conf.close();
        const QString errPath = dir.filePath(QStringLiteral("stderr"));
        fflush(stderr);
        const int saved2 = dup(2);
        const int fd = ::open(errPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        ::close(fd);
        SANE_Int version = 0;
        EXPECT_EQ(be.init(&version, nullptr), SANE_STATUS_GOOD);
        initialised = true;
        EXPECT_EQ(be.open(device, &h), SANE_STATUS_GOOD);
        fflush(stderr);
        dup2(saved2, 2);
        ::close(saved2);
        set(SANE_NAME_SCAN_SOURCE, source);
        set(SANE_NAME_SCAN_MODE, SANE_VALUE_SCAN_MODE_GRAY);
        SANE_Word dpi = 100;
        EXPECT_EQ(be.control(h, option(SANE_NAME_SCAN_RESOLUTION), SANE_ACTION_SET_VALUE, &dpi, nullptr), SANE_STATUS_GOOD);
        QFile err(errPath);
        err.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(err.readAll());
    }
    int option(const char *name)
    {
        for (int i = 1; const SANE_Option_Descriptor *d = be.descriptor(h, i); ++i)
            if (d->name && !std::strcmp(d->name, name))
                return i;
        return -1;
    }
    void set(const char *name, const char *value)
    {
        std::vector<char> buf(64, '\0');
        std::strncpy(buf.data(), value, 63);
        EXPECT_EQ(be.control(h, option(name), SANE_ACTION_SET_VALUE, buf.data(), nullptr), SANE_STATUS_GOOD) << name;
    }
    // Reads the frame to its end: the status that ended it, the bytes read. A read that is not
    // GOOD gives no bytes.
    SANE_Status readFrame(long *bytes = nullptr)
    {
        SANE_Byte buf[4096];
        SANE_Int n = 0;
        long total = 0;
        SANE_Status st;
        while ((st = be.read(h, buf, sizeof buf, &n)) == SANE_STATUS_GOOD)
            total += n;
        EXPECT_EQ(n, 0) << sane_strstatus(st);
        if (bytes)
            *bytes = total;
        return st;
    }
    // The lines of the frame just started (400, 500, 600: sheet 1, 2, 3 fed from the feeder).
    int lines()
    {
        SANE_Parameters p{};
        EXPECT_EQ(be.parameters(h, &p), SANE_STATUS_GOOD);
        return p.lines;
    }

    Backend be;
    QTemporaryDir dir;
    QByteArray saved;
    SANE_Handle h = nullptr;
    bool initialised = false;
};

const struct {
    const char *name;
    SANE_Status status;
} kStatuses[] = {
    {"unsupported", SANE_STATUS_UNSUPPORTED}, {"cancelled", SANE_STATUS_CANCELLED},
    {"device_busy", SANE_STATUS_DEVICE_BUSY}, {"inval", SANE_STATUS_INVAL},
    {"jammed", SANE_STATUS_JAMMED},           {"no_docs", SANE_STATUS_NO_DOCS},
    {"cover_open", SANE_STATUS_COVER_OPEN},   {"io_error", SANE_STATUS_IO_ERROR},
    {"no_mem", SANE_STATUS_NO_MEM},           {"access_denied", SANE_STATUS_ACCESS_DENIED},
};

} // namespace

TEST_F(Conformance, EveryOptionReadsAndWritesWithinItsConstraintAndRefusesOrRoundsTheRest)
{
    for (const char *device : {"overhead", "feeder"}) {
        SCOPED_TRACE(device);
        closeAll();
        openWith(QString(), std::strcmp(device, "feeder") ? "Flatbed" : "ADF Front", device);
        SANE_Int count = 0;
        ASSERT_EQ(be.control(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr), SANE_STATUS_GOOD);
        ASSERT_GT(count, 1);
        EXPECT_EQ(be.descriptor(h, count), nullptr);
        EXPECT_EQ(be.descriptor(h, -1), nullptr);
        SANE_Word w = 0;
        EXPECT_EQ(be.control(h, count, SANE_ACTION_GET_VALUE, &w, nullptr), SANE_STATUS_INVAL);
        EXPECT_EQ(be.control(h, 0, SANE_ACTION_SET_VALUE, &count, nullptr), SANE_STATUS_INVAL) << "the count is read only";
        for (int i = 1; i < count; ++i) {
            const SANE_Option_Descriptor *d = be.descriptor(h, i);
            ASSERT_NE(d, nullptr);
            SCOPED_TRACE(d->name);
            ASSERT_TRUE(SANE_OPTION_IS_SETTABLE(d->cap));
            std::vector<char> buf(size_t(std::max<SANE_Int>(d->size, 8)) + 1, '\0');
            ASSERT_EQ(be.control(h, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr), SANE_STATUS_GOOD);
            SANE_Int info = 0;
            if (d->constraint_type == SANE_CONSTRAINT_STRING_LIST) {
                for (int k = 0; d->constraint.string_list[k]; ++k) {
                    ASSERT_LT(std::strlen(d->constraint.string_list[k]), size_t(d->size));
                    std::strcpy(buf.data(), d->constraint.string_list[k]);
                    EXPECT_EQ(be.control(h, i, SANE_ACTION_SET_VALUE, buf.data(), &info), SANE_STATUS_GOOD);
                    EXPECT_FALSE(info & SANE_INFO_INEXACT);
                    std::fill(buf.begin(), buf.end(), '\0');
                    be.control(h, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr);
                    EXPECT_STREQ(buf.data(), d->constraint.string_list[k]);
                }
                std::strcpy(buf.data(), "Nowhere");
                EXPECT_EQ(be.control(h, i, SANE_ACTION_SET_VALUE, buf.data(), &info), SANE_STATUS_INVAL);
                continue;
            }
            ASSERT_EQ(d->constraint_type, SANE_CONSTRAINT_RANGE);
            const SANE_Range *r = d->constraint.range;
            // inside: taken as given; outside: the nearest end, said to be inexact and given back
            const SANE_Word tries[][2] = {{r->min, r->min}, {r->max, r->max}, {r->max + 1, r->max}, {r->min - 1, r->min},
                                          {r->max + 1000 * 65536, r->max}, {r->min - 1000 * 65536, r->min}};
            for (const auto &t : tries) {
                SANE_Word v = t[0];
                ASSERT_EQ(be.control(h, i, SANE_ACTION_SET_VALUE, &v, &info), SANE_STATUS_GOOD);
                EXPECT_EQ(bool(info & SANE_INFO_INEXACT), t[0] != t[1]) << t[0];
                EXPECT_EQ(v, t[1]) << t[0] << " is given back as the value used";
                EXPECT_TRUE(info & SANE_INFO_RELOAD_PARAMS);
                SANE_Word got = 0;
                be.control(h, i, SANE_ACTION_GET_VALUE, &got, nullptr);
                EXPECT_EQ(got, t[1]) << t[0];
            }
        }
        // An area whose corners are set in either order is the same area: never negative, and it
        // scans; no option changes while a frame is read.
        set(SANE_NAME_SCAN_SOURCE, "Flatbed");
        SANE_Word dpi = 100;
        be.control(h, option(SANE_NAME_SCAN_RESOLUTION), SANE_ACTION_SET_VALUE, &dpi, nullptr);
        const auto area = [&](double tlx, double tly, double brx, double bry) {
            const std::pair<const char *, double> corners[] = {{SANE_NAME_SCAN_TL_X, tlx}, {SANE_NAME_SCAN_TL_Y, tly},
                                                               {SANE_NAME_SCAN_BR_X, brx}, {SANE_NAME_SCAN_BR_Y, bry}};
            for (const auto &[name, mm] : corners) {
                SANE_Word v = SANE_FIX(mm);
                EXPECT_EQ(be.control(h, option(name), SANE_ACTION_SET_VALUE, &v, nullptr), SANE_STATUS_GOOD) << name;
            }
            SANE_Parameters p{};
            EXPECT_EQ(be.parameters(h, &p), SANE_STATUS_GOOD);
            return p;
        };
        const SANE_Parameters ordered = area(50.8, 25.4, 101.6, 76.2);
        EXPECT_EQ(ordered.pixels_per_line, 200);
        EXPECT_EQ(ordered.lines, 200);
        for (const auto &c : {std::array<double, 4>{101.6, 25.4, 50.8, 76.2}, std::array<double, 4>{50.8, 76.2, 101.6, 25.4},
                              std::array<double, 4>{101.6, 76.2, 50.8, 25.4}}) {
            SCOPED_TRACE(testing::Message() << c[0] << "," << c[1] << " - " << c[2] << "," << c[3]);
            const SANE_Parameters p = area(c[0], c[1], c[2], c[3]);
            EXPECT_EQ(p.pixels_per_line, ordered.pixels_per_line);
            EXPECT_EQ(p.lines, ordered.lines);
            EXPECT_EQ(p.bytes_per_line, ordered.bytes_per_line);
            ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
            SANE_Word other = 150;
            EXPECT_EQ(be.control(h, option(SANE_NAME_SCAN_RESOLUTION), SANE_ACTION_SET_VALUE, &other, nullptr),
                      SANE_STATUS_DEVICE_BUSY);
            long bytes = 0;
            EXPECT_EQ(readFrame(&bytes), SANE_STATUS_EOF);
            EXPECT_EQ(bytes, long(ordered.lines) * ordered.bytes_per_line);
        }
    }
}

TEST_F(Conformance, EveryStatusIsAnsweredWhereItWasInjectedAndTheSheetIsFedAgainAfterIt)
{
    for (const auto &s : kStatuses) {
        for (const bool inRead : {false, true}) {
            SCOPED_TRACE(std::string(s.name) + (inRead ? " while reading" : " at the start"));
            const QString said = openWith(QStringLiteral("fail 2 %1%2").arg(QLatin1String(s.name), inRead ? " read" : ""));
            EXPECT_FALSE(said.contains(QLatin1String("not understood"))) << said.toStdString();
            ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
            EXPECT_EQ(lines(), 400);
            EXPECT_EQ(readFrame(), SANE_STATUS_EOF);
            EXPECT_EQ(readFrame(), SANE_STATUS_EOF) << "a frame read to its end stays ended";
            if (inRead) {
                ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
                long bytes = 0;
                EXPECT_EQ(readFrame(&bytes), s.status);
                EXPECT_GT(bytes, 0);
                EXPECT_LT(bytes, 500L * 850) << "the sheet stops before its end";
            } else {
                EXPECT_EQ(be.start(h), s.status);
            }
            be.cancel(h);
            // Once: the same sheet comes in whole, then the next, then the feeder is empty.
            ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
            EXPECT_EQ(lines(), 500);
            EXPECT_EQ(readFrame(), SANE_STATUS_EOF);
            ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
            EXPECT_EQ(lines(), 600);
            EXPECT_EQ(readFrame(), SANE_STATUS_EOF);
            EXPECT_EQ(be.start(h), SANE_STATUS_NO_DOCS);
            closeAll();
        }
    }
}

TEST_F(Conformance, ReadsAfterACancelAnswerCancelledAndClosedOrUnknownHandlesAreRefused)
{
    openWith(QString());
    SANE_Byte buf[64];
    SANE_Int n = 5;
    EXPECT_EQ(be.read(h, buf, sizeof buf, &n), SANE_STATUS_INVAL) << "nothing started";
    EXPECT_EQ(n, 0);
    ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
    EXPECT_EQ(be.read(h, buf, sizeof buf, &n), SANE_STATUS_GOOD);
    be.cancel(h);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(be.read(h, buf, sizeof buf, &n), SANE_STATUS_CANCELLED);
        EXPECT_EQ(n, 0);
    }
    ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
    EXPECT_EQ(lines(), 500) << "the cancelled sheet left the feeder";
    be.cancel(h);
    be.cancel(h);

    int stranger = 0;
    EXPECT_EQ(be.start(&stranger), SANE_STATUS_INVAL);
    EXPECT_EQ(be.descriptor(&stranger, 0), nullptr);
    SANE_Handle closed = h;
    be.close(h);
    h = nullptr;
    EXPECT_EQ(be.start(closed), SANE_STATUS_INVAL);
    EXPECT_EQ(be.read(closed, buf, sizeof buf, &n), SANE_STATUS_INVAL);
    SANE_Parameters p{};
    EXPECT_EQ(be.parameters(closed, &p), SANE_STATUS_INVAL);
}

TEST_F(Conformance, FeederFramesEndWithThePaperTheFlatbedScansItsAreaAndNeverJams)
{
    // source, lines of the first three sides after the jam
    const struct {
        const char *source;
        int lines[3];
    } cases[] = {{"ADF Front", {400, 500, 600}}, {"ADF Duplex", {400, 400, 500}}, {"Flatbed", {1400, 1400, 1400}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        openWith(QStringLiteral("jam 1"), c.source);
        const bool feeder = std::strcmp(c.source, "Flatbed") != 0;
        if (feeder) {
            EXPECT_EQ(be.start(h), SANE_STATUS_JAMMED);
        }
        for (int k = 0; k < 3; ++k) {
            ASSERT_EQ(be.start(h), SANE_STATUS_GOOD) << k;
            EXPECT_EQ(lines(), c.lines[k]) << k;
            long bytes = 0;
            EXPECT_EQ(readFrame(&bytes), SANE_STATUS_EOF);
            EXPECT_EQ(bytes, long(c.lines[k]) * 850) << "exactly the lines announced";
        }
        closeAll();
    }
}

TEST_F(Conformance, LinesAndFilesThatCannotServeAreNamedWhenTheStackIsLoaded)
{
    QFile huge(dir.filePath(QStringLiteral("stack/3.pgm")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write("P5\n4000000000 4000000000\n255\n");
    huge.close();
    QFile junk(dir.filePath(QStringLiteral("stack/4.tif")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a tiff");
    junk.close();
    QFile cut(dir.filePath(QStringLiteral("stack/5.pgm")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write("P5\n100 100\n255\nshort");
    cut.close();
    const QString said = openWith(QStringLiteral("jamm 2\nfail 2 smoke\nfail x io_error\npace soon"));
    for (const char *named : {"3.pgm", "4.tif", "5.pgm", "jamm 2", "fail 2 smoke", "fail x io_error", "pace soon"})
        EXPECT_TRUE(said.contains(QLatin1String(named))) << named << " in: " << said.toStdString();
    EXPECT_FALSE(said.contains(QLatin1String("0.pgm")));
    // The good sheets feed; each bad one answers an I/O error and is passed.
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(be.start(h), SANE_STATUS_GOOD);
        EXPECT_EQ(readFrame(), SANE_STATUS_EOF);
    }
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(be.start(h), SANE_STATUS_IO_ERROR) << k;
    EXPECT_EQ(be.start(h), SANE_STATUS_NO_DOCS);
}
