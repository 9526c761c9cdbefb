/* libqeltav: image records, transfers and a small command language. */
#ifndef QELTAV_H
#define QELTAV_H

#include <stdint.h>

#if defined(QELTAV_BUILD)
#define TAV_API __attribute__((visibility("default")))
#else
#define TAV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tavImage tavImage;
typedef struct tavClass tavClass;

/* System flag word bits (tavInit). */
#define TAV_SYS_TIMEXFER 0x1000
#define TAV_SYS_HEAPCHECK 0x10000
#define TAV_SYS_HEAPEXIT 0x20000
#define TAV_SYS_HEAPPRINT 0x40000
#define TAV_SYS_HEAPLEAK 0x80000
#define TAV_SYS_HEAPTRACE 0x100000
/* The host allows unmatched commands to reach the system shell. */
#define TAV_SYS_ALLOW_SHELL 0x1000000

/* Lines move between images one at a time, in line buffers of TAV_LINE_MAX bytes, unless one
   side holds its lines in memory (a native-memory image). A longer line is refused with log 319
   when the transfer starts, before any line is moved. The images that would take memory for
   their lines before that refuse it as soon as their size is known, before any line is
   allocated or any input line read: a generator, whose one line is made when it is opened, and a
   rotation (its output line) and a frame finder (its line), which hold their whole input once
   started. */
#define TAV_LINE_MAX 65536

/* Command flag bits. */
#define TAV_CMD_SYSOPT 0x1
#define TAV_CMD_SYSAPPLY 0x2
#define TAV_CMD_OPTIONS 0x4
#define TAV_CMD_IN_CLAIM 0x10
#define TAV_CMD_IN_CREATE 0x20
#define TAV_CMD_IN_RELEASE 0x40
#define TAV_CMD_OUT_CLAIM 0x100
#define TAV_CMD_OUT_CREATE 0x200
#define TAV_CMD_OUT_RELEASE 0x400
#define TAV_CMD_TRANSFER 0x1000

/* Runtime */
TAV_API int tavInit(int flags);
TAV_API int tavTerminate(int quiet);
TAV_API int tavLogInit(void);
TAV_API void tavLogReset(void);
TAV_API void tavLog(uint16_t code);
TAV_API void tavUnlog(int n);
TAV_API int tavGetLogSize(void);
TAV_API uint16_t tavGetLog(int i);
TAV_API void tavLogPrint(void);
TAV_API void *tavMemAlloc(int size);
TAV_API int tavMemFree(void *p);
TAV_API int tavMemCheckAtTermination(int quiet);
TAV_API int tavTime(void);
TAV_API int tavTicksPerSecond(void);
/* An output file is written under a temporary name beside the file it makes and renamed into
   place when it is complete. At most TAV_MAX_OPEN_OUTPUTS such files are written at once: a
   further output file is refused when it would be created (log 5050). */
#define TAV_MAX_OPEN_OUTPUTS 64
/* Removes the temporary files of the outputs being written, leaving the files they were to
   replace as they are; async-signal-safe, for a host's handler of a signal that ends it. */
TAV_API void tavRemovePartialOutputs(void);

/* Image record accessors */
TAV_API int tavGetWidth(tavImage *im);
TAV_API void tavSetWidth(tavImage *im, int v);
TAV_API int tavGetHeight(tavImage *im);
TAV_API void tavSetHeight(tavImage *im, int v);
TAV_API int tavGetDepth(tavImage *im);
TAV_API void tavSetDepth(tavImage *im, int v);
TAV_API int tavGetFill(tavImage *im);
TAV_API void tavSetFill(tavImage *im, int v);
TAV_API unsigned char tavGetSigned(tavImage *im);
TAV_API void tavSetSigned(tavImage *im, int v);
TAV_API int tavGetPhoto(tavImage *im);
TAV_API void tavSetPhoto(tavImage *im, int v);
TAV_API double tavGetResX(tavImage *im);
TAV_API void tavSetResX(tavImage *im, double v);
TAV_API double tavGetResY(tavImage *im);
TAV_API void tavSetResY(tavImage *im, double v);
TAV_API int tavGetResUnit(tavImage *im);
TAV_API void tavSetResUnit(tavImage *im, int v);
TAV_API int tavGetAlign(tavImage *im);
TAV_API void tavSetAlign(tavImage *im, int v);
TAV_API void *tavGetDataAddr(tavImage *im);
TAV_API void tavSetDataAddr(tavImage *im, void *v);
TAV_API int tavGetDataSize(tavImage *im);
TAV_API void tavSetDataSize(tavImage *im, int v);
TAV_API int tavGetFileFormat(tavImage *im);
TAV_API void tavSetFileFormat(tavImage *im, int v);
TAV_API unsigned char tavGetResizable(tavImage *im);
TAV_API void tavSetResizable(tavImage *im, int v);
TAV_API int tavGetPlines(tavImage *im);
TAV_API void tavSetPlines(tavImage *im, int v);
TAV_API int tavGetSubType(tavImage *im);
TAV_API void tavSetSubType(tavImage *im, int v);
TAV_API int tavGetFlags(tavImage *im);
TAV_API void tavSetFlags(tavImage *im, int v);
TAV_API int tavGetLinebytes(tavImage *im);
TAV_API void tavSetLinebytes(tavImage *im, int v);
TAV_API char *tavGetName(tavImage *im);
TAV_API void tavSetName(tavImage *im, char *name);
TAV_API int tavGetPage(tavImage *im);
TAV_API void tavSetPage(tavImage *im, int v);
TAV_API unsigned char tavGetImplicit(tavImage *im);
TAV_API void tavSetImplicit(tavImage *im, int v);
TAV_API unsigned char tavGetAlloc(tavImage *im);
TAV_API void tavSetAlloc(tavImage *im, int v);
TAV_API int tavGetRefs(tavImage *im);
TAV_API void tavSetRefs(tavImage *im, int v);
TAV_API int tavGetMaxRefs(tavImage *im);
TAV_API void tavSetMaxRefs(tavImage *im, int v);
TAV_API const char *tavPhotoOptionName(int code);

