/* paperstack: a SANE backend that feeds page images from a folder as a scanner feeds paper.
 *
 * Devices come from paperstack.conf (found along SANE_CONFIG_DIR):
 *   feeder <folder>      a sheet feeder with a flatbed: device "paperstack:feeder"
 *   overhead <folder>    an overhead book scanner (flatbed only): device "paperstack:overhead",
 *                        model MIN7PS
 *   jam <n>              the device above jams at its n-th sheet, once (fed from the feeder)
 *   cover-open <n>       the device above reports its cover open at its n-th sheet, once
 *   fail <n> <status> [read]
 *                        the device above answers the SANE status (its name without
 *                        SANE_STATUS_, e.g. io_error) at the start of its n-th sheet, or halfway
 *                        through reading the sheet's front with "read", once; the sheet stays
 *                        at the top of the stack
 *   pace <ms>            the device above takes that long to feed each sheet
 * A relative folder is taken from the configuration file's folder. A line not understood, and a
 * file of a stack that cannot be read as a page, are named on stderr.
 *
 * The folder is the stack: its TIFF and PNM files in name order, each page of a multi-page TIFF
 * a sheet of its own. A file whose name ends in "-back" (before the extension) is the back of
 * the sheet before it; a sheet without one has a clean white back. Opening the device puts the
 * whole stack into the feeder; each sane_start takes the next sheet (its back too, in duplex),
 * the flatbed the next sheet's front, and an empty stack answers SANE_STATUS_NO_DOCS.
 * The page is placed at the top left of the scan area and scanned at the resolution, mode and
 * area asked for; the area beyond the paper is white. A sheet fed from the feeder ends with the
 * paper (its frame is no longer than the sheet); the flatbed scans the whole area. Images without a resolution count as
 * 200 dpi. SANE_DEBUG_PAPERSTACK set to 1 or more prints what the backend does on stderr. */
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <sane/sane.h>
#include <sane/saneopts.h>
#include <tiffio.h>

#define EXPORT __attribute__((visibility("default")))
#define MM_PER_INCH 25.4
#define DEFAULT_DPI 200.0
#define MAX_PIXELS (160L * 1000 * 1000) /* 24 x 18 in at 600 dpi */

/* ---- diagnostics ---- */

static int debug_level(void)
{
    const char *v = getenv("SANE_DEBUG_PAPERSTACK");
    return v ? atoi(v) : 0;
}

