#include "host/im652r.h"

#include "annotate/grouppos.h"
#include "capture/dbname.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"

namespace {

const HostTable kIM652R{
    {"PartnerId", 2},       {"SubmitCde", 10},      {"LocationCde", 10},   {"BatchId", 7},
    {"DocumentId", 10},     {"Func", 1},            {"RsltCd", 1},         {"ApCd", 2},
    {"KyCd", 1},            {"AlwEdt", 1},          {"ExtOrOvlPg", 1},     {"ISeriesBurnAnn", 1},
    {"InDocCtlYear", 4},    {"InDocCtlMonth", 2},   {"InDocCtlDay", 2},    {"InDocCtl#", 5},
    {"InDocBookCd", 1},     {"InDocBook#", 6},      {"InDocPage#", 4},     {"InDocInstrument#", 6},
    {"InDocPath", 255},     {"InDocID", 25},        {"InDocType", 5},      {"InDocNumPages", 4},
    {"BurnedImagePath", 255}, {"Group1Dflts", 4},   {"Group1", 80},        {"Group2Dflts", 4},
    {"Group2", 250},        {"Group3Dflts", 4},     {"Group3", 250},       {"Group4Dflts", 4},
    {"Group4", 120},        {"ErrMsg", 60},         {"UnIndexedEfile", 1}, {"WrkStationIP", 23}};

const QString kZeroDocumentId = QStringLiteral("0000000000");

void setGroupDefaults(GroupTextInfo &g, const QString &dflts)
{
    g.PageScope = dflts.mid(0, 1);
    g.FontCode = dflts.mid(1, 1);
    g.FontSize = do_setGroupFontSize(g.FontCode);
    g.Edge = dflts.mid(2, 1);
    g.Location = dflts.mid(3, 1);
    g.PositionCode = getTextAnnotationPostion(g.Edge, g.Location);
}

} // namespace

bool IM652RResultIs(const QString &code)
{
    return g_IM652RResult.typeId() == QMetaType::QString && Trim(g_IM652RResult.toString()) == code;
}

