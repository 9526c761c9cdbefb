#pragma once
// The application's global module: every run-time variable of the workstation, read and written by
// name from everywhere (one UI thread, no locking). resetState() restores the process-start values.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <memory>

class AuditLog;     // platform/system: the audit-log writer
class FilterChain;  // platform/analysis: the operator's image-filter chain

// CustomerState (values of g_APP_STATE)
constexpr qint16 STATE_MA = 0;
constexpr qint16 STATE_NY = 1;
constexpr qint16 STATE_ME_UPD = 2;
constexpr qint16 STATE_FHS = 3;

// DatabaseMode (values of g_dbMode)
constexpr qint16 MODE_MARG = 0;
constexpr qint16 MODE_MALC = 1;
constexpr qint16 MODE_MALCP = 2;
constexpr qint16 MODE_MEBS = 3;
constexpr qint16 MODE_MERG_UPD = 4;
constexpr qint16 MODE_NYRG = 5;
constexpr qint16 MODE_NYMD = 6;
constexpr qint16 MODE_NYCR = 7;
constexpr qint16 MODE_FHS = 8;
constexpr qint16 MODE_MARGBS = 9;
constexpr qint16 MODE_NYBS = 10;
constexpr qint16 MODE_NYBR = 11;
constexpr qint16 MODE_MACC = 12;

// BatchPageNumMode and BatchOverwriteMode
constexpr qint16 BATCH_PAGES_DB = 0;
constexpr qint16 BATCH_PAGES_U = 1;
constexpr qint16 BATCH_OVERWRITE = 0;
constexpr qint16 BATCH_SKIP = 1;
constexpr qint16 BATCH_PROMPT = 2;
constexpr qint16 BATCH_FAIL = 3;

// One host group text (groups 1 to 4 live in g_GroupTextInfo[0..3]).
struct GroupTextInfo {
    QString PageScope;           // "F" first page only, else every page
    QString FontCode;            // "1" to "4"
    qint16 FontSize = 0;         // points
    QString Edge;                // "T" or "B"
    QString Location;            // "L", "C" or "R"
    qint32 PositionCode = 0;
    QString RawText;
    QString Text;                // display text, lines joined by CR LF
    std::array<qint16, 5> FieldLen{};
    qint16 MaxLen = 0;
    qint16 LineCount = 0;
    qint32 BlockWidth = 0;
    qint32 BlockHeight = 0;
};

// One placed group text on a page, in pixels.
struct GroupPosition {
    qint16 GroupId = 0;  // 0 marks a free record
    qint16 FontSize = 0;
    qint32 Top = 0;
    qint32 Left = 0;
    qint32 Bottom = 0;
    qint32 Right = 0;
};

// One cover-page line (lines 1 to 30 live in g_CoverPageLines[0..29]).
struct CoverPageLine {
    QString Raw;
    qint16 Code = 0;
    QString Text;
};

// Customer, mode and sign-on
inline qint16 g_APP_STATE = 0;
inline qint16 g_dbMode = 0;
inline qint32 gdtCurrentDocType = 0;
inline QString g_USER_ID;
inline bool g_blnLoggedIn = false;
inline bool g_blnDebug = false;
inline std::shared_ptr<AuditLog> g_AuditLog;
inline QString g_strTempPath;
inline QString g_sClearTifPath;
inline std::shared_ptr<FilterChain> g_FilterSettings;
inline bool g_blnScannerConnected = false;
inline bool g_blnFirstHandFeed = false;
inline float g_ScanWidth = 0;
inline float g_ScanLength = 0;
inline QString computername;
inline QString g_WrkStationIP;