static void tell(const char *fmt, va_list ap)
{
    fputs("[paperstack] ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
}

/* What the backend does, when asked for. */
static void say(const char *fmt, ...)
{
    if (debug_level() < 1)
        return;
    va_list ap;
    va_start(ap, fmt);
    tell(fmt, ap);
    va_end(ap);
}

/* What the person who set the scanner up must know: always. */
static void complain(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    tell(fmt, ap);
    va_end(ap);
}

/* ---- devices ---- */

enum kind { FEEDER, OVERHEAD };

#define MAX_FAULTS 32

/* A status the device answers once, at the start of a sheet or while its front is read. */
struct fault {
    int sheet; /* from 1 */
    SANE_Status status;
    int in_read;
    int feeder_only; /* a jam or an open cover needs paper moving through the feeder */
};

struct device {
    enum kind kind;
    char *folder;
    struct fault faults[MAX_FAULTS];
    int fault_count;
    int pace_ms;
    SANE_Device sane;
};

static struct device *devices;
static int device_count;
static const SANE_Device **device_list;

static char *join_path(const char *dir, const char *name)
{
    size_t n = strlen(dir) + strlen(name) + 2;
    char *p = malloc(n);
    if (p)
        snprintf(p, n, "%s/%s", dir, name);
    return p;
}

static char *dup_string(const char *s)
{
    char *p = malloc(strlen(s) + 1);
    if (p)
        strcpy(p, s);
    return p;
}

static void add_device(enum kind kind, const char *folder, const char *conf_dir)
{
    struct device *grown = realloc(devices, sizeof *devices * (size_t)(device_count + 1));
    if (!grown)
        return;
    devices = grown;
    struct device *d = &devices[device_count];
    memset(d, 0, sizeof *d);
    d->kind = kind;
    d->folder = folder[0] == '/' ? dup_string(folder) : join_path(conf_dir, folder);
    if (!d->folder)
        return;
    d->sane.name = kind == FEEDER ? "feeder" : "overhead";
    d->sane.vendor = "Quorla";
    d->sane.model = kind == FEEDER ? "Demo Sheet Feeder" : "MIN7PS";
    d->sane.type = kind == FEEDER ? "sheetfed scanner" : "overhead book scanner";
    ++device_count;
    say("device %s: %s", d->sane.name, d->folder);
}

static const struct {
    const char *name;
    SANE_Status status;
} status_names[] = {
    {"unsupported", SANE_STATUS_UNSUPPORTED}, {"cancelled", SANE_STATUS_CANCELLED},
    {"device_busy", SANE_STATUS_DEVICE_BUSY}, {"inval", SANE_STATUS_INVAL},
    {"jammed", SANE_STATUS_JAMMED},           {"no_docs", SANE_STATUS_NO_DOCS},
    {"cover_open", SANE_STATUS_COVER_OPEN},   {"io_error", SANE_STATUS_IO_ERROR},
    {"no_mem", SANE_STATUS_NO_MEM},           {"access_denied", SANE_STATUS_ACCESS_DENIED},
};

/* A whole positive number, else 0. */
static int sheet_number(const char *text)
{
    char *end = NULL;
    errno = 0;
    const long v = strtol(text, &end, 10);
    return errno || end == text || (*end && !isspace((unsigned char)*end)) || v < 1 || v > 1000000 ? 0 : (int)v;
}

static int add_fault(struct device *d, int sheet, SANE_Status status, int in_read, int feeder_only)
{
    if (!d || sheet < 1 || d->fault_count >= MAX_FAULTS)
        return 0;
    struct fault *f = &d->faults[d->fault_count++];
    f->sheet = sheet;
    f->status = status;
    f->in_read = in_read;
    f->feeder_only = feeder_only;
    return 1;
}

/* "fail <n> <status> [read]" */
static int read_fail(struct device *d, char *arg)
{
    char *save = NULL;
    const char *n = strtok_r(arg, " \t", &save), *name = strtok_r(NULL, " \t", &save);
    const char *when = strtok_r(NULL, " \t", &save);
    if (!n || !name || (when && strcmp(when, "read")) || strtok_r(NULL, " \t", &save))
        return 0;
    for (size_t i = 0; i < sizeof status_names / sizeof *status_names; ++i)
        if (!strcasecmp(name, status_names[i].name))
            return add_fault(d, sheet_number(n), status_names[i].status, when != NULL, 0);
    return 0;
}

/* Reads one configuration line: a keyword and its argument, comments after '#'. */
static void read_line(char *line, const char *conf_dir)
{
    char *hash = strchr(line, '#');
    if (hash)
        *hash = '\0';
    char *key = line;
    while (isspace((unsigned char)*key))
        ++key;
    char *arg = key;
    while (*arg && !isspace((unsigned char)*arg))
        ++arg;
    if (*arg)
        *arg++ = '\0';
    while (isspace((unsigned char)*arg))
        ++arg;
    size_t n = strlen(arg);
    while (n > 0 && isspace((unsigned char)arg[n - 1]))
        arg[--n] = '\0';
    if (!*key)
        return;
    struct device *last = device_count > 0 ? &devices[device_count - 1] : NULL;
    char *copy = dup_string(arg);
    int ok = copy != NULL;
    if (ok && !strcmp(key, "feeder") && *arg)
        add_device(FEEDER, arg, conf_dir);
    else if (ok && !strcmp(key, "overhead") && *arg)
        add_device(OVERHEAD, arg, conf_dir);
    else if (ok && !strcmp(key, "jam"))
        ok = add_fault(last, sheet_number(arg), SANE_STATUS_JAMMED, 0, 1);
    else if (ok && !strcmp(key, "cover-open"))
        ok = add_fault(last, sheet_number(arg), SANE_STATUS_COVER_OPEN, 0, 0);
    else if (ok && !strcmp(key, "fail"))
        ok = read_fail(last, copy);
    else if (ok && !strcmp(key, "pace") && last && sheet_number(arg))
        last->pace_ms = sheet_number(arg);
    else
        ok = 0;
    if (!ok)
        complain("configuration line not understood: %s %s", key, arg);
    free(copy);
}

/* The first paperstack.conf along SANE_CONFIG_DIR (a trailing ':' adds the default folders). */
static void read_config(void)
{
    const char *env = getenv("SANE_CONFIG_DIR");
    char *dirs = NULL;
    if (!env || !*env) {
        dirs = dup_string(".:/etc/sane.d");
    } else {
        size_t n = strlen(env);
        dirs = malloc(n + 16);
        if (dirs)
            snprintf(dirs, n + 16, "%s%s", env, env[n - 1] == ':' ? ".:/etc/sane.d" : "");
    }
    if (!dirs)
        return;
    char *save = NULL;
    for (char *dir = strtok_r(dirs, ":", &save); dir; dir = strtok_r(NULL, ":", &save)) {
        char *path = join_path(dir, "paperstack.conf");
        FILE *f = path ? fopen(path, "r") : NULL;
        free(path);
        if (!f)
            continue;
        char line[4096];
        while (fgets(line, sizeof line, f))
            read_line(line, dir);
        fclose(f);
        break;
    }
    free(dirs);
}

/* ---- page images ---- */

/* An image in 8-bit samples, 1 (grey) or 3 (RGB) to a pixel. */
struct image {
    int width, height, channels;
    double xdpi, ydpi;
    unsigned char *pixels;
};

static void free_image(struct image *im)
{
    free(im->pixels);
    memset(im, 0, sizeof *im);
}

static int alloc_image(struct image *im, long width, long height, int channels)
{
    if (width < 1 || height < 1 || width > MAX_PIXELS / height)
        return 0;
    im->width = (int)width;
    im->height = (int)height;
    im->channels = channels;
    im->pixels = malloc((size_t)width * (size_t)height * (size_t)channels);
    return im->pixels != NULL;
}

static int quiet_tiff(TIFF *tif, void *data, const char *module, const char *fmt, va_list ap)
{
    (void)tif;
    (void)data;
    if (debug_level() >= 2) {
        fprintf(stderr, "[paperstack] %s: ", module ? module : "libtiff");
        vfprintf(stderr, fmt, ap);
        fputc('\n', stderr);
    }
    return 1;
}

static TIFF *open_tiff(const char *path)
{
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (!opts)
        return NULL;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, quiet_tiff, NULL);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, quiet_tiff, NULL);
    TIFF *tif = TIFFOpenExt(path, "r", opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

static double tiff_dpi(TIFF *tif, ttag_t tag)
{
    float v = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, tag, &v) || !(v > 0) || !isfinite(v))
        return DEFAULT_DPI;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER)
        return v * 2.54;
    return unit == RESUNIT_NONE ? DEFAULT_DPI : v;
}

/* Page `page` of a TIFF file: bilevel and 8-bit grey line by line, anything else through
 * libtiff's RGBA reader. */
