// Internal records and helpers of the library; never installed.
#pragma once

#include "qeltav.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---- runtime -------------------------------------------------------------
extern int tavSysFlags;
extern uint32_t tavWarningBits;

void memFill8(void *p, int count, int v);
void memFill16(void *p, int count, int v);
void memFill24(void *p, int count, int v);
void memFill32(void *p, int count, int v);
void memCopy8(const void *src, void *dst, int count);
void memCopy24(const void *src, void *dst, int count);
int strEndsWith(const char *text, const char *suffix);
int isqrtFast(int v);
int memCheckBlock(void *p);
void *linePoolGet(int size);
// False, after log 319, for a line that no pool buffer can hold (longer than TAV_LINE_MAX).
bool lineFits(int64_t bytes);
int linePoolPut(void *buffer);
void linePoolFree();
int linePoolFreeCount();
int linePoolUsedCount();
inline unsigned char *lineSpace(void *buffer) { return static_cast<unsigned char *>(buffer) + 16; }
void warnSet(uint32_t bits);
void warnClear();
void warnReport();
int tavRand();  // 0..32767, never seeded by the library
void timerReport();

// ---- image record ---------------------------------------------------------
enum : uint8_t { ST_KNOWN = 1, ST_EXPLICIT = 2, ST_FIXED = 4 };

template <class T> struct Attr {
  T v;
  uint8_t st;
  T req;
};

struct tavClass {
  tavImage *(*create)(tavImage *);
  int (*destroy)(tavImage *);
  int (*init)(tavImage *);
  int (*config)(tavImage *, tavImage *tmpl);
  int (*open)(tavImage *, int mode);
  int (*close)(tavImage *);
  int (*start)(tavImage *);
  int (*stop)(tavImage *);
  int (*readPixel)(tavImage *, int x, int y);
  int (*writePixel)(tavImage *, int x, int y, int v);
  int (*readLine)(tavImage *, void *buf, int x, int y, int count);
  int (*writeLine)(tavImage *, const void *buf, int x, int y, int count);
  int (*bufferedPixel)(tavImage *, int x, int y);
  int (*flush)(tavImage *);
  void *(*getPixelAddr)(tavImage *, int x, int y);
  int (*selectPage)(tavImage *, int page);
};

enum {
  SUB_BASE = 1, SUB_NAT = 2, SUB_GEN = 3, SUB_CONV = 5, SUB_BUF = 7, SUB_RAW = 8, SUB_PNM = 9
};

enum { IM_READ = 1, IM_WRITE = 2, IM_INPLACE = 4, IM_LINE8 = 8, IM_RANDOM = 16, IM_LINE32 = 32 };
constexpr int IM_COMPLETE = IM_LINE8 | IM_LINE32;

struct tavImage {
  const tavClass *cls;
  int32_t subtype;
  int32_t state;
  int32_t flags;
  tavImage *up[6];
  Attr<int32_t> width, height, depth, fill;
  Attr<uint8_t> sign;
  Attr<int32_t> photo;
  Attr<double> resX, resY;
  Attr<int32_t> resUnit, align;
  Attr<void *> dataAddr;
  Attr<int32_t> dataSize, fileFormat;
  Attr<uint8_t> resizable;
  Attr<int32_t> plines;
  int32_t linebytes;
  char *name;
  tavImage *nextLive;
  int32_t page;
  uint8_t implicit;
  uint8_t alloc;
  uint8_t abandoned;  // an output whose transfer failed: its lines are not to be kept
  uint8_t piped;      // a command's result named by "-pipe": its reference goes to the next command
  int32_t refs;
  int32_t maxRefs;
};

extern const tavClass baseClass;
extern tavImage tavNullRecord;
inline bool isNull(const tavImage *im) { return im == &tavNullRecord; }

