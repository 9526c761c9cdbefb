// The tavMapColor command: option words into a program, the mapping image, output and copy.
#include "internal.h"

#include <cstring>

namespace {
const char *const kUsage[] = {
    "\nSynopsis:  tavMapColor [options] <srcName> [<dstName>]\n\n",
    "Version: 1.288 of 01/29/02\n",
    "Package: qelmorph   Platform: windows   Compilation: dist \n\n",
    "Description:\n\n",
    "  Perform a color mapping from 8-bit gray or 24-bit color image\n",
    "  <srcName> and write the result to image <dstName>, if given.\n",
    "  [options] consists of a sequence of 0 to 20 operators from the\n",
    "  list below.  <param> means that a floating point number\n",
    "  should be supplied, <vector> means 3 floating point numbers,\n",
    "  <matrix> means 9 floating point numbers, and <range> means 2\n",
    "  vectors, one for the low corner and one for the high corner.\n",
    "  \n",
    "  A qualifier may be appended to any stage that has color input, and it has the effect\n",
    "  that only pixels that satisfy the qualifer are subject to effect\n",
    "  of the stage, while other pixels remain unaffected.  A qualifier is\n",
    "  is either a primitive qualifier (see below) or a boolean combination of\n",
    "  qualifiers.  Syntactically, qualifiers are surrounded by at least\n",
    "  one pair of \"{...}\" and are formed by (recursive) application of\n",
    "  the following rules:\n\n",
    "          <qualifier>  <-  <primitive qualifier>\n",
    "          <qualifier>  <-  { <qualifier> }\n",
    "          <qualifier>  <-  { not <qualifier> }\n",
    "          <qualifier>  <-  { <qualifier> and <qualifier> }\n",
    "          <qualifier>  <-  { <qualifier> or  <qualifier> }\n",
    "\nGeneric Operators:\n\n",
    "  -nop                pass colors unchanged (default)\n",
    "  -c1                 extract 1st component\n",
    "  -c2\t              extract 2nd component\n",
    "  -c3\t              extract 3rd component\n",
    "  -min                extract minimum component\n",
    "  -max                extract maximum component\n",
    "  -dup                duplicate gray-scale pixel values in all 3 color components\n",
    "  -thresh <number>    threshold gray\n",
    "  -c  <vector>        set color pixels to the given value\n",
    "  -g  <param>         set gray pixels to the given value\n",
    "  -sc <vector>        scale color components by given factors\n",
    "  -sg <param>         scale gray image by given factor\n",
    "  -oc <vector>        offset color components by given offsets\n",
    "  -og <param>         offset gray-scale pixel values by given offset\n",
    "  -dot  <vector>      multiply color vector by given vector (dot product)\n",
    "  -m    <matrix>      multiply color vector by given matrix\n",
    "  -m/c1 <matrix>      multiply color vector by given matrix, extract 1st component\n",
    "  -m/c2 <matrix>      multiply color vector by given matrix, extract 2nd component\n",
    "  -m/c3 <matrix>      multiply color vector by given matrix, extract 3rd component\n",
    "  -quadratic <matrix> <vector>\n",
    "                      set gray-scale pixels to the given quadratic form, with\n",
    "                      <vector> as the offset\n",
    "  -norm               normalize color\n",
    "  -align <range> <range> scale and offset colors so that first range lies within second\n",
    "  -unalign <range> <range> reverse the effect of -align\n",
    "\nStandard Linear Color Space Operators:\n\n",
    "  -rgb                convert CIE RGB to CIE RGB (i.e., no action)\n",
    "  -rgb-rgb            convert CIE RGB to CIE RGB (i.e., no action)\n",
    "  -rgb-white          set color pixels to CIE RGB white\n",
    "  -ycbcr              convert CIE RGB to YCBCR\n",
    "  -ycbcr/y            convert CIE RGB to Y  component of YCBCR\n",
    "  -ycbcr/cb           convert CIE RGB to CB component of YCBCR\n",
    "  -ycbcr/cr           convert CIE RGB to CR component of YCBCR\n",
    "  -ycbcr-white        set color pixels to YCbCr white\n",
    "  -xyz                convert CIE RGB to 1931 CIE XYZ\n",
    "  -xyz/x              convert CIE RGB to X component of 1931 CIE XYZ\n",
    "  -xyz/y              convert CIE RGB to Y component of 1931 CIE XYZ\n",
    "  -xyz/z              convert CIE RGB to Z component of 1931 CIE XYZ\n",
    "  -xyz-white          set color pixels to XYZ white\n",
    "  -yuv                convert CIE RGB to YUV\n",
    "  -yuv/y              convert CIE RGB to Y component of YUV\n",
    "  -yuv/u              convert CIE RGB to U component of YUV\n",
    "  -yuv/v              convert CIE RGB to V component of YUV\n",
    "  -yuv-white          set color pixels to YUV white\n",
    "  -yiq                convert CIE RGB to YIQ\n",
    "  -yiq/y              convert CIE RGB to Y component of YIQ\n",
    "  -yiq/i              convert CIE RGB to I component of YIQ\n",
    "  -yiq/q              convert CIE RGB to Q component of YIQ\n",
    "  -yiq-white          set color pixels to YIQ white\n",
    "  -yiqm               convert CIE RGB to YIQm\n",
    "  -yiqm/y             convert CIE RGB to Y component of YIQm\n",
    "  -yiqm/i             convert CIE RGB to I component of YIQm\n",
    "  -yiqm/q             convert CIE RGB to Q component of YIQm\n",
    "  -yiqm-white         set color pixels to YIQm white\n",
    "\nTable Operators:\n\n",
    "  -tabg <mapfile>     map gray-scale pixel values through named gray-scale map file\n",
    "  -tabc <mapfile>     map colors through named color map file (3 6-bit address components)\n",
    "  -tabgc <mapfile>    map gray-scale pixel values through named color map file\n",
    "  -tabcg <mapfile>    map colors through named gray-scale map file (3 6-bit address components)\n",
    "\nInput Operators:\n\n",
    "  -inc <imagefile>    take color pixels from the given image (usually qualified)\n",
    "     -qin             used after -inc only; apply qualifier to <imagefile> instead of stage input\n",
    "  -ing <imagefile>    take gray-scale pixels from the given image (usually qualified)\n",
    "\nSource Operators:\n\n",
    "  -srcc                take color pixels from the source image (usually qualified)\n",
    "  -srcg                take gray-scale pixels from the source image (usually qualified)\n",
    "\nPrimitive Qualifiers:  (used with within <qualifier> only)\n\n",
    "  { false }           no color satisfies the predicate\n",
    "  { true }            all colors satisfy the predicate\n",
    "  { plane <vector> <vector> }  colors on or to one side of a plane\n",
    "                      that is, colors S[] with DOT(S-V1,V2) >= 0,\n",
    "                      satisfy the predicate\n",
    "  { range <range> }   colors that lie in or on the given range satisfy the predicate\n",
    "  { quadratic <matrix> <vector> <param> }  (quadratic form)\n",
    "                      colors that lie within the conic section (generally ellipsoid) specified by the given\n",
    "                      quadratic form satisfy the predicate\n",
    "  { sphere <vector> <param> }\n",
    "                      satisfy the predicate\n",
    "\nOther Options:\n\n",
    "  -use <image>        use the map of the named image (tavExecute only)\n",
    "  -quiet              suppress verbose output and non-fatal errors\n",
    "  -trace              enable tracing of mapping stages\n",
    "  -help               print this command summary and do nothing else\n",
};

struct Word {
  const char *word;
  int code;
};
const Word kSimple[] = {{"-nop", 0}, {"-c1", 1}, {"-c2", 2}, {"-c3", 3}, {"-min", 4}, {"-max", 5}, {"-dup", 49}};
const Word kParam[] = {{"-thresh", 60}, {"-c", 27}, {"-g", 26}, {"-sc", 29}, {"-sg", 28}, {"-oc", 31}, {"-og", 30}};
const Word kMatrix[] = {{"-m", 6}, {"-m/c1", 7}, {"-m/c2", 8}, {"-m/c3", 9}};
const Word kTable[] = {{"-tabg", 45}, {"-tabc", 46}, {"-tabgc", 47}, {"-tabcg", 48}, {"-inc", 51}, {"-ing", 50}};
// Colour-space words: the space's index, then the stage code (-1 for its white point).
struct SpaceWord {
  const char *word;
  int space, code;
};
const SpaceWord kSpaces[] = {
    {"-rgb-white", 0, -1},
    {"-ycbcr", 1, 6}, {"-ycbcr/y", 1, 7}, {"-ycbcr/cb", 1, 8}, {"-ycbcr/cr", 1, 9}, {"-ycbcr-white", 1, -1},
    {"-xyz", 2, 6},   {"-xyz/x", 2, 7},   {"-xyz/y", 2, 8},    {"-xyz/z", 2, 9},    {"-xyz-white", 2, -1},
    {"-yuv", 3, 6},   {"-yuv/y", 3, 7},   {"-yuv/u", 3, 8},    {"-yuv/v", 3, 9},    {"-yuv-white", 3, -1},
    {"-yiq", 4, 6},   {"-yiq/y", 4, 7},   {"-yiq/i", 4, 8},    {"-yiq/q", 4, 9},    {"-yiq-white", 4, -1},
    {"-yiqm", 5, 6},  {"-yiqm/y", 5, 7},  {"-yiqm/i", 5, 8},   {"-yiqm/q", 5, 9},   {"-yiqm-white", 5, -1},
};

template <size_t N> int lookup(const Word (&table)[N], const char *w) {
  for (const Word &e : table)
    if (std::strcmp(e.word, w) == 0) return e.code;
  return -1;
}

// Reads count numbers from the words after index i.
bool readNumbers(int argc, char **argv, int i, int count, double *out) {
  for (int k = 0; k < count; ++k) {
    if (i + 1 + k >= argc || !parseDouble(argv[i + 1 + k], &out[k])) {
      tavLog(913);
      return false;
    }
  }
  return true;
}

// A matrix stage; an offset vector is refused.
mapcStage *matrixStage(mapcProgram *p, int code, const double *m, const double *offset) {
  if (offset) {
    tavLog(3105);
    return nullptr;
  }
  mapcStage *s = mapcStageAdd(p, code);
  if (!s) {
    tavLog(2980);
    return nullptr;
  }
  for (int k = 0; k < 9; ++k) s->matrix[k] = m[k];
  return s;
}

// The two stages of -align (inverse = false) or -unalign (inverse = true).
int alignStages(mapcProgram *p, const double *r, bool inverse) {
  const double *lo1 = r, *hi1 = r + 3, *lo2 = r + 6, *hi2 = r + 9;
  double s = 1e307;
  for (int k = 0; k < 3; ++k) {
    const double span = hi1[k] - lo1[k];
    if (span == 0) continue;  // a flat component sets no scale
    const double f = (hi2[k] - lo2[k]) / span;
    if (f < s) s = f;
  }
  mapcStage *scale = mapcStageAdd(p, 29);
  mapcStage *offset = scale ? mapcStageAdd(p, 31) : nullptr;
  if (!offset) {
    tavLog(2982);
    return -1;
  }
  for (int k = 0; k < 3; ++k) {
    const double o = lo2[k] - s * lo1[k];
    scale->vector[k] = inverse ? 1.0 / s : s;
    offset->vector[k] = inverse ? -o / s : o;
  }
  return 0;
}
}  // namespace