static int load_tiff(const char *path, int page, struct image *im)
{
    TIFF *tif = open_tiff(path);
    if (!tif)
        return 0;
    int ok = 0;
    uint32_t w = 0, h = 0;
    uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
    if (!TIFFSetDirectory(tif, (tdir_t)page) || !TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w)
        || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        goto done;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    im->xdpi = tiff_dpi(tif, TIFFTAG_XRESOLUTION);
    im->ydpi = tiff_dpi(tif, TIFFTAG_YRESOLUTION);
    const int grey = spp == 1 && (bps == 1 || bps == 8) && !TIFFIsTiled(tif)
                     && (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    if (grey) {
        if (!alloc_image(im, w, h, 1))
            goto done;
        unsigned char *line = malloc((size_t)TIFFScanlineSize(tif));
        if (!line)
            goto done;
        const int invert = photometric == PHOTOMETRIC_MINISWHITE;
        ok = 1;
        for (uint32_t y = 0; y < h && ok; ++y) {
            ok = TIFFReadScanline(tif, line, y, 0) >= 0;
            unsigned char *out = im->pixels + (size_t)y * w;
            for (uint32_t x = 0; x < w && ok; ++x) {
                unsigned v = bps == 1 ? ((line[x >> 3] >> (7 - (x & 7))) & 1u) * 255u : line[x];
                out[x] = (unsigned char)(invert ? 255u - v : v);
            }
        }
        free(line);
    } else {
        if (!alloc_image(im, w, h, 3))
            goto done;
        uint32_t *rgba = malloc((size_t)w * h * sizeof *rgba);
        if (!rgba)
            goto done;
        ok = TIFFReadRGBAImageOriented(tif, w, h, rgba, ORIENTATION_TOPLEFT, 0);
        for (size_t i = 0; ok && i < (size_t)w * h; ++i) {
            im->pixels[3 * i] = (unsigned char)TIFFGetR(rgba[i]);
            im->pixels[3 * i + 1] = (unsigned char)TIFFGetG(rgba[i]);
            im->pixels[3 * i + 2] = (unsigned char)TIFFGetB(rgba[i]);
        }
        free(rgba);
    }
done:
    TIFFClose(tif);
    if (!ok)
        free_image(im);
    return ok;
}

/* A number of a PNM header; comments may stand anywhere between the fields. */
static long pnm_number(FILE *f)
{
    int c = fgetc(f);
    for (;;) {
        while (c != EOF && isspace(c))
            c = fgetc(f);
        if (c != '#')
            break;
        while (c != EOF && c != '\n')
            c = fgetc(f);
    }
    long v = 0;
    int digits = 0;
    while (c != EOF && isdigit(c) && v < 1000000) {
        v = v * 10 + (c - '0');
        c = fgetc(f);
        ++digits;
    }
    return digits && (c == EOF || isspace(c)) ? v : -1;
}

struct pnm_header {
    int type; /* 4, 5 or 6 */
    long width, height, maxval;
    size_t row; /* bytes */
};

/* The header of a binary PBM, PGM or PPM within the size limit. */
static int read_pnm_header(FILE *f, struct pnm_header *h)
{
    char magic[2];
    if (fread(magic, 1, 2, f) != 2 || magic[0] != 'P' || magic[1] < '4' || magic[1] > '6')
        return 0;
    h->type = magic[1] - '0';
    h->width = pnm_number(f);
    h->height = pnm_number(f);
    h->maxval = h->type == 4 ? 1 : pnm_number(f);
    if (h->width < 1 || h->height < 1 || h->maxval < 1 || h->maxval > 65535 || h->width > MAX_PIXELS / h->height)
        return 0;
    const size_t sample = h->maxval > 255 ? 2 : 1;
    h->row = h->type == 4 ? (size_t)(h->width + 7) / 8 : (size_t)h->width * (h->type == 6 ? 3 : 1) * sample;
    return 1;
}

/* Binary PBM, PGM or PPM (P4, P5, P6); 16-bit samples keep their high byte. */
static int load_pnm(const char *path, struct image *im)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return 0;
    int ok = 0;
    struct pnm_header hd;
    if (!read_pnm_header(f, &hd))
        goto done;
    const int type = hd.type;
    const long w = hd.width, h = hd.height, maxval = hd.maxval;
    if (!alloc_image(im, w, h, type == 6 ? 3 : 1))
        goto done;
    im->xdpi = im->ydpi = DEFAULT_DPI;
    const size_t sample = maxval > 255 ? 2 : 1;
    const size_t row = hd.row;
    unsigned char *line = malloc(row);
    if (!line)
        goto done;
    ok = 1;
    for (long y = 0; y < h && ok; ++y) {
        ok = fread(line, 1, row, f) == row;
        unsigned char *out = im->pixels + (size_t)y * (size_t)w * (size_t)im->channels;
        for (size_t i = 0; ok && i < (size_t)w * (size_t)im->channels; ++i) {
            if (type == 4) {
                out[i] = ((line[i >> 3] >> (7 - (i & 7))) & 1u) ? 0 : 255;
            } else {
                const unsigned v = sample == 2 ? (unsigned)line[2 * i] << 8 | line[2 * i + 1] : line[i];
                out[i] = (unsigned char)(v * 255u / (unsigned)maxval);
            }
        }
    }
    free(line);
done:
    fclose(f);
    if (!ok)
        free_image(im);
    return ok;
}

static int has_suffix(const char *name, const char *suffix)
{
    size_t n = strlen(name), m = strlen(suffix);
    return n >= m && !strcasecmp(name + n - m, suffix);
}

