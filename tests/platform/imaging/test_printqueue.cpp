// Printing through a print server of the test's own (cupsd on a private socket): every state a
// printer can be in ends in a printed job or a failure that names what happened.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <cups/cups.h>

#include <functional>

#include "platform/imaging/imagingerror.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"

namespace {

const char *const kFilterPpd = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "FILTER.PPD"
*Manufacturer: "Test"
*Product: "(Test)"
*ModelName: "Filtered Queue"
*ShortNickName: "Filtered Queue"
*NickName: "Filtered Queue"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*cupsFilter2: "application/pdf application/vnd.cups-postscript 0 %1"
*OpenUI *PageSize: PickOne
*DefaultPageSize: Letter
*PageSize Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*DefaultPageRegion: Letter
*DefaultImageableArea: Letter
*ImageableArea Letter: "0 0 612 792"
*DefaultPaperDimension: Letter
*PaperDimension Letter: "612 792"
)ppd";

// cupsd with its own configuration, spool and socket; the process's print calls go to it.
class PrintServer {
public:
    bool start(QString *why)
    {
        if (!QFile::exists(QStringLiteral("/usr/sbin/cupsd"))) {
            *why = QStringLiteral("cupsd is not installed");
            return false;
        }
        const QString root = m_dir.path();
        for (const char *sub : {"spool", "tmp", "cache", "state", "log", "bin/filter", "out"})
            QDir().mkpath(root + u'/' + QLatin1String(sub));
        QFile::setPermissions(root + QStringLiteral("/out"), QFileDevice::Permissions(0x7777));
        for (const char *sub : {"backend", "daemon", "cgi-bin"})
            QFile::link(QStringLiteral("/usr/lib/cups/") + QLatin1String(sub), root + QStringLiteral("/bin/") + QLatin1String(sub));
        for (const QString &f : QDir(QStringLiteral("/usr/lib/cups/filter")).entryList(QDir::Files | QDir::System))
            QFile::link(QStringLiteral("/usr/lib/cups/filter/") + f, root + QStringLiteral("/bin/filter/") + f);
        writeFilter(QStringLiteral("refuse"), "echo 'ERROR: the test filter refuses every job' >&2\nexit 1\n");
        writeFilter(QStringLiteral("linger"), "sleep 60\ncat\n");
        for (const QString &f : {QStringLiteral("refuse"), QStringLiteral("linger")})
            write(QStringLiteral("/%1.ppd").arg(f), QString::fromLatin1(kFilterPpd).arg(f).toLatin1());
        write(QStringLiteral("/cupsd.conf"),
              QStringLiteral("Listen %1/cups.sock\nLogLevel info\nBrowsing No\nErrorPolicy stop-printer\n"
                             "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                             "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                  .arg(root)
                  .toLocal8Bit());
        write(QStringLiteral("/cups-files.conf"),
              QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\n"
                             "StateDir %1/state\nServerBin %1/bin\nDataDir /usr/share/cups\n"
                             "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                             "FileDevice Yes\n")
                  .arg(root)
                  .toLocal8Bit());
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
                      {QStringLiteral("-f"), QStringLiteral("-c"), root + QStringLiteral("/cupsd.conf"),
                       QStringLiteral("-s"), root + QStringLiteral("/cups-files.conf")});
        qputenv("CUPS_SERVER", socket().toLocal8Bit());
        cupsSetServer(nullptr); // read the variable again
        QElapsedTimer up;
        up.start();
        while (!QFile::exists(socket()) || !run({QStringLiteral("lpstat"), QStringLiteral("-r")})) {
            if (m_cupsd.state() == QProcess::NotRunning || up.elapsed() > 30000) {
                *why = QStringLiteral("the test's print server did not start: ") +
                       QString::fromLocal8Bit(m_cupsd.readAll()) + log();
                return false;
            }
            QThread::msleep(50);
        }
        return true;
    }