void mapcUsage() {
  for (const char *line : kUsage) std::fputs(line, stdout);
}

mapcQualifier *mapcRegionParse(int argc, char **argv, int *index, int depth, mapcQualifier **slot) {
  if (!slot) {
    tavLog(3107);
    return nullptr;
  }
  mapcQualifier *node = mapcQualNew(2);
  if (!node) {
    tavLog(2993);
    return nullptr;
  }
  int &i = *index;
  auto fail = [&](int code) -> mapcQualifier * {
    if (code) tavLog(static_cast<uint16_t>(code));
    mapcQualFree(node);
    return nullptr;
  };
  while (i < argc) {
    const char *w = argv[i];
    if (std::strcmp(w, "{") == 0) {
      ++i;
      mapcQualifier *child = nullptr;
      if (!mapcRegionParse(argc, argv, &i, depth + 1, &child)) return fail(2994);
      ++i;  // past the child's "}"
      mapcQualifier *&to = (node->type == 3 || node->type == 4) ? node->right : node->left;
      mapcQualFree(to);
      to = child;
      continue;
    }
    if (std::strcmp(w, "}") == 0) {
      if (node->type == 2) return fail(2992);
      *slot = node;
      return node;
    }
    static const Word kKeys[] = {{"not", 5}, {"and", 3}, {"or", 4}, {"false", 0}, {"true", 1}};
    const int key = lookup(kKeys, w);
    if (key >= 0) {
      if (node->type != 2) return fail(2992);
      node->type = key;
      ++i;
      continue;
    }
    double v[13];
    int count = -1, type = 0;
    if (std::strcmp(w, "plane") == 0) count = 6, type = 6;
    else if (std::strcmp(w, "range") == 0) count = 6, type = 7;
    else if (std::strcmp(w, "quadratic") == 0) count = 13, type = 8;
    else if (std::strcmp(w, "sphere") == 0) count = 4, type = 9;
    if (count < 0) return fail(2995);
    if (node->type != 2) return fail(2992);
    if (!readNumbers(argc, argv, i, count, v)) return fail(0);
    node->type = type;
    switch (type) {
      case 6:
        for (int k = 0; k < 3; ++k) node->point[k] = v[k], node->normal[k] = v[3 + k];
        break;
      case 7:
        for (int k = 0; k < 3; ++k) node->low[k] = v[k], node->high[k] = v[3 + k];
        break;
      case 8:
        for (int k = 0; k < 9; ++k) node->matrix[k] = v[k];
        for (int k = 0; k < 3; ++k) node->point[k] = v[9 + k];
        node->param = v[12];
        break;
      default:
        for (int k = 0; k < 3; ++k) node->point[k] = v[k];
        node->param = v[3];
        node->param2 = v[3] * v[3];
        break;
    }
    i += 1 + count;
  }
  // an expression left open at the end of the words is refused
  return fail(2992);
}