static int is_tiff(const char *name) { return has_suffix(name, ".tif") || has_suffix(name, ".tiff"); }

static int is_pnm(const char *name)
{
    return has_suffix(name, ".pbm") || has_suffix(name, ".pgm") || has_suffix(name, ".ppm") || has_suffix(name, ".pnm");
}

/* ---- the stack ---- */

struct side {
    char *path; /* NULL: a clean white back */
    int page;
};

struct sheet {
    struct side front, back;
};

struct stack {
    struct sheet *sheets;
    int count;
};

static void free_stack(struct stack *st)
{
    for (int i = 0; i < st->count; ++i) {
        free(st->sheets[i].front.path);
        free(st->sheets[i].back.path);
    }
    free(st->sheets);
    memset(st, 0, sizeof *st);
}

static struct sheet *add_sheet(struct stack *st)
{
    struct sheet *grown = realloc(st->sheets, sizeof *grown * (size_t)(st->count + 1));
    if (!grown)
        return NULL;
    st->sheets = grown;
    memset(&grown[st->count], 0, sizeof *grown);
    return &grown[st->count++];
}

/* The length of a file name's stem without "-back"; *back tells whether it had it. */
static size_t stem_length(const char *name, int *back)
{
    const char *dot = strrchr(name, '.');
    size_t n = dot ? (size_t)(dot - name) : strlen(name);
    *back = n >= 5 && !strncasecmp(name + n - 5, "-back", 5);
    return *back ? n - 5 : n;
}

/* Name order, a back right behind its front. */
static int by_name(const void *a, const void *b)
{
    const char *x = *(char *const *)a, *y = *(char *const *)b;
    int xb, yb;
    const size_t xn = stem_length(x, &xb), yn = stem_length(y, &yb);
    const int c = strncmp(x, y, xn < yn ? xn : yn);
    if (c || xn != yn)
        return c ? c : (xn < yn ? -1 : 1);
    return xb != yb ? xb - yb : strcmp(x, y);
}

/* The sheets a TIFF file gives; a file or page that cannot be a sheet is named (it fails as
 * an I/O error when it is fed). */
static int tiff_pages(const char *path)
{
    TIFF *tif = open_tiff(path);
    if (!tif) {
        complain("%s: not a readable TIFF file", path);
        return 1;
    }
    int n = 0;
    do {
        uint32_t w = 0, h = 0;
        ++n;
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) || w < 1
            || h < 1 || w > MAX_PIXELS / h)
            complain("%s page %d: no page image of at most %ld pixels", path, n, MAX_PIXELS);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return n;
}

/* Names a netpbm file that cannot be a sheet: bad header, too large or cut short. */
static void check_pnm(const char *path)
{
    FILE *f = fopen(path, "rb");
    struct pnm_header h;
    int ok = f && read_pnm_header(f, &h);
    if (ok) {
        const long at = ftell(f);
        struct stat st;
        ok = at >= 0 && fstat(fileno(f), &st) == 0
             && (unsigned long long)st.st_size >= (unsigned long long)at + (unsigned long long)h.row * (unsigned long long)h.height;
    }
    if (f)
        fclose(f);
    if (!ok)
        complain("%s: not a readable netpbm page of at most %ld pixels", path, MAX_PIXELS);
}

/* The stack of a folder, as its files stand now. */
static void load_stack(const char *folder, struct stack *st)
{
    DIR *dir = opendir(folder);
    if (!dir) {
        say("cannot read %s: %s", folder, strerror(errno));
        return;
    }
    char **names = NULL;
    size_t count = 0;
    for (struct dirent *e; (e = readdir(dir));) {
        if (e->d_name[0] == '.' || !(is_tiff(e->d_name) || is_pnm(e->d_name)))
            continue;
        char **grown = realloc(names, sizeof *names * (count + 1));
        if (!grown)
            break;
        names = grown;
        if (!(names[count] = dup_string(e->d_name)))
            break;
        ++count;
    }
    closedir(dir);
    if (count)
        qsort(names, count, sizeof *names, by_name);
    for (size_t i = 0; i < count; ++i) {
        char *path = join_path(folder, names[i]);
        if (!path)
            break;
        int pages = 1;
        if (is_tiff(names[i]))
            pages = tiff_pages(path);
        else
            check_pnm(path);
        int back;
        stem_length(names[i], &back);
        struct sheet *last = st->count > 0 ? &st->sheets[st->count - 1] : NULL;
        if (back && last && !last->back.path) {
            last->back.path = path;
            continue;
        }
        for (int p = 0; p < pages && path; ++p) {
            struct sheet *s = add_sheet(st);
            if (!s)
                break;
            s->front.path = p == 0 ? path : dup_string(path);
            s->front.page = p;
        }
    }
    for (size_t i = 0; i < count; ++i)
        free(names[i]);
    free(names);
    say("%s: %d sheets", folder, st->count);
}

/* ---- options ---- */

enum {
    OPT_COUNT,
    OPT_SOURCE,
    OPT_MODE,
    OPT_RESOLUTION,
    OPT_TL_X,
    OPT_TL_Y,
    OPT_BR_X,
    OPT_BR_Y,
    OPT_TOTAL
};

static SANE_String_Const feeder_sources[] = {"Flatbed", "ADF Front", "ADF Duplex", NULL};
static SANE_String_Const overhead_sources[] = {"Flatbed", NULL};
enum { SRC_FLATBED, SRC_ADF, SRC_DUPLEX };
static SANE_String_Const modes[] = {SANE_VALUE_SCAN_MODE_LINEART, SANE_VALUE_SCAN_MODE_GRAY,
                                    SANE_VALUE_SCAN_MODE_COLOR, NULL};