template <class T> inline void attrStore(Attr<T> &a, T v) {
  a.v = v;
  a.req = v;
  a.st = ST_KNOWN | ST_EXPLICIT;
}
// Sets a derived value: known, unless fixed (then the requested value stays).
template <class T> inline void attrKnow(Attr<T> &a, T v) {
  a.v = (a.st & ST_FIXED) ? a.req : v;
  a.st |= ST_KNOWN;
}
template <class T> inline bool attrPinned(const Attr<T> &a) { return a.st & (ST_EXPLICIT | ST_FIXED); }
template <class T> inline void attrMerge(const Attr<T> &a, const Attr<T> &b, Attr<T> &out) {
  if (a.st & ST_FIXED) out = a;
  else if (b.st & ST_FIXED) out = b;
  else if (a.st & ST_EXPLICIT) out = a;
  else if (b.st & ST_EXPLICIT) out = b;
  else if (a.st & ST_KNOWN) out = a;
  else if (b.st & ST_KNOWN) out = b;
  else out = a;
}

int imageRecordInit(tavImage *im);
void attrClear(tavImage *im);
int attrOptionsParse(int argc, char **argv, int *leftover, int flags, tavImage *im);
int attrNegotiate(tavImage *a, tavImage *b, tavImage *out);
int attrPropagate(tavImage *src, tavImage *dst);
void attrRestoreRequested(tavImage *im);
int attrSetSize(tavImage *im, int w, int h, int d);
int configFromTemplate(tavImage *im, tavImage *tmpl);
constexpr int kMaxAlign = TAV_LINE_MAX;
int64_t lineBytes64(int64_t w, int d, int a);  // -1 when the layout is impossible
int lineBytes(int w, int d, int a);  // -1 when the layout is impossible
int fillPixelValue(tavImage *im);
int imageDataAlloc(tavImage *im, int64_t bytes);
int imageDataAllocAll(tavImage *im);
int nameIsValid(const char *text);
int imageSetName(tavImage *im, const char *text);
int parseInt(const char *word, long long *out);  // base 0; 1 when a number was read
int parseDouble(const char *word, double *out);

// ---- class table, life cycle -----------------------------------------------
int imageDestroy(tavImage *im);
int imageInit(tavImage *im);
int imageConfig(tavImage *im, tavImage *tmpl);
int imageOpen(tavImage *im, int mode);
int imageClose(tavImage *im);
int imageStart(tavImage *im);
int imageStop(tavImage *im);
int imageReadLine(tavImage *im, void *buf, int x, int y, int count);
int imageWriteLine(tavImage *im, const void *buf, int x, int y, int count);
int imageFlush(tavImage *im);
int imageSelectPage(tavImage *im, int page);
void *imagePixelAddr(tavImage *im, int x, int y);
int upstreamStartAll(tavImage *im);
int upstreamStopAll(tavImage *im);
tavImage *imageListContains(tavImage *im);
tavImage *imageListHead();
int imageListAdd(tavImage *im, const char *name);
int imageListRemove(tavImage *im);
void imageListClear();
tavImage *imageListFindByName(const char *name, int flags, int mask, int minFree);
int imageHold(tavImage *im);
int imageUnhold(tavImage *im);
int imageDestroyDefault(tavImage *im);
int imageCloseLogged(tavImage *im);
void imageAbandon(tavImage *out);
void resetNameCounter();
bool inBounds(tavImage *im, int x, int y);

// base refusals, reused by classes
tavImage *baseCreate(tavImage *);
int baseDestroy(tavImage *);
int baseInit(tavImage *);
int baseConfig(tavImage *, tavImage *);
int baseOpen(tavImage *, int);
int baseClose(tavImage *);
int baseStart(tavImage *);
int baseStop(tavImage *);
int baseReadPixel(tavImage *, int, int);
int baseWritePixel(tavImage *, int, int, int);
int baseReadLine(tavImage *, void *, int, int, int);
int baseWriteLine(tavImage *, const void *, int, int, int);
int baseBufferedPixel(tavImage *, int, int);
int baseFlush(tavImage *);
void *baseGetPixelAddr(tavImage *, int, int);
int baseSelectPage(tavImage *, int);
int opZero(tavImage *);
int opOne(tavImage *, int, int);

