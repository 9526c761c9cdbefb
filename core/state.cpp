#include "core/state.h"

void resetState()
{
    g_APP_STATE = 0;
    g_dbMode = 0;
    gdtCurrentDocType = 0;
    g_USER_ID.clear();
    g_blnLoggedIn = false;
    g_blnDebug = false;
    g_AuditLog.reset();
    g_strTempPath.clear();
    g_sClearTifPath.clear();
    g_FilterSettings.reset();
    g_blnScannerConnected = false;
    g_blnFirstHandFeed = false;
    g_ScanWidth = 0;
    g_ScanLength = 0;
    computername.clear();
    g_WrkStationIP.clear();

    for (QString *s : {&g_BookCode, &g_Book, &g_Page, &g_EndingPage, &g_DocNum, &g_Plan1, &g_Plan2,
                       &g_Plan3, &g_Year, &g_Month, &g_Day, &g_CTLNum, &g_RefCode, &g_RefNum,
                       &g_CertNum, &g_NumPages, &g_InstNum, &g_DocType, &g_ImLoc, &g_ImID,
                       &g_Filename, &g_BookPath, &g_KyCd, &g_DocId})
        s->clear();
    g_blnTif = false;
    g_blnByteAligned = false;
    g_blnScanUnIndexDocs = false;
    g_blnNYCTLNum = false;

    for (QString *s : {&gsPartnerId, &gsBatchId, &gsSubmitCde, &gsLocationCde, &gsDocumentId,
                       &gsInDocPath, &gsBurnedImagePath, &gsAllowAnnotationEditing,
                       &gsUnIndexedEFileDoc, &gsISeriesBurnAnnotate, &gsEFileAnnotateDocResize,
                       &gsGroup1TextAnnotationRaw, &gsGroup2TextAnnotationRaw,
                       &gsGroup3TextAnnotationRaw, &gsGroup4TextAnnotationRaw, &gsGroup1FirstLine,
                       &gsCoverPagePath, &gsCoverPageStatus, &gsRedacted, &gsRedactCropped,
                       &g_strRescanAction, &g_BatchDocNum, &g_BatchUpageNum, &g_strBatchMessage,
                       &g_strBarcodeLog, &g_strByteAlignLog})
        s->clear();
    g_IM652RResult = QVariant();
    g_GroupTextInfo = {};
    g_GroupPos = {};
    g_EfilePartnerIds.clear();
    g_CoverPageLines = {};
    g_intCoverTextFontSize = 0;

    g_blnPromptStore = false;
    g_blnIsBatch = false;
    g_blnIsBatchRotate = false;
    g_blnScanUD = false;
    g_blnStopKeyCapture = false;
    g_intOldDocLength = 0;
    g_blnStoreReturnValue = false;
    g_blnDocChanged = false;
    g_blnAnnotMergeDone = false;
    g_blnAnnotMergeFailed = false;
    g_intAnnotCount = 0;
    g_MouseButtons = {};

    g_BatchPageNumMode = 0;
    g_BatchOverwriteMode = 0;
    g_BlnAbortBatch = false;

    g_blnDefaultDuplex = false;
    g_blnReturnDefault = false;
    g_intBaseLineBrightness = 0;
    g_intDefaultPaperSource = 0;
    g_blnPromptOnDelete = false;
    g_IntDefaultRescanAction = 0;
    g_blnImprint = false;
    g_blnDetectBlank = false;
    g_intBlankSensitivity = 0;
    g_blnDoByteAlign = false;
    g_blnProcessBatch = false;
    gdtDocType = 0;
    g_AutoNextPageInterface = 0;
    g_AutoMaticRedaction = 0;
    g_RedactionDefaultFillColor = 0;
    g_blnUseDefaultPrinter = 0;
    g_intDefaultPrintScale = 0;
}