enum { MODE_LINEART, MODE_GRAY, MODE_COLOR };
static const SANE_Range resolution_range = {50, 600, 1};
/* Legal for the feeder; 24 x 18 in for the overhead bed. */
static const SANE_Range feeder_x = {0, SANE_FIX(8.5 * MM_PER_INCH), 0};
static const SANE_Range feeder_y = {0, SANE_FIX(14 * MM_PER_INCH), 0};
static const SANE_Range overhead_x = {0, SANE_FIX(24 * MM_PER_INCH), 0};
static const SANE_Range overhead_y = {0, SANE_FIX(18 * MM_PER_INCH), 0};

struct scanner {
    struct device *dev;
    SANE_Option_Descriptor opt[OPT_TOTAL];
    SANE_Word value[OPT_TOTAL]; /* the string options keep their list index */
    struct stack stack;
    int next_sheet;    /* index of the next sheet to feed */
    int back_of;       /* duplex: the sheet whose back comes next, else -1 */
    int told[MAX_FAULTS];
    struct scanner *next_open;
    /* the frame being read */
    int scanning;
    SANE_Status after;  /* what a read answers when no frame is read: INVAL, EOF, CANCELLED */
    int sheet;          /* the sheet whose front is read, else -1 */
    int read_fault;     /* the fault to answer halfway through it, else -1 */
    double paper_in;    /* a fed sheet's length in inches, for its white back */
    struct image page; /* the side; empty for a white back */
    SANE_Parameters params;
    int mode;
    int *col_from, *col_to; /* per output column, the source columns it covers */
    double y_scale, y_offset;
    unsigned char *line;
    int line_no, line_pos;
};

static void describe(SANE_Option_Descriptor *d, const char *name, const char *title, const char *desc,
                     SANE_Value_Type type, SANE_Unit unit)
{
    d->name = name;
    d->title = title;
    d->desc = desc;
    d->type = type;
    d->unit = unit;
    d->size = sizeof(SANE_Word);
    d->cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
}

static SANE_Int list_size(const SANE_String_Const *list)
{
    size_t n = 0;
    for (; *list; ++list)
        if (strlen(*list) + 1 > n)
            n = strlen(*list) + 1;
    return (SANE_Int)n;
}

static void set_up_options(struct scanner *s)
{
    const int overhead = s->dev->kind == OVERHEAD;
    SANE_Option_Descriptor *o = s->opt;
    o[OPT_COUNT].name = SANE_NAME_NUM_OPTIONS;
    o[OPT_COUNT].title = SANE_TITLE_NUM_OPTIONS;
    o[OPT_COUNT].desc = SANE_DESC_NUM_OPTIONS;
    o[OPT_COUNT].type = SANE_TYPE_INT;
    o[OPT_COUNT].size = sizeof(SANE_Word);
    o[OPT_COUNT].cap = SANE_CAP_SOFT_DETECT;
    s->value[OPT_COUNT] = OPT_TOTAL;

    describe(&o[OPT_SOURCE], SANE_NAME_SCAN_SOURCE, SANE_TITLE_SCAN_SOURCE, SANE_DESC_SCAN_SOURCE, SANE_TYPE_STRING,
             SANE_UNIT_NONE);
    o[OPT_SOURCE].constraint_type = SANE_CONSTRAINT_STRING_LIST;
    o[OPT_SOURCE].constraint.string_list = overhead ? overhead_sources : feeder_sources;
    o[OPT_SOURCE].size = list_size(feeder_sources);
    s->value[OPT_SOURCE] = overhead ? SRC_FLATBED : SRC_ADF;

    describe(&o[OPT_MODE], SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE, SANE_DESC_SCAN_MODE, SANE_TYPE_STRING,
             SANE_UNIT_NONE);
    o[OPT_MODE].constraint_type = SANE_CONSTRAINT_STRING_LIST;
    o[OPT_MODE].constraint.string_list = modes;
    o[OPT_MODE].size = list_size(modes);
    s->value[OPT_MODE] = MODE_LINEART;

    describe(&o[OPT_RESOLUTION], SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION, SANE_DESC_SCAN_RESOLUTION,
             SANE_TYPE_INT, SANE_UNIT_DPI);
    o[OPT_RESOLUTION].constraint_type = SANE_CONSTRAINT_RANGE;
    o[OPT_RESOLUTION].constraint.range = &resolution_range;
    s->value[OPT_RESOLUTION] = 200;

    const SANE_Range *xr = overhead ? &overhead_x : &feeder_x, *yr = overhead ? &overhead_y : &feeder_y;
    describe(&o[OPT_TL_X], SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X, SANE_DESC_SCAN_TL_X, SANE_TYPE_FIXED, SANE_UNIT_MM);
    describe(&o[OPT_TL_Y], SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y, SANE_DESC_SCAN_TL_Y, SANE_TYPE_FIXED, SANE_UNIT_MM);
    describe(&o[OPT_BR_X], SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X, SANE_TYPE_FIXED, SANE_UNIT_MM);
    describe(&o[OPT_BR_Y], SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y, SANE_TYPE_FIXED, SANE_UNIT_MM);
    for (int i = OPT_TL_X; i <= OPT_BR_Y; ++i) {
        o[i].constraint_type = SANE_CONSTRAINT_RANGE;
        o[i].constraint.range = (i == OPT_TL_X || i == OPT_BR_X) ? xr : yr;
    }
    s->value[OPT_TL_X] = s->value[OPT_TL_Y] = 0;
    s->value[OPT_BR_X] = xr->max;
    s->value[OPT_BR_Y] = yr->max;
}