// ---- native memory and generator -------------------------------------------
struct GenImage : tavImage {
  Attr<uint8_t> mode;
  Attr<int32_t> incr;
  int32_t curLine;
};
extern const tavClass natClass, genClass;
tavImage *natCreate(tavImage *);
tavImage *genCreate(tavImage *);
tavImage *natCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
tavImage *genCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
tavImage *natCreateBuffered(tavImage *im, int mode);
void fillRun(void *line, int from, int to, int depth, int value);
void fillPixels(void *buf, int count, int depth, int value);
int natReadLineFrom(const unsigned char *src, tavImage *im, void *buf, int x, int count);
int natWriteLineTo(unsigned char *dst, tavImage *im, const void *buf, int count);
int natPixelGet(const unsigned char *line, int depth, int x, int *out);
int natPixelSet(unsigned char *line, int depth, int x, int v);

// ---- line buffer -----------------------------------------------------------
struct BufImage : tavImage {
  int32_t mask;
  int32_t lastLine;
  int32_t slots;
  int32_t *lineTable;
  int32_t *dirty;
};
extern const tavClass bufClass;
tavImage *bufCreate(tavImage *);
tavImage *bufCreateAbove(tavImage *im, int mode, int plines);
int imageFillLines(tavImage *im, int y0, int n);
int imageFillLinesFrom(tavImage *im, int y0);

// ---- conversion ------------------------------------------------------------
struct ConvImage : tavImage {
  int32_t code;
  int32_t held;
  int32_t bufSize;
};
extern const tavClass convClass;
tavImage *convCreate();
tavImage *convCreateAbove(tavImage *im, int mode, int depth, int photo);
int convCode(tavImage *in, tavImage *out);

// ---- transfer engine and chains -----------------------------------------------
int transferImage(tavImage *in, tavImage *out);
int transferLines(tavImage *in, tavImage *out);
tavImage *inputChainBuild(tavImage *im, int mode, int depth, int photo, int plines);
tavImage *inputChainEnsure(tavImage *im, int mode, int depth, int photo, int plines);
tavImage *inputChainMatch(tavImage *in, tavImage *out);
tavImage *inputChainStrip(tavImage *im);
int inputChainRemove(tavImage *top, tavImage *base);

// ---- creation from words -----------------------------------------------------
tavImage *inputCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
tavImage *outputCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl,
                                  int *isPipe = nullptr);
tavImage *pipeFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
void pipesRelease();  // the pipes no command has read
bool isNameWord(const char *w);

// ---- files -------------------------------------------------------------------
struct PnmImage : tavImage {
  Attr<uint8_t> rawbits;
  int32_t lastLine;
  FILE *fp;
  int32_t kind;    // header digit read or written, 0 before
  int32_t maxval;  // of an input
  uint8_t started;
  char *iobuf;     // the stream's buffer
  size_t iobufSize;
  char *path;      // the file, bound at open: a pipe may rename the image, never its file
  char *tmpName;   // an output's file while it is written; behind its NUL, the file it replaces
};
struct RawImage : tavImage {
  Attr<int64_t> offset;
  FILE *fp;
  int32_t lastLine;
  char *iobuf;
  size_t iobufSize;
  char *path;
  char *tmpName;
};
extern const tavClass pnmClass, rawClass;
tavImage *pnmFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl, int mode);
tavImage *rawFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl, int mode);
bool fileIsOpenInput(const char *path);
// Reads the pixels of a started file input into dst (linebytes x height bytes) in one call when
// its file holds them as the image keeps them in memory (binary samples of one byte or packed
// bits, lines linebytes apart, all there) and no line was read yet; 0, or -1 when they cannot be
// read so (the caller copies them line by line then). The stream's position is left as it was.
int fileReadPixels(tavImage *im, unsigned char *dst);

// ---- command language ----------------------------------------------------------
int sysOptionsParse(int argc, char **argv, int *leftover, int flags);
int stringForm(const char *string, int flags, int (*cmd)(int, char **, int *, int), int code);
void printHelp(const char *synopsis);
// The start of a command: with flag 0x1 its leading system options are parsed. Gives the index
// of the first word after them, or -1 after logging `code`.
int commandStart(int argc, char **argv, int flags, int code);
// Log codes of a command's common end.
struct CommandEndCodes {
  int noOutput, transfer, releaseMade, releaseOutput;
};
// The common end of a command that made `made` from its words: makes the output from the words
// left, transfers `made` into it (or runs `made` through to nowhere when toOutput is false) and
// releases what the command made, also after a failure. argc/argv are the words left.
int commandEnd(tavImage *made, bool ownMade, int argc, char **argv, int *leftover, int flags,
               bool toOutput, CommandEndCodes codes);