/* Life cycle, pixels and lines */
TAV_API int tavDestroyImage(tavImage *im);
TAV_API int tavInitImage(tavImage *im);
TAV_API int tavConfigImage(tavImage *im, tavImage *tmpl);
TAV_API int tavOpenImage(tavImage *im, int mode);
TAV_API int tavCloseImage(tavImage *im);
TAV_API int tavStartImage(tavImage *im);
TAV_API int tavStopImage(tavImage *im);
TAV_API int tavReadLine(tavImage *im, void *buf, int x, int y, int count);
TAV_API int tavWriteLine(tavImage *im, const void *buf, int x, int y, int count);
TAV_API int tavFlushImage(tavImage *im);
TAV_API int tavSelectPage(tavImage *im, int page);
TAV_API int tavReadPixel(tavImage *im, int x, int y);
TAV_API int tavWritePixel(tavImage *im, int x, int y, int value);
TAV_API int tavBufferedPixel(tavImage *im, int x, int y);
TAV_API void *tavGetPixelAddr(tavImage *im, int x, int y);
TAV_API tavImage *tavFindImageByName(const char *name);
TAV_API int tavHoldInterface(tavImage *im);
TAV_API int tavRelease(tavImage *im);

/* Generator parameters */
TAV_API unsigned char tavGetGenMode(tavImage *im);
TAV_API int tavGetGenIncr(tavImage *im);
TAV_API void tavSetGenMode(tavImage *im, int mode);
TAV_API void tavSetGenIncr(tavImage *im, int incr);

/* Transfers */
TAV_API int tavCopyImage(tavImage *in, tavImage *out);
TAV_API int tavCopyPages(tavImage *in, tavImage *out, int inPage, int outPage, int count);

/* Creation from option words */
TAV_API int tavCreateInputCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavCreateInput(const char *string, int flags);
TAV_API int tavCreateOutputCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavCreateOutput(const char *string, int flags);

/* Command language */
TAV_API int tavCommandSplit(int *argc, char ***argv, const char *s, const char **rest);
TAV_API char *tavCommandJoin(int argc, char **argv);
TAV_API int tavSystemOptionsCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavSystemOptions(const char *string, int flags);
TAV_API void tavExecuteStart(void);
TAV_API int tavExecuteStop(void);
TAV_API int tavExecuteStatus(void);
TAV_API int tavExecuteCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavExecute(const char *string, int flags);
TAV_API int tavExecuteFile(const char *name, int flags);
TAV_API int tavExecuteFilesCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavExecuteFiles(const char *string, int flags);
TAV_API int tavCopyCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavCopy(const char *string, int flags);