tavImage *mapcOptionsParse(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  MapImage rec;
  mapcInit(&rec);
  if (tmpl) attrPropagate(tmpl, &rec);
  int i = 0;
  mapcProgram *prog = mapcProgramNew();
  if (!prog) {
    tavLog(3026);
    return nullptr;
  }
  auto fail = [&](int code) -> tavImage * {
    if (code) tavLog(static_cast<uint16_t>(code));
    mapcProgramFree(prog);
    return nullptr;
  };
  auto add = [&](int code) -> mapcStage * {
    mapcStage *s = mapcStageAdd(prog, code);
    if (!s) tavLog(2987);
    return s;
  };
  tavImage *use = nullptr;
  if (flags & 0x4) {
    while (i < argc) {
      const char *w = argv[i];
      int code;
      double v[12];
      if ((code = lookup(kSimple, w)) >= 0) {
        if (!add(code)) return fail(0);
        ++i;
      } else if ((code = lookup(kParam, w)) >= 0) {
        const int n = (code == 27 || code == 29 || code == 31) ? 3 : 1;
        if (!readNumbers(argc, argv, i, n, v)) return fail(0);
        mapcStage *s = add(code);
        if (!s) return fail(0);
        for (int k = 0; k < n; ++k) s->vector[k] = v[k];
        i += 1 + n;
      } else if (std::strcmp(w, "-dot") == 0) {
        if (!readNumbers(argc, argv, i, 3, v)) return fail(0);
        mapcStage *s = add(7);
        if (!s) return fail(0);
        for (int k = 0; k < 3; ++k) s->matrix[k] = v[k];
        i += 4;
      } else if ((code = lookup(kMatrix, w)) >= 0) {
        if (!readNumbers(argc, argv, i, 9, v)) return fail(0);
        if (!matrixStage(prog, code, v, nullptr)) return fail(2987);
        i += 10;
      } else if (std::strcmp(w, "-quadratic") == 0) {
        if (!readNumbers(argc, argv, i, 12, v)) return fail(0);
        mapcStage *s = add(58);
        if (!s) return fail(0);
        for (int k = 0; k < 9; ++k) s->quadMatrix[k] = v[k];
        for (int k = 0; k < 3; ++k) s->vector[k] = v[9 + k];
        i += 13;
      } else if (std::strcmp(w, "-norm") == 0) {
        if (!add(43)) return fail(0);
        ++i;
      } else if (std::strcmp(w, "-align") == 0 || std::strcmp(w, "-unalign") == 0) {
        const bool inverse = w[1] == 'u';
        if (!readNumbers(argc, argv, i, 12, v)) return fail(0);
        if (alignStages(prog, v, inverse) != 0) {
          tavLog(inverse ? 2921 : 2984);
          return fail(inverse ? 2945 : 2990);
        }
        i += 13;
      } else if (std::strcmp(w, "-rgb") == 0 || std::strcmp(w, "-rgb-rgb") == 0) {
        ++i;
      } else if (const SpaceWord *sw = [&]() -> const SpaceWord * {
                   for (const SpaceWord &e : kSpaces)
                     if (std::strcmp(e.word, w) == 0) return &e;
                   return nullptr;
                 }()) {
        const ColorSpace *cs = colorSpaceEntry(sw->space);
        if (sw->code < 0) {
          mapcStage *s = mapcStageAdd(prog, 27);
          if (!s) {
            tavLog(2983);
            return fail(2989);
          }
          for (int k = 0; k < 3; ++k) s->vector[k] = cs->white[k];
        } else if (!matrixStage(prog, sw->code, cs->m, nullptr)) {
          return fail(2988);
        }
        ++i;
      } else if ((code = lookup(kTable, w)) >= 0) {
        mapcStage *s = add(code);
        if (!s) return fail(0);
        const int n = argc - i - 1;
        int left = n;
        s->image = inputCreateFromOptions(n, argv + i + 1, &left, flags, nullptr);
        i += 1 + (n - left);
      } else if (std::strcmp(w, "-qin") == 0 || std::strcmp(w, "-qsrc") == 0) {
        const bool in = w[2] == 'i';
        if (!prog->last || prog->last->code != (in ? 51 : 55)) return fail(in ? 3103 : 3020);
        prog->last->code = in ? 53 : 57;
        ++i;
      } else if (std::strcmp(w, "-srcc") == 0 || std::strcmp(w, "-srcg") == 0) {
        if (!add(w[4] == 'c' ? 55 : 54)) return fail(0);
        ++i;
      } else if (std::strcmp(w, "-use") == 0) {
        if (tavExecuteStatus() != 1) return fail(3025);
        tavImage *found = i + 1 < argc ? imageListFindByName(argv[i + 1], 41, 41, 0) : &tavNullRecord;
        // only a mapping image has a program to lend
        if (isNull(found) || !isMapImage(found)) return fail(3104);
        use = found;
        i += 2;
      } else if (std::strcmp(w, "-quiet") == 0 || std::strcmp(w, "-trace") == 0) {
        Attr<uint8_t> &a = w[1] == 'q' ? rec.quiet : rec.trace;
        a = Attr<uint8_t>{1, ST_KNOWN | ST_EXPLICIT, 1};
        ++i;
      } else if (std::strcmp(w, "{") == 0) {
        if (!prog->first && !add(0)) return fail(0);
        ++i;
        mapcQualifier *q = nullptr;
        if (!mapcRegionParse(argc, argv, &i, 0, &q)) return fail(2996);
        mapcQualFree(prog->last->qualifier);
        prog->last->qualifier = q;
        ++i;  // past the closing "}"
      } else if (std::strcmp(w, "-help") == 0) {
        mapcUsage();
        return fail(0);
      } else {
        int left = argc - i;
        if (attrOptionsParse(argc - i, argv + i, &left, flags, &rec) != 0) return fail(2913);
        const int used = (argc - i) - left;
        if (used <= 0) break;
        i += used;
      }
    }
  }
  if (use) {
    if (prog->first) return fail(3024);
    if (mapcProgramFree(prog) != 0) {
      tavLog(3023);
      return nullptr;
    }
    prog = static_cast<MapImage *>(use)->program;
    rec.borrowed = 1;
    imageHold(use);
    rec.lender = use;
  } else if (!prog->first && !add(0)) {
    return fail(0);
  }
  rec.program = prog;
  auto discard = [&]() {
    if (rec.borrowed) tavRelease(rec.lender);
    else mapcProgramFree(prog);
  };
  if (leftover) *leftover = argc - i;
  tavImage *source = inputCreateFromOptions(argc - i, argv + i, leftover, flags & ~0xF00, tmpl);
  if (!source || (isNull(source) && (flags & 0x20))) {
    discard();
    tavLog(3117);
    return nullptr;
  }
  if (!(flags & 0x20)) {
    discard();
    return &tavNullRecord;
  }
  tavImage *map = mapcCreateImage(nullptr, source, &rec);
  if (!map) {
    tavLog(3118);
    return nullptr;
  }
  return map;
}

int tavMapColorCommand(int argc, char **argv, int *leftover, int flags) {
  int n = argc;
  if (flags & 0x1) {
    if (sysOptionsParse(argc, argv, &n, flags) < 0) {
      tavLog(3108);
      return -1;
    }
  }
  char **words = argv + (argc - n);
  const int total = n;
  tavImage *map = mapcOptionsParse(total, words, &n, flags & ~0xF00, nullptr);
  if (!map) {
    tavLog(3119);
    return -1;
  }
  if (leftover) *leftover = n;
  return commandEnd(map, (flags & 0x20) && !isNull(map), n, words + (total - n), leftover, flags, true,
                    {3120, 3121, 3122, 3123});
}

int tavMapColor(const char *string, int flags) { return stringForm(string, flags, tavMapColorCommand, 3027); }