/* ---- the frame ---- */

/* The whole pixels the area covers, give or take the hundredth of a pixel that millimetres in
 * fixed point lose. */
static int frame_pixels(SANE_Fixed from, SANE_Fixed to, int dpi)
{
    return (int)floor((SANE_UNFIX(to) - SANE_UNFIX(from)) / MM_PER_INCH * dpi + 0.01);
}

/* The area with its corners in order: a frontend may set tl past br before it moves br. */
static void area(const struct scanner *s, SANE_Fixed *left, SANE_Fixed *top, SANE_Fixed *right, SANE_Fixed *bottom)
{
    const SANE_Word *v = s->value;
    const int x_swapped = v[OPT_TL_X] > v[OPT_BR_X], y_swapped = v[OPT_TL_Y] > v[OPT_BR_Y];
    *left = x_swapped ? v[OPT_BR_X] : v[OPT_TL_X];
    *right = x_swapped ? v[OPT_TL_X] : v[OPT_BR_X];
    *top = y_swapped ? v[OPT_BR_Y] : v[OPT_TL_Y];
    *bottom = y_swapped ? v[OPT_TL_Y] : v[OPT_BR_Y];
}

static void frame_parameters(const struct scanner *s, SANE_Parameters *p)
{
    const int dpi = s->value[OPT_RESOLUTION];
    const int mode = s->value[OPT_MODE];
    memset(p, 0, sizeof *p);
    p->format = mode == MODE_COLOR ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
    p->last_frame = SANE_TRUE;
    SANE_Fixed left, top, right, bottom;
    area(s, &left, &top, &right, &bottom);
    p->pixels_per_line = frame_pixels(left, right, dpi);
    p->lines = frame_pixels(top, bottom, dpi);
    p->depth = mode == MODE_LINEART ? 1 : 8;
    p->bytes_per_line = mode == MODE_LINEART ? (p->pixels_per_line + 7) / 8
                        : mode == MODE_COLOR ? 3 * p->pixels_per_line
                                             : p->pixels_per_line;
}

static struct scanner *open_scanners;

/* A handle this backend gave out and has not closed. */
static struct scanner *scanner_of(SANE_Handle handle)
{
    for (struct scanner *s = open_scanners; s; s = s->next_open)
        if (s == handle)
            return s;
    return NULL;
}

static void end_frame(struct scanner *s)
{
    free_image(&s->page);
    free(s->col_from);
    free(s->col_to);
    free(s->line);
    s->col_from = s->col_to = NULL;
    s->line = NULL;
    s->scanning = 0;
}

/* Source rows or columns [*from, *to) under output pixel i: a box, at least one pixel wide. */
static void span(double offset, double scale, int i, int *from, int *to)
{
    *from = (int)floor(offset + i * scale);
    *to = (int)floor(offset + (i + 1) * scale);
    if (*to <= *from)
        *to = *from + 1;
}

/* Output line y of the frame into s->line. */
static void render_line(struct scanner *s, int y)
{
    const struct image *im = &s->page;
    const int w = s->params.pixels_per_line;
    memset(s->line, 0, (size_t)s->params.bytes_per_line);
    int y0, y1;
    span(s->y_offset, s->y_scale, y, &y0, &y1);
    if (y0 < 0)
        y0 = 0;
    if (im->pixels && y1 > im->height)
        y1 = im->height;
    for (int x = 0; x < w; ++x) {
        int x0 = s->col_from[x], x1 = s->col_to[x];
        if (x0 < 0)
            x0 = 0;
        unsigned long sum[3] = {0, 0, 0}, n = 0;
        if (im->pixels) {
            if (x1 > im->width)
                x1 = im->width;
            for (int sy = y0; sy < y1; ++sy) {
                const unsigned char *p = im->pixels + ((size_t)sy * im->width + x0) * im->channels;
                for (int sx = x0; sx < x1; ++sx, p += im->channels) {
                    for (int c = 0; c < im->channels; ++c)
                        sum[c] += p[c];
                    ++n;
                }
            }
        }
        unsigned char rgb[3] = {255, 255, 255}; /* white beyond the paper */
        if (n) {
            for (int c = 0; c < 3; ++c)
                rgb[c] = (unsigned char)(sum[im->channels == 3 ? c : 0] / n);
        }
        const unsigned grey = (299u * rgb[0] + 587u * rgb[1] + 114u * rgb[2]) / 1000u;
        if (s->mode == MODE_COLOR)
            memcpy(s->line + 3 * x, rgb, 3);
        else if (s->mode == MODE_GRAY)
            s->line[x] = (unsigned char)grey;
        else if (grey < 128)
            s->line[x >> 3] |= (unsigned char)(0x80u >> (x & 7)); /* 1 is black */
    }
}

/* Sets up the frame of one side (NULL: a white page) at the options in force. A side fed from
 * the feeder ends with its paper: a white back is as long as its front. */
