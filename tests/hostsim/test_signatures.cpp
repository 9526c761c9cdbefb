// The host checks each call against the program's own parameter list: markers, parameter count,
// names and widths; a call that differs is refused before the program runs.
#include "hostfixture.h"

namespace {

class Signatures : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        em->runScript("INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id) VALUES"
                      " ('LR','000100','0001','2020','01','02','00011','000101','K','LR-2020-00011');\n"
                      "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref) VALUES"
                      " ('MD','M','001234','0010','2019','05','06','00077','R00077');\n");
        conn.open("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD", adOptionUnspecified);
    }

    // The refusal of a call (fails the test when it ran), with the call log's last entry.
    QString refusal(const QString &program, int markers, const std::vector<Param> &params)
    {
        try {
            runCall(conn, program, markers, params);
        } catch (const VbError &e) {
            EXPECT_EQ(e.number, adoErr::ProviderFailed);
            EXPECT_EQ(em->lastCall().program, program) << "a refused call is logged";
            return e.description;
        }
        ADD_FAILURE() << program.toStdString() << " ran";
        return QString();
    }
    int runs(const QString &program, const std::vector<Param> &params)
    {
        return errorOf([&] { runCall(conn, program, int(params.size()), params); });
    }
    AdoConnection conn;
};

// Every form the workstation calls runs as declared (names in any case); one marker or one
// parameter fewer or more, or a parameter widened or renamed (first, middle, last), is refused
// before the program runs.
TEST_F(Signatures, EveryFormRunsAsDeclaredAndAnyDifferenceIsRefused)
{
    const struct {
        const char *program;
        std::vector<Param> params;
    } forms[] = {
        {"SY983R", signOnParams()},          {"SY331RI", landRecordsLookup()}, {"SY331RI", newYorkBookLookup()},
        {"SY330RI", controlNumberLookup()},  {"LC630RI", landCourtLookup()},   {"LP630RI", planLookup()},
        {"FH631RI", referenceLookup()},      {"IM650R", imageMaster()},        {"IM091R", imageLocation("IM0000000001")},
        {"IM655R", certificate()},           {"RG632R", bookRange(false)},     {"RG632R", bookRange(true)},
        {"IM652R", efileQueue()},            {"IM656R", coverPageParams("LR2021030400101")},
    };
    for (const auto &f : forms) {
        const int n = int(f.params.size());
        SCOPED_TRACE(std::string(f.program) + " " + std::to_string(n));
        const bool twoForms = f.program == std::string("SY331RI") || f.program == std::string("RG632R");
        EXPECT_EQ(runs(f.program, f.params), 0);
        std::vector<Param> lower = f.params;
        std::vector<QByteArray> lowerNames;
        for (const Param &p : lower)
            lowerNames.push_back(QByteArray(p.name).toLower());
        for (size_t i = 0; i < lower.size(); ++i)
            lower[i].name = lowerNames[i].constData();
        EXPECT_EQ(runs(f.program, lower), 0) << "names in lower case";

        // A marker fewer: refused, and the log shows what was left unbound.
        EXPECT_EQ(refusal(f.program, n - 1, f.params),
                  QString("SQL0440: Routine %1 in *LIBL not found with specified parameters: %2 markers and %3 "
                          "parameters given, the program takes %3.").arg(f.program).arg(n - 1).arg(n));
        const hostsim::HostCall log = em->lastCall();
        EXPECT_EQ(log.markers, n - 1);
        ASSERT_EQ(log.params.size(), n);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(log.params[i].bound, i < n - 1) << log.params[i].name.toStdString();
        EXPECT_TRUE(log.render().contains(QString("%1(%2) unbound").arg(f.params.back().name).arg(f.params.back().width)));

        // A parameter fewer or more, with as many markers.
        std::vector<Param> fewer(f.params.begin(), f.params.end() - 1);
        EXPECT_TRUE(refusal(f.program, n - 1, fewer).startsWith("SQL0440")) << "one fewer";
        std::vector<Param> more = f.params;
        more.push_back({"DocId", 25});
        EXPECT_TRUE(refusal(f.program, n + 1, more).startsWith("SQL0440")) << "one more";

        // The first, a middle and the last parameter widened, then renamed.
        for (int i : {0, n / 2, n - 1}) {
            const Param &p = f.params[size_t(i)];
            std::vector<Param> changed = f.params;
            changed[size_t(i)].width = p.width + 1;
            const QString widened = refusal(f.program, n, changed);
            // a program with two forms names the other one's count when a call matches neither
            if (!(twoForms && widened.startsWith("SQL0440"))) {
                EXPECT_EQ(widened, QString("SQL0302: Conversion error on parameter %1 of %2: %3(%4) given, the "
                                           "program takes %3(%5).").arg(i + 1).arg(f.program, p.name)
                                       .arg(p.width + 1).arg(p.width));
            }
            changed = f.params;
            const QByteArray renamed = QByteArray(p.name) + "X";
            changed[size_t(i)].name = renamed.constData();
            const QString renamedRefusal = refusal(f.program, n, changed);
            if (!(twoForms && renamedRefusal.startsWith("SQL0440"))) {
                EXPECT_TRUE(renamedRefusal.contains(QString("%1X(%2) given").arg(p.name).arg(p.width)))
                    << renamedRefusal.toStdString();
            }
        }
    }
}

} // namespace