// ---- colour spaces -------------------------------------------------------------
struct ColorSpace {
  const char *name;
  double m[9];
  double white[3];
  double lo[3], hi[3];
  double alignScale[3], alignOffset[3];
  double unalignScale[3], unalignOffset[3];
};
ColorSpace *colorSpaceEntry(int index);
void colorSpacesInit();
void xyzToLab(const double *xyz, double *lab);
void rgbToLab(const double *rgb, double *lab);
void labToXyz(const double *lab, double *xyz);
void labToLhc(const double *lab, double *lhc);
void lhcToLab(const double *lhc, double *lab);
void rgbToLhc(const double *rgb, double *lhc);
int lumaBt601(int r, int g, int b);

// ---- rotation ----------------------------------------------------------------------
enum { SUB_ROT = 17 };
struct RotImage : tavImage {
  Attr<uint8_t> mode;    // 0..3 quarter turns, 4 any angle (double), 5 any angle (fixed point)
  Attr<uint8_t> mirror;
  Attr<double> angle, magX, magY;
  Attr<int32_t> cornerX, cornerY, outW, outH;
  int32_t caseCode;
  double cosA, sinA;
  int32_t bandFirst, bandLines;  // output lines held in the band (a quarter turn's), from bandFirst
};
extern const tavClass rotClass;
tavImage *rotCreate(tavImage *);
tavImage *rotCreateAbove(tavImage *input, RotImage *settings);
tavImage *rotOptionsParse(int argc, char **argv, int *leftover, int flags);
int rotWindowSetup(RotImage *r);

