#include "capture_env.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include "support/app_env.h"
#include "host/hostcall.h"
#include "host/im652r.h"
#include "host/rg632r.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"
#include "platform/vb/vberror.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace {

MsgBoxScript *g_boxes = nullptr;
FormScript *g_forms = nullptr;

class CaptureEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setUpAppEnvironment(true);
        g_boxes = new MsgBoxScript;
        g_forms = new FormScript;
    }
    void TearDown() override
    {
        delete g_forms;
        delete g_boxes;
        tearDownAppEnvironment();
    }
};

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new CaptureEnvironment);

} // namespace

MsgBoxScript &boxes() { return *g_boxes; }
FormScript &forms() { return *g_forms; }

void ScannerTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    QFile table(dir.filePath(QStringLiteral("overhead.tbl")));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write("model = Fake Duplex 100\n"
                "alias = MIN7PS\n"
                "1316 = book-size\n"
                "1689 = book-mode | 0=off | 1=on\n"
                "5084 = auto-size\n"
                "6000 = contrast\n");
    table.close();
    auto owned = std::make_unique<FakeScanner>();
    fake = owned.get();
    fake->device().options = {{QStringLiteral("book-size"), QStringLiteral("3")},
                              {QStringLiteral("book-mode"), QStringLiteral("off")},
                              {QStringLiteral("auto-size"), QStringLiteral("0")},
                              {QStringLiteral("contrast"), QStringLiteral("128")},
                              {QStringLiteral("lamp"), QStringLiteral("on")}};
    fake->setTableFolder(dir.path());
    fake->setSettingsFolder(dir.path());
    setScannerSession(std::move(owned));
    fake->setScannerOpen(true);
    fake->setResolution(200);
    fake->setPageSize(QStringLiteral("Legal - 8.5 x 14 in"));
    boxes().clear();
    forms().clear();
    g_blnScannerConnected = true;
}

void ScannerTest::TearDown()
{
    g_blnScannerConnected = false;
}

int ScannerTest::errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const VbError &e) {
        return e.number;
    }
    return 0;
}

std::unique_ptr<hostsim::HostEmulator> setUpStoreHost(const QTemporaryDir &dir)
{
    QDir root(dir.path());
    root.mkpath(QStringLiteral("temp"));
    root.mkpath(QStringLiteral("share/QHOST/KvTemp/Scans"));
    g_strTempPath = dir.filePath(QStringLiteral("temp")) + u'/';
    qputenv("QUORLA_SHARE_ROOT", dir.filePath(QStringLiteral("share")).toLocal8Bit());
    const QString db = dir.filePath(QStringLiteral("host.sqlite"));
    qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
    auto em = std::make_unique<hostsim::HostEmulator>(db);
    hostsim::registerProvider();
    em->runScript(QStringLiteral(
        "INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"
        "INSERT INTO operators(user_id, password) VALUES('JSMITH', 'Secret1');\n"
        "INSERT INTO documents(db, year, month, day, ctl, doc_id, doc_type) "
        "VALUES('LR', '2026', '12', '01', '00042', 'DOC1', 'DEED');\n"));
    SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), QStringLiteral("QHOST"));
    SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), QStringLiteral("QUSER"));
    SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), QStringLiteral("QPWD"));
    g_blnLoggedIn = true;
    g_USER_ID = QStringLiteral("JSMITH");
    computername = QStringLiteral("scan-pc 01xy");
    g_dbMode = MODE_NYRG;
    g_DocId = QStringLiteral("DOC1");
    g_NumPages = QStringLiteral("0");
    return em;
}

bool fetchEFiledDocument(hostsim::HostEmulator &em, const QString &burnedPath)
{
    QSqlQuery q(em.db());
    q.prepare(QStringLiteral(
        "INSERT INTO efile_queue(partner_id, submit_cde, location_cde, batch_id, document_id, db, key_code, year, "
        "month, day, ctl, in_doc_path, in_doc_id, doc_type, num_pages, burned_image_path) VALUES('02', "
        "'SUB0000001', 'LOC0000001', '0001001', '0000000002', 'LR', 'E', '2026', '03', '03', '50002', '', "
        "'EF0000000002', 'MTG', '0002', ?)"));
    q.addBindValue(burnedPath);
    if (!q.exec())
        return false;
    QDir(qEnvironmentVariable("QUORLA_SHARE_ROOT")).mkpath(QStringLiteral("QHOST/EFILE/BURNED"));
    g_dbMode = MODE_MARG;
    gdtCurrentDocType = 1;
    AdoConnection conn;
    openHostConnection(conn);
    QString t1, t2, t3;
    return IM652R(conn, QStringLiteral("R"), t1, t2, t3);
}

void loadMainWindow()
{
    frmMain();
    resetState();
}

void clearMainViews()
{
    frmMain().tmrAnnotationMerge->stop();
    frmMain().ezTreeView->clearImage();
    frmMain().ezPageView->clearImage();
    resetState();
}

void tearDownStoreHost()
{
    qunsetenv("QUORLA_HOST_EMULATOR");
    qunsetenv("QUORLA_SHARE_ROOT");
}