static SANE_Status begin_frame(struct scanner *s, const struct side *side)
{
    frame_parameters(s, &s->params);
    if (s->params.pixels_per_line < 1 || s->params.lines < 1)
        return SANE_STATUS_INVAL;
    if (side && side->path) {
        const int ok = is_tiff(side->path) ? load_tiff(side->path, side->page, &s->page) : load_pnm(side->path, &s->page);
        if (!ok) {
            complain("cannot read %s page %d", side->path, side->page + 1);
            return SANE_STATUS_IO_ERROR;
        }
    }
    SANE_Fixed left, top, right, bottom;
    area(s, &left, &top, &right, &bottom);
    const double dpi = s->value[OPT_RESOLUTION];
    const double xdpi = s->page.pixels ? s->page.xdpi : dpi, ydpi = s->page.pixels ? s->page.ydpi : dpi;
    if (s->value[OPT_SOURCE] != SRC_FLATBED) {
        if (s->page.pixels)
            s->paper_in = s->page.height / ydpi;
        const double below = s->paper_in - SANE_UNFIX(top) / MM_PER_INCH;
        const int lines = (int)ceil(below * dpi - 0.01);
        if (lines < s->params.lines)
            s->params.lines = lines > 0 ? lines : 1;
    }
    const double x_offset = SANE_UNFIX(left) / MM_PER_INCH * xdpi;
    const double x_scale = xdpi / dpi;
    s->y_offset = SANE_UNFIX(top) / MM_PER_INCH * ydpi;
    s->y_scale = ydpi / dpi;
    const int w = s->params.pixels_per_line;
    s->col_from = malloc(sizeof(int) * (size_t)w);
    s->col_to = malloc(sizeof(int) * (size_t)w);
    s->line = malloc((size_t)s->params.bytes_per_line);
    if (!s->col_from || !s->col_to || !s->line)
        return SANE_STATUS_NO_MEM;
    for (int x = 0; x < w; ++x)
        span(x_offset, x_scale, x, &s->col_from[x], &s->col_to[x]);
    s->mode = s->value[OPT_MODE];
    s->line_no = 0;
    s->line_pos = s->params.bytes_per_line; /* no line rendered yet */
    s->scanning = 1;
    s->after = SANE_STATUS_EOF;
    return SANE_STATUS_GOOD;
}

/* ---- the SANE entry points ---- */

EXPORT SANE_Status sane_paperstack_init(SANE_Int *version_code, SANE_Auth_Callback authorize)
{
    (void)authorize;
    if (version_code)
        *version_code = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, SANE_CURRENT_MINOR, 1);
    read_config();
    return SANE_STATUS_GOOD;
}

EXPORT void sane_paperstack_close(SANE_Handle handle);

EXPORT void sane_paperstack_exit(void)
{
    while (open_scanners)
        sane_paperstack_close(open_scanners);
    for (int i = 0; i < device_count; ++i)
        free(devices[i].folder);
    free(devices);
    free(device_list);
    devices = NULL;
    device_list = NULL;
    device_count = 0;
}

EXPORT SANE_Status sane_paperstack_get_devices(const SANE_Device ***list, SANE_Bool local_only)
{
    (void)local_only;
    const SANE_Device **grown = realloc(device_list, sizeof *grown * (size_t)(device_count + 1));
    if (!grown)
        return SANE_STATUS_NO_MEM;
    device_list = grown;
    for (int i = 0; i < device_count; ++i)
        device_list[i] = &devices[i].sane;
    device_list[device_count] = NULL;
    *list = device_list;
    return SANE_STATUS_GOOD;
}

EXPORT SANE_Status sane_paperstack_open(SANE_String_Const name, SANE_Handle *handle)
{
    struct device *dev = NULL;
    for (int i = 0; i < device_count && !dev; ++i)
        if (!name || !*name || !strcmp(name, devices[i].sane.name))
            dev = &devices[i];
    if (!dev)
        return SANE_STATUS_INVAL;
    struct scanner *s = calloc(1, sizeof *s);
    if (!s)
        return SANE_STATUS_NO_MEM;
    s->dev = dev;
    s->back_of = -1;
    s->sheet = s->read_fault = -1;
    s->after = SANE_STATUS_INVAL;
    set_up_options(s);
    load_stack(dev->folder, &s->stack);
    s->next_open = open_scanners;
    open_scanners = s;
    *handle = s;
    return SANE_STATUS_GOOD;
}

EXPORT void sane_paperstack_close(SANE_Handle handle)
{
    struct scanner *s = scanner_of(handle);
    if (!s)
        return;
    for (struct scanner **p = &open_scanners; *p; p = &(*p)->next_open)
        if (*p == s) {
            *p = s->next_open;
            break;
        }
    end_frame(s);
    free_stack(&s->stack);
    free(s);
}

EXPORT const SANE_Option_Descriptor *sane_paperstack_get_option_descriptor(SANE_Handle handle, SANE_Int option)
{
    struct scanner *s = scanner_of(handle);
    return s && option >= 0 && option < OPT_TOTAL ? &s->opt[option] : NULL;
}

EXPORT SANE_Status sane_paperstack_control_option(SANE_Handle handle, SANE_Int option, SANE_Action action,
                                                   void *value, SANE_Int *info)
{
    struct scanner *s = scanner_of(handle);
    if (info)
        *info = 0;
    if (!s || option < 0 || option >= OPT_TOTAL || !value)
        return SANE_STATUS_INVAL;
    const SANE_Option_Descriptor *d = &s->opt[option];
    if (action == SANE_ACTION_GET_VALUE) {
        if (d->type == SANE_TYPE_STRING)
            strcpy(value, d->constraint.string_list[s->value[option]]);
        else
            *(SANE_Word *)value = s->value[option];
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || !SANE_OPTION_IS_SETTABLE(d->cap))
        return SANE_STATUS_INVAL;
    if (s->scanning)
        return SANE_STATUS_DEVICE_BUSY;
    if (d->type == SANE_TYPE_STRING) {
        int found = -1;
        for (int i = 0; d->constraint.string_list[i]; ++i)
            if (!strcmp(value, d->constraint.string_list[i]))
                found = i;
        if (found < 0)
            return SANE_STATUS_INVAL;
        s->value[option] = found;
    } else {
        const SANE_Range *r = d->constraint.range;
        SANE_Word v = *(SANE_Word *)value;
        SANE_Word kept = v < r->min ? r->min : v > r->max ? r->max : v;
        if (r->quant > 1)
            kept = r->min + (kept - r->min + r->quant / 2) / r->quant * r->quant;
        if (kept != v) {
            *(SANE_Word *)value = kept;
            if (info)
                *info |= SANE_INFO_INEXACT;
        }
        s->value[option] = kept;
    }
    if (info)
        *info |= SANE_INFO_RELOAD_PARAMS;
    return SANE_STATUS_GOOD;
}