// ---- colour-content detector ----------------------------------------------------------
enum { SUB_CCON = 23 };
struct CconImage : tavImage {
  Attr<int32_t> sample, colorThresh;
  Attr<double> areaThresh;
  Attr<uint8_t> report;
  double result;
  tavImage *table;
  unsigned char *tableData;  // the table image's pixels, 262,144 bytes, while started
  int32_t count;
};
extern const tavClass cconClass;
const unsigned char *cconBuiltinTable();
tavImage *cconCreateFromWords(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
tavImage *cconCreateAbove(const char *name, tavImage *input, CconImage *settings);

// ---- vector helpers --------------------------------------------------------------------
void vecSet2(double *v, double a, double b);
void vecSet3(double *v, double a, double b, double c);
void matSet2(double *m, double a, double b, double c, double d);
void matSet3(double *m, const double *nine);
void pairSet3(double *lo, double *hi, const double *six);
double vecDot3(const double *a, const double *b);
double matDet3(const double *m);
void vecPrint3(const double *v);
void rangePrint3(const double *lo, const double *hi);
void matPrint3(const double *m);
void vecPrintLabel3(const char *label, const double *v);
void rangePrintLabel3(const char *label, const double *lo, const double *hi);
void matPrintLabel3(const char *label, const double *m);

// ---- document frame finder ---------------------------------------------------------------
enum { SUB_FRAME = 25 };
struct FrameImage : tavImage {
  Attr<uint8_t> paper, content, autoLum, greenLum, report, verbose;
  Attr<int32_t> background, foreground;
  int32_t result;  // 0 not run, 1 not found, 2 document, 3 document and skew
  double angle;
  int32_t cornerX, cornerY, rectWidth, rectHeight;
};
struct FrameHistogram {
  uint32_t ninside, nedge;
  uint32_t count[256];
};
enum : uint32_t { FP_TRIED = 1, FP_FOUND = 2, FP_USED = 8 };
struct FramePoint {
  uint32_t flags;
  int32_t x, y, sum, nslopes;
  double slope;
};
constexpr int kFramePoints = 64;
struct FrameLine {
  uint32_t flags;  // 1: horizontal edge, searched along columns
  int32_t npoints, nslopes;
  double slope;
  FramePoint pt[kFramePoints];
};
enum { FRAME_LEFT = 0, FRAME_TOP = 1, FRAME_RIGHT = 2, FRAME_BOTTOM = 3 };
struct FrameSummary {
  int32_t nfound, nslopes;
  double slope;
  FrameLine line[4];
};
extern const tavClass frameClass;
tavImage *frameCreate(tavImage *);
int frameInit(tavImage *im);
tavImage *frameOptionsParse(int argc, char **argv, int *leftover, int flags, tavImage *src);
int frameRun(tavImage *im);
int frameFind(tavImage *im);
// 0: 8-bit, 1: 24-bit largest component, 2: 24-bit green; -1 any other depth
int frameSampleKind(tavImage *frame, tavImage *input);
inline int frameLum(const unsigned char *p, int kind) {
  if (kind == 0) return p[0];
  if (kind == 2) return p[1];
  int m = p[0] > p[1] ? p[0] : p[1];
  return m > p[2] ? m : p[2];
}
int frameEdgeScan(tavImage *im);
int frameThreshold(tavImage *im);
int frameWorkClear(tavImage *im);
int frameEdgeTrace(tavImage *im);
int frameLinesFit(tavImage *im);
int frameLineSlope(tavImage *im, int line);
int frameLineReject(tavImage *im);
int frameCorners(tavImage *im);

// ---- colour mapping ------------------------------------------------------------
struct mapcQualifier {
  int type;  // 0 false, 1 true, 2 group, 3 and, 4 or, 5 not, 6 plane, 7 range, 8 quadratic, 9 sphere
  mapcQualifier *left, *right;
  double param, param2;
  double point[3], normal[3];
  double matrix[9];
  double low[3], high[3];
};
struct mapcStage {
  int code;
  mapcStage *next, *prev;
  mapcQualifier *qualifier;
  int marks;  // 0x1 end of an edit batch, 0x2 written into a colour table
  int srcBuf, dstBuf;
  union {
    double value;
    double vector[3];
    double matrix[9];
  };
  double quadMatrix[9];
  tavImage *image;
};
struct mapcProgram {
  int fastPath;
  mapcStage *first, *last;
};
struct mapcOpInfo {
  int code, in, out, inPlace, component;
};
const mapcOpInfo *mapcOp(int code);  // nullptr for a code outside the operator set
mapcProgram *mapcProgramNew();
mapcStage *mapcStageAdd(mapcProgram *p, int code);
int mapcStageFree(mapcStage *s);
int mapcProgramFree(mapcProgram *p);
mapcQualifier *mapcQualNew(int type);
int mapcQualFree(mapcQualifier *q);
int mapcRegionEval(const double *c, const mapcQualifier *q);
int mapcQualCheck(const mapcQualifier *q);
void mapcProgramPrint(const mapcProgram *p);
void mapcQualPrint(const mapcQualifier *q);
void mapcVectorPrint(const double *v);
void mapcMatrixPrint(const double *m);

struct MapImage : tavImage {
  Attr<uint8_t> quiet, trace;
  int32_t borrowed;
  mapcProgram *program;
  int32_t overCount, underCount;
  double *buffers[3];
  int32_t bufWidth;   // pixels the buffers hold
  tavImage *lender;   // the mapping image whose program is borrowed, held
};
extern const tavClass mapcClass;
constexpr int SUB_MAPC = 20;
inline bool isMapImage(const tavImage *im) { return im && im->cls == &mapcClass; }
int mapcInit(tavImage *im);
tavImage *mapcCreateImage(const char *name, tavImage *source, MapImage *parsed);
tavImage *mapcOptionsParse(int argc, char **argv, int *leftover, int flags, tavImage *tmpl);
mapcQualifier *mapcRegionParse(int argc, char **argv, int *index, int depth, mapcQualifier **slot);
void mapcUsage();
int mapcAddSphereStage(tavImage *map, const double *centre, double radius, int code, const double *colour);