// DocumentIndex
inline QString g_BookCode;
inline QString g_Book;
inline QString g_Page;
inline QString g_EndingPage;
inline QString g_DocNum;
inline QString g_Plan1;
inline QString g_Plan2;
inline QString g_Plan3;
inline QString g_Year;
inline QString g_Month;
inline QString g_Day;
inline QString g_CTLNum;
inline QString g_RefCode;
inline QString g_RefNum;
inline QString g_CertNum;
inline QString g_NumPages;
inline QString g_InstNum;
inline QString g_DocType;
inline QString g_ImLoc;
inline QString g_ImID;
inline bool g_blnTif = false;
inline bool g_blnByteAligned = false;
inline QString g_Filename;
inline QString g_BookPath;
inline QString g_KyCd;
inline QString g_DocId;
inline bool g_blnScanUnIndexDocs = false;
inline bool g_blnNYCTLNum = false;

// E-file document
inline QString gsPartnerId;
inline QString gsBatchId;
inline QString gsSubmitCde;
inline QString gsLocationCde;
inline QString gsDocumentId;
inline QString gsInDocPath;
inline QString gsBurnedImagePath;
inline QString gsAllowAnnotationEditing;
inline QString gsUnIndexedEFileDoc;
inline QString gsISeriesBurnAnnotate;
inline QString gsEFileAnnotateDocResize;
inline QString gsGroup1TextAnnotationRaw;
inline QString gsGroup2TextAnnotationRaw;
inline QString gsGroup3TextAnnotationRaw;
inline QString gsGroup4TextAnnotationRaw;
inline QString gsGroup1FirstLine;
inline QVariant g_IM652RResult;
inline std::array<GroupTextInfo, 4> g_GroupTextInfo{};
inline std::array<std::array<GroupPosition, 4>, 12> g_GroupPos{};
inline QStringList g_EfilePartnerIds;

// Cover page and redaction
inline QString gsCoverPagePath;
inline QString gsCoverPageStatus;
inline std::array<CoverPageLine, 30> g_CoverPageLines{};
inline qint16 g_intCoverTextFontSize = 0;
inline QString gsRedacted;
inline QString gsRedactCropped;

// Work flags
inline bool g_blnPromptStore = false;
inline bool g_blnIsBatch = false;
inline bool g_blnIsBatchRotate = false;
inline bool g_blnScanUD = false;
inline bool g_blnStopKeyCapture = false;
inline qint16 g_intOldDocLength = 0;
inline bool g_blnStoreReturnValue = false;
inline QString g_strRescanAction;  // "OA", "I", "C" or empty
inline bool g_blnDocChanged = false;
inline bool g_blnAnnotMergeDone = false;
inline bool g_blnAnnotMergeFailed = false; // a merge tick failed; the store waiting on it fails
inline qint16 g_intAnnotCount = 0;
inline std::array<bool, 6> g_MouseButtons{};  // left, middle, right, Alt, Shift, Ctrl

// Batch
inline QString g_BatchDocNum;
inline QString g_BatchUpageNum;
inline qint16 g_BatchPageNumMode = 0;
inline qint16 g_BatchOverwriteMode = 0;
inline bool g_BlnAbortBatch = false;
inline QString g_strBatchMessage;

// Preferences (persisted under their own names in section "Preferences")
inline bool g_blnDefaultDuplex = false;
inline bool g_blnReturnDefault = false;
inline qint16 g_intBaseLineBrightness = 0;
inline qint16 g_intDefaultPaperSource = 0;
inline bool g_blnPromptOnDelete = false;
inline qint16 g_IntDefaultRescanAction = 0;
inline bool g_blnImprint = false;
inline bool g_blnDetectBlank = false;
inline qint16 g_intBlankSensitivity = 0;
inline bool g_blnDoByteAlign = false;
inline bool g_blnProcessBatch = false;
inline QString g_strBarcodeLog;
inline QString g_strByteAlignLog;
inline qint32 gdtDocType = 0;
inline qint16 g_AutoNextPageInterface = 0;
inline qint16 g_AutoMaticRedaction = 0;
inline qint32 g_RedactionDefaultFillColor = 0;
inline qint16 g_blnUseDefaultPrinter = 0;
inline qint16 g_intDefaultPrintScale = 0;

// Puts every variable above back to its process-start value (empty, 0, false, no object).
void resetState();