EXPORT SANE_Status sane_paperstack_get_parameters(SANE_Handle handle, SANE_Parameters *params)
{
    struct scanner *s = scanner_of(handle);
    if (!s || !params)
        return SANE_STATUS_INVAL;
    if (s->scanning)
        *params = s->params;
    else
        frame_parameters(s, params);
    return SANE_STATUS_GOOD;
}

/* The fault not yet answered for sheet `number` fed from `source` at that moment, else -1. */
static int pending_fault(struct scanner *s, int number, int source, int in_read)
{
    for (int i = 0; i < s->dev->fault_count; ++i) {
        const struct fault *f = &s->dev->faults[i];
        if (!s->told[i] && f->sheet == number && f->in_read == in_read && !(f->feeder_only && source == SRC_FLATBED))
            return i;
    }
    return -1;
}

static void pause_ms(int ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}

/* The next side: the pending back in duplex, else the next sheet's front (which a fault may
 * stop once, the sheet staying at the top of the stack). */
EXPORT SANE_Status sane_paperstack_start(SANE_Handle handle)
{
    struct scanner *s = scanner_of(handle);
    if (!s)
        return SANE_STATUS_INVAL;
    end_frame(s);
    s->after = SANE_STATUS_INVAL;
    s->sheet = s->read_fault = -1;
    const int source = s->value[OPT_SOURCE];
    if (source == SRC_DUPLEX && s->back_of >= 0) {
        const struct side *back = &s->stack.sheets[s->back_of].back;
        s->back_of = -1;
        return begin_frame(s, back);
    }
    if (s->next_sheet >= s->stack.count) {
        say("%s: no sheet left", s->dev->sane.name);
        return SANE_STATUS_NO_DOCS;
    }
    if (s->dev->pace_ms > 0)
        pause_ms(s->dev->pace_ms);
    const int number = s->next_sheet + 1;
    const int fault = pending_fault(s, number, source, 0);
    if (fault >= 0) {
        s->told[fault] = 1;
        say("%s: %s at sheet %d", s->dev->sane.name, sane_strstatus(s->dev->faults[fault].status), number);
        return s->dev->faults[fault].status;
    }
    const int sheet = s->next_sheet++;
    say("%s: sheet %d of %d", s->dev->sane.name, number, s->stack.count);
    const SANE_Status st = begin_frame(s, &s->stack.sheets[sheet].front);
    if (st != SANE_STATUS_GOOD)
        return st;
    if (source == SRC_DUPLEX)
        s->back_of = sheet;
    s->sheet = sheet;
    s->read_fault = pending_fault(s, number, source, 1);
    return SANE_STATUS_GOOD;
}

EXPORT SANE_Status sane_paperstack_read(SANE_Handle handle, SANE_Byte *data, SANE_Int max_length, SANE_Int *length)
{
    struct scanner *s = scanner_of(handle);
    if (length)
        *length = 0;
    if (!s || !data || !length || max_length < 0)
        return SANE_STATUS_INVAL;
    if (!s->scanning)
        return s->after;
    const int bpl = s->params.bytes_per_line;
    while (*length < max_length) {
        if (s->line_pos >= bpl) {
            if (s->read_fault >= 0 && s->line_no >= s->params.lines / 2) {
                /* the sheet stops halfway and goes back to the top of the stack */
                const int fault = s->read_fault;
                s->told[fault] = 1;
                say("%s: %s reading sheet %d", s->dev->sane.name, sane_strstatus(s->dev->faults[fault].status),
                    s->sheet + 1);
                s->next_sheet = s->sheet;
                s->back_of = -1;
                end_frame(s);
                s->after = SANE_STATUS_INVAL;
                *length = 0;
                return s->dev->faults[fault].status;
            }
            if (s->line_no >= s->params.lines)
                break;
            render_line(s, s->line_no++);
            s->line_pos = 0;
        }
        int n = bpl - s->line_pos;
        if (n > max_length - *length)
            n = max_length - *length;
        memcpy(data + *length, s->line + s->line_pos, (size_t)n);
        s->line_pos += n;
        *length += n;
    }
    if (*length == 0) {
        end_frame(s);
        return SANE_STATUS_EOF;
    }
    return SANE_STATUS_GOOD;
}

/* Ends the scan: a sheet half scanned leaves the feeder with its back, and reads answer
 * CANCELLED until the next start. */
EXPORT void sane_paperstack_cancel(SANE_Handle handle)
{
    struct scanner *s = scanner_of(handle);
    if (!s)
        return;
    end_frame(s);
    s->back_of = -1;
    s->sheet = s->read_fault = -1;
    s->after = SANE_STATUS_CANCELLED;
}

EXPORT SANE_Status sane_paperstack_set_io_mode(SANE_Handle handle, SANE_Bool non_blocking)
{
    if (!scanner_of(handle))
        return SANE_STATUS_INVAL;
    return non_blocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

EXPORT SANE_Status sane_paperstack_get_select_fd(SANE_Handle handle, SANE_Int *fd)
{
    (void)fd;
    return scanner_of(handle) ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_INVAL;
}