bool IM652R(AdoConnection &conn, const QString &func, QString &text1, QString &text2, QString &text3)
{
    (void)text1;
    (void)text2;
    (void)text3;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        g_IM652RResult = QVariant(qint16(0));
        trap(2);
        HostCommand cmd(conn, QStringLiteral("IM652R"), kIM652R);
        trap(3);
        cmd.set(QStringLiteral("Func"), func);
        cmd.set(QStringLiteral("WrkStationIP"), g_WrkStationIP);
        if (func == u"A" || func == u"N" || func == u"P" || func == u"S") {
            cmd.set(QStringLiteral("PartnerId"), gsPartnerId);
            cmd.set(QStringLiteral("SubmitCde"), gsSubmitCde);
            cmd.set(QStringLiteral("LocationCde"), gsLocationCde);
            cmd.set(QStringLiteral("BatchId"), gsBatchId);
            if (func == u"S") {
                cmd.set(QStringLiteral("DocumentId"), gsDocumentId);
                cmd.set(QStringLiteral("BurnedImagePath"), gsBurnedImagePath);
            } else {
                cmd.set(QStringLiteral("DocumentId"), Trim(gsDocumentId).isEmpty() ? kZeroDocumentId : gsDocumentId);
            }
        } else if (func == u"R") {
            cmd.set(QStringLiteral("BatchId"), QStringLiteral("0000000"));
            cmd.set(QStringLiteral("DocumentId"), kZeroDocumentId);
        }
        trap(4);
        do_print_iseries_parameters(QStringLiteral("IM652R"), QStringLiteral("About To Call"), cmd.command());
        trap(5);
        cmd.execute();

        trap(6);
        const QString rslt = cmd.get(QStringLiteral("RsltCd"));
        if (!Trim(rslt).isEmpty()) {
            g_IM652RResult = rslt;
            if (rslt == u"1" || rslt == u"2" || rslt == u"7" || rslt == u"8")
                MsgBox(cmd.get(QStringLiteral("ErrMsg")), vb::vbOKOnly, QStringLiteral("Note"));
            return false;
        }
        trap(7);
        if (func != u"R" && Trim(cmd.get(QStringLiteral("ApCd"))) != do_find_dbname(g_dbMode)) {
            MsgBox(QStringLiteral("Error in IM652R: The database returned from the iSeries does not match the "
                                  "current database."),
                   vb::vbOKOnly | vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
            return false;
        }

        trap(8);
        g_KyCd = cmd.get(QStringLiteral("KyCd"));
        g_Year = cmd.get(QStringLiteral("InDocCtlYear"));
        g_Month = cmd.get(QStringLiteral("InDocCtlMonth"));
        g_Day = cmd.get(QStringLiteral("InDocCtlDay"));
        g_CTLNum = cmd.get(QStringLiteral("InDocCtl#"));
        g_BookCode = cmd.get(QStringLiteral("InDocBookCd"));
        g_Book = cmd.get(QStringLiteral("InDocBook#"));
        g_Page = cmd.get(QStringLiteral("InDocPage#"));
        gsDocumentId = cmd.get(QStringLiteral("DocumentId"));
        gsInDocPath = cmd.get(QStringLiteral("InDocPath"));
        g_DocNum = gsDocumentId;
        g_ImID = cmd.get(QStringLiteral("InDocPath"));
        g_DocId = cmd.get(QStringLiteral("InDocID"));
        g_DocType = cmd.get(QStringLiteral("InDocType"));
        g_NumPages = cmd.get(QStringLiteral("InDocNumPages"));
        g_InstNum = cmd.get(QStringLiteral("InDocInstrument#"));
        gsBurnedImagePath = cmd.get(QStringLiteral("BurnedImagePath"));
        gsAllowAnnotationEditing = cmd.get(QStringLiteral("AlwEdt"));
        gsEFileAnnotateDocResize = cmd.get(QStringLiteral("ExtOrOvlPg"));
        gsISeriesBurnAnnotate = cmd.get(QStringLiteral("ISeriesBurnAnn"));
        gsUnIndexedEFileDoc = cmd.get(QStringLiteral("UnIndexedEfile"));

        trap(9);
        if (func == u"R") {
            gsPartnerId = cmd.get(QStringLiteral("PartnerId"));
            gsSubmitCde = cmd.get(QStringLiteral("SubmitCde"));
            gsLocationCde = cmd.get(QStringLiteral("LocationCde"));
            gsBatchId = cmd.get(QStringLiteral("BatchId"));
            const QString docId = cmd.get(QStringLiteral("DocumentId"));
            gsDocumentId = Trim(docId).isEmpty() ? kZeroDocumentId : docId;
        }

        trap(10);
        gsGroup1TextAnnotationRaw = cmd.get(QStringLiteral("Group1"));
        gsGroup2TextAnnotationRaw = cmd.get(QStringLiteral("Group2"));
        gsGroup3TextAnnotationRaw = cmd.get(QStringLiteral("Group3"));
        gsGroup4TextAnnotationRaw = cmd.get(QStringLiteral("Group4"));
        g_GroupTextInfo[0].RawText = gsGroup1TextAnnotationRaw;
        g_GroupTextInfo[1].RawText = gsGroup2TextAnnotationRaw;
        g_GroupTextInfo[2].RawText = gsGroup3TextAnnotationRaw;
        g_GroupTextInfo[3].RawText = gsGroup4TextAnnotationRaw;

        trap(11);
        for (int g = 0; g < 4; ++g)
            setGroupDefaults(g_GroupTextInfo[size_t(g)],
                             cmd.get(QStringLiteral("Group%1Dflts").arg(g + 1)));

        trap(12);
        clearGroupPositions();

        trap(13);
        if (g_blnDebug) {
            const QString T = vbCrLf + vbTab;
            hostTrace(QStringLiteral("IM652R"),
                      QStringLiteral("The call to IM652R completed.  The group text returned values are: ") + T
                          + QStringLiteral("gsAllowAnnotationEditing = ") + gsAllowAnnotationEditing + T
                          + QStringLiteral("gsEFileAnnotateDocResize = ") + gsEFileAnnotateDocResize + T
                          + QStringLiteral("gsISeriesBurnAnnotate = ") + gsISeriesBurnAnnotate + T
                          + QStringLiteral("gsUnIndexedEFileDoc = ") + gsUnIndexedEFileDoc + T
                          + QStringLiteral("gsGroup1TextAnnotationRaw = ") + gsGroup1TextAnnotationRaw + T
                          + QStringLiteral("gsGroup2TextAnnotationRaw = ") + gsGroup2TextAnnotationRaw + T
                          + QStringLiteral("gsGroup3TextAnnotationRaw = ") + gsGroup3TextAnnotationRaw + T
                          + QStringLiteral("gsGroup4TextAnnotationRaw = ") + gsGroup4TextAnnotationRaw + T);
        }

        trap(14);
        const QString errMsg = cmd.get(QStringLiteral("ErrMsg"));
        if (errMsg.isEmpty()) {
            result = true;
        } else {
            MsgBox(errMsg, vb::vbOKOnly);
            result = false;
        }
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("IM652R"), trap, true);
    }
    return result;
}