/* Rotation */
TAV_API int tavRotateCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavRotate(const char *string, int flags);
TAV_API int tavGetRotateAdjustXOn(tavImage *im);
TAV_API int tavGetRotateAdjustYOn(tavImage *im);
TAV_API int tavGetRotateAdjustWidthOn(tavImage *im);
TAV_API int tavGetRotateAdjustHeightOn(tavImage *im);
TAV_API double tavGetRotateAngle(tavImage *im);
TAV_API double tavGetRotateMagnifyX(tavImage *im);
TAV_API double tavGetRotateMagnifyY(tavImage *im);
TAV_API int tavGetRotateCornerX(tavImage *im);
TAV_API int tavGetRotateCornerY(tavImage *im);
TAV_API int tavGetRotateWidth(tavImage *im);
TAV_API int tavGetRotateHeight(tavImage *im);
TAV_API unsigned char tavGetRotateMirrorOn(tavImage *im);
TAV_API void tavSetRotateAdjustOn(tavImage *im);
TAV_API void tavSetRotateAdjustXOn(tavImage *im);
TAV_API void tavSetRotateAdjustYOn(tavImage *im);
TAV_API void tavSetRotateAdjustWidthOn(tavImage *im);
TAV_API void tavSetRotateAdjustHeightOn(tavImage *im);
TAV_API void tavSetRotateAngle(tavImage *im, double angle);
TAV_API void tavSetRotateAngle0(tavImage *im);
TAV_API void tavSetRotateAngle90(tavImage *im);
TAV_API void tavSetRotateAngle180(tavImage *im);
TAV_API void tavSetRotateAngle270(tavImage *im);
TAV_API void tavSetRotateMagnify(tavImage *im, double m);
TAV_API void tavSetRotateMagnifyX(tavImage *im, double m);
TAV_API void tavSetRotateMagnifyY(tavImage *im, double m);
TAV_API void tavSetRotateCornerX(tavImage *im, int v);
TAV_API void tavSetRotateCornerY(tavImage *im, int v);
TAV_API void tavSetRotateWidth(tavImage *im, int v);
TAV_API void tavSetRotateHeight(tavImage *im, int v);
TAV_API void tavSetRotateMirrorOn(tavImage *im);
TAV_API void tavSetRotateMirrorOff(tavImage *im);

/* Colour-content detector */
TAV_API int tavColorContentCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavColorContent(const char *string, int flags);
TAV_API int tavGetColorContentSampleFactor(tavImage *im);
TAV_API int tavGetColorContentColorThresh(tavImage *im);
TAV_API double tavGetColorContentAreaThresh(tavImage *im);
TAV_API int tavGetColorContentReportMode(tavImage *im);
TAV_API double tavGetColorContentResult(tavImage *im);
TAV_API void tavSetColorContentSampleFactor(tavImage *im, int v);
TAV_API void tavSetColorContentColorThresh(tavImage *im, int v);
TAV_API void tavSetColorContentAreaThresh(tavImage *im, double v);
TAV_API void tavSetColorContentReportMode(tavImage *im, int v);
TAV_API void tavSetColorContentResult(tavImage *im, double v);

/* Colour-space table and vector helpers */
TAV_API int tavColorCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavColor(const char *string, int flags);
TAV_API int tavVectorCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavVector(const char *string, int flags);

/* Document frame finder */
TAV_API int tavFrameCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavFrame(const char *string, int flags);
TAV_API int tavGetFramePaperOn(tavImage *im);
TAV_API void tavSetFramePaperOn(tavImage *im);
TAV_API void tavSetFramePaperOff(tavImage *im);
TAV_API int tavGetFrameContentOn(tavImage *im);
TAV_API void tavSetFrameContentOn(tavImage *im);
TAV_API void tavSetFrameContentOff(tavImage *im);
TAV_API int tavGetFrameAutoLuminanceOn(tavImage *im);
TAV_API void tavSetFrameAutoLuminanceOn(tavImage *im);
TAV_API void tavSetFrameAutoLuminanceOff(tavImage *im);
TAV_API int tavGetFrameGreenLuminanceOn(tavImage *im);
TAV_API void tavSetFrameGreenLuminanceOn(tavImage *im);
TAV_API void tavSetFrameGreenLuminanceOff(tavImage *im);
TAV_API int tavGetFrameReportOn(tavImage *im);
TAV_API void tavSetFrameReportOn(tavImage *im);
TAV_API void tavSetFrameReportOff(tavImage *im);
TAV_API int tavGetFrameVerboseOn(tavImage *im);
TAV_API void tavSetFrameVerboseOn(tavImage *im);
TAV_API void tavSetFrameVerboseOff(tavImage *im);
TAV_API int tavGetFrameBackground(tavImage *im);
TAV_API void tavSetFrameBackground(tavImage *im, int v);
TAV_API int tavGetFrameForeground(tavImage *im);
TAV_API void tavSetFrameForeground(tavImage *im, int v);
TAV_API int tavGetFrameResult(tavImage *im);
TAV_API double tavGetFrameAngle(tavImage *im);
TAV_API int tavGetFrameCornerX(tavImage *im);
TAV_API int tavGetFrameCornerY(tavImage *im);
TAV_API int tavGetFrameWidth(tavImage *im);
TAV_API int tavGetFrameHeight(tavImage *im);

/* Colour mapping */
TAV_API int tavMapColorCommand(int argc, char **argv, int *leftover, int flags);
TAV_API int tavMapColor(const char *string, int flags);
TAV_API int tavColorReplace(tavImage *map, int r, int g, int b, int radius, int keepSource, int r2, int g2, int b2);
TAV_API int tavColorReplaceBox(tavImage *map, tavImage *image, int x, int y, int w, int h, int maxCount,
                               int lumaLimit, int radius, int keepSource, int r2, int g2, int b2);
TAV_API int tavColorUndo(tavImage *map, int n);
TAV_API int tavColorUpdateTable(tavImage *map, tavImage *table);

#ifdef __cplusplus
}
#endif

#endif