    ~PrintServer()
    {
        m_cupsd.terminate();
        m_cupsd.waitForFinished(10000);
        qunsetenv("CUPS_SERVER");
        cupsSetServer(nullptr);
    }

    QString socket() const { return m_dir.path() + QStringLiteral("/cups.sock"); }
    QString log() const
    {
        QFile f(m_dir.path() + QStringLiteral("/log/error_log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(3000)) : QString();
    }

    // A queue printing into a file of out/; filter: "" raw, else one of the test's filters.
    void addQueue(const QString &name, const QString &filter = QString())
    {
        QStringList args = {QStringLiteral("lpadmin"), QStringLiteral("-p"), name, QStringLiteral("-E"),
                            QStringLiteral("-v"), QStringLiteral("file://%1/out/%2").arg(m_dir.path(), name)};
        args << (filter.isEmpty() ? QStringList{QStringLiteral("-m"), QStringLiteral("raw")}
                                  : QStringList{QStringLiteral("-P"), m_dir.path() + QStringLiteral("/%1.ppd").arg(filter)});
        ASSERT_TRUE(run(args)) << log().toStdString();
        ASSERT_TRUE(run({QStringLiteral("lpadmin"), QStringLiteral("-d"), name}));
    }

    bool run(const QStringList &command)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("/usr/sbin/") + command.first(), command.mid(1));
        if (!p.waitForStarted(5000)) {
            p.start(command.first(), command.mid(1));
            if (!p.waitForStarted(5000))
                return false;
        }
        p.waitForFinished(30000);
        m_lastOutput = QString::fromLocal8Bit(p.readAll());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    // Jobs in one state ("completed", "not-completed") as lpstat lists them.
    int jobs(const QString &which)
    {
        run({QStringLiteral("lpstat"), QStringLiteral("-W"), which, QStringLiteral("-o")});
        return int(m_lastOutput.split(u'\n', Qt::SkipEmptyParts).size());
    }

private:
    void write(const QString &rel, const QByteArray &bytes)
    {
        QFile f(m_dir.path() + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void writeFilter(const QString &name, const char *body)
    {
        const QString path = m_dir.path() + QStringLiteral("/bin/filter/") + name;
        write(QStringLiteral("/bin/filter/") + name, QByteArray("#!/bin/sh\n") + body);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                        QFileDevice::ExeOther);
    }

    QTemporaryDir m_dir{QStringLiteral("/tmp/qprint-XXXXXX")};
    QProcess m_cupsd;
    QString m_lastOutput;
};

struct Outcome {
    int number = 0;
    QString text;
};

Outcome printOnce(QelEzImage &control)
{
    try {
        control.print();
    } catch (const VbError &e) {
        return {e.number, e.description};
    }
    return {};
}

struct QueueCase {
    const char *name;
    std::function<void(PrintServer &)> before;  // the printers when Print is pressed
    std::function<void(PrintServer &)> during;  // done while the job is followed
    const char *failure;                        // nullptr: printed; else a part of the message
};

} // namespace

TEST(PrintQueue, EveryPrinterStateEndsInAPrintedJobOrAMessageThatSaysWhy)
{
    PrintServer server;
    QString why;
    if (!server.start(&why))
        GTEST_SKIP() << why.toStdString();
    const QList<QueueCase> cases = {
        {"no printer at all", [](PrintServer &) {}, {}, "no printer is set up on this computer"},
        {"an idle printer", [](PrintServer &s) { s.addQueue(QStringLiteral("desk")); }, {}, nullptr},
        {"a stopped printer",
         [](PrintServer &s) {
             s.addQueue(QStringLiteral("desk"));
             s.run({QStringLiteral("cupsdisable"), QStringLiteral("-r"), QStringLiteral("out of toner"),
                    QStringLiteral("desk")});
         },
         {}, "the printer is stopped (out of toner); job"},
        {"a printer rejecting jobs",
         [](PrintServer &s) {
             s.addQueue(QStringLiteral("desk"));
             s.run({QStringLiteral("cupsreject"), QStringLiteral("desk")});
         },
         {}, "not accepting jobs"},
        {"a filter that fails", [](PrintServer &s) { s.addQueue(QStringLiteral("desk"), QStringLiteral("refuse")); },
         {}, "the test filter refuses every job"},
        {"the printer removed while the job is on it",
         [](PrintServer &s) { s.addQueue(QStringLiteral("desk"), QStringLiteral("linger")); },
         [](PrintServer &s) { s.run({QStringLiteral("lpadmin"), QStringLiteral("-x"), QStringLiteral("desk")}); },
         "job"},
        // last: the queue it leaves is not the default, and is not used as one
        {"printers, none the default",
         [](PrintServer &s) {
             s.addQueue(QStringLiteral("aside"));
             s.addQueue(QStringLiteral("desk")); // the default, then removed
             s.run({QStringLiteral("lpadmin"), QStringLiteral("-x"), QStringLiteral("desk")});
         },
         {}, "no printer is the default"},
    };
    QImage page(850, 1100, QImage::Format_Mono);
    page.fill(1);
    for (const QueueCase &c : cases) {
        SCOPED_TRACE(c.name);
        server.run({QStringLiteral("lpadmin"), QStringLiteral("-x"), QStringLiteral("desk")});
        c.before(server);
        const int completed = server.jobs(QStringLiteral("completed"));
        QelEzImage control(QelEzImage::Kind::Thumbnails);
        control.appendPage(page);
        if (c.during)
            QTimer::singleShot(500, [&] { c.during(server); });
        const Outcome out = printOnce(control);
        if (!c.failure) {
            EXPECT_EQ(out.number, 0) << out.text.toStdString() << server.log().toStdString();
            EXPECT_EQ(server.jobs(QStringLiteral("completed")), completed + 1);
        } else {
            EXPECT_EQ(out.number, ezErr::PrintFailed);
            EXPECT_TRUE(out.text.contains(QLatin1String(c.failure))) << out.text.toStdString();
        }
        // Nothing is left half done in the queue by a print that was reported as printed.
        if (out.number == 0)
            EXPECT_EQ(server.jobs(QStringLiteral("not-completed")), 0);
        server.run({QStringLiteral("cancel"), QStringLiteral("-a")});
    }
}

TEST(PrintQueue, APrinterAddedAfterAFailedPrintIsUsedByTheNextOne)
{
    PrintServer server;
    QString why;
    if (!server.start(&why))
        GTEST_SKIP() << why.toStdString();
    QImage page(850, 1100, QImage::Format_Mono);
    page.fill(1);
    QelEzImage control(QelEzImage::Kind::Thumbnails);
    control.appendPage(page);
    EXPECT_EQ(printOnce(control).number, ezErr::PrintFailed);
    server.addQueue(QStringLiteral("later"));
    const Outcome second = printOnce(control);
    EXPECT_EQ(second.number, 0) << second.text.toStdString();
    EXPECT_EQ(server.jobs(QStringLiteral("completed")), 1);

    // A printer chosen in the set-up and removed before Print is named as missing.
    server.addQueue(QStringLiteral("chosen"));
    QelPrintSeam::instance().setupDialog = [](QPrinter &p) {
        p.setPrinterName(QStringLiteral("chosen"));
        return 0;
    };
    ASSERT_EQ(control.printerSetup(), 0);
    QelPrintSeam::instance() = QelPrintSeam();
    server.run({QStringLiteral("lpadmin"), QStringLiteral("-x"), QStringLiteral("chosen")});
    const Outcome gone = printOnce(control);
    EXPECT_EQ(gone.number, ezErr::PrintFailed);
    EXPECT_TRUE(gone.text.contains(QStringLiteral("printer chosen: the print system has no such printer"))) << gone.text.toStdString();
}
