// Colour-mapping programs: stages, qualifier trees, evaluation and the trace prints.
#include "internal.h"

#include <cstring>

namespace {
const mapcOpInfo kOps[] = {
    {0, 24, 24, 1, 0},  {1, 24, 8, 1, 0},   {2, 24, 8, 1, 1},   {3, 24, 8, 1, 2},   {4, 24, 8, 1, 0},
    {5, 24, 8, 1, 0},   {6, 24, 24, 0, 0},  {7, 24, 8, 1, 0},   {8, 24, 8, 1, 1},   {9, 24, 8, 1, 2},
    {26, 8, 8, 1, 0},   {27, 24, 24, 1, 0}, {28, 8, 8, 1, 0},   {29, 24, 24, 1, 0}, {30, 8, 8, 1, 0},
    {31, 24, 24, 1, 0}, {43, 24, 24, 1, 0}, {45, 8, 8, 1, 0},   {46, 24, 24, 1, 0}, {47, 8, 24, 0, 0},
    {48, 24, 8, 1, 0},  {49, 8, 24, 0, 0},  {50, 8, 8, 1, 0},   {51, 24, 24, 1, 0}, {53, 24, 24, 1, 0},
    {54, 8, 8, 1, 0},   {55, 24, 24, 1, 0}, {57, 24, 24, 1, 0}, {58, 24, 8, 1, 0},  {60, 8, 8, 1, 0},
};
}  // namespace

const mapcOpInfo *mapcOp(int code) {
  for (const mapcOpInfo &op : kOps)
    if (op.code == code) return &op;
  return nullptr;
}

mapcProgram *mapcProgramNew() {
  auto *p = static_cast<mapcProgram *>(tavMemAlloc(sizeof(mapcProgram)));
  if (!p) {
    tavLog(2986);
    return nullptr;
  }
  p->fastPath = 0;
  p->first = p->last = nullptr;
  return p;
}

mapcStage *mapcStageAdd(mapcProgram *p, int code) {
  auto *s = p ? static_cast<mapcStage *>(tavMemAlloc(sizeof(mapcStage))) : nullptr;
  if (!s) {
    tavLog(2979);
    return nullptr;
  }
  std::memset(static_cast<void *>(s), 0, sizeof *s);
  s->code = code;
  s->srcBuf = p->last ? p->last->dstBuf : 0;
  const mapcOpInfo *op = mapcOp(code);
  if (!op || op->inPlace) s->dstBuf = s->srcBuf;
  else s->dstBuf = s->srcBuf != 1 ? 1 : 2;
  s->prev = p->last;
  if (p->last) p->last->next = s;
  else p->first = s;
  p->last = s;
  return s;
}

mapcQualifier *mapcQualNew(int type) {
  auto *q = static_cast<mapcQualifier *>(tavMemAlloc(sizeof(mapcQualifier)));
  if (!q) {
    tavLog(2985);
    return nullptr;
  }
  std::memset(static_cast<void *>(q), 0, sizeof *q);
  q->type = type;
  return q;
}

int mapcQualFree(mapcQualifier *q) {
  if (!q) return 0;
  if (mapcQualFree(q->left) != 0) {
    tavLog(2962);
    return -1;
  }
  q->left = nullptr;
  if (mapcQualFree(q->right) != 0) {
    tavLog(2963);
    return -1;
  }
  q->right = nullptr;
  if (tavMemFree(q) != 0) {
    tavLog(2964);
    return -1;
  }
  return 0;
}

// Frees a stage with its qualifier; the image a table or input stage holds is released.
int mapcStageFree(mapcStage *s) {
  if (!s) return 0;
  if (s->image && !isNull(s->image) && tavRelease(s->image) != 0) {
    tavLog(2923);
    return -1;
  }
  s->image = nullptr;
  if (mapcQualFree(s->qualifier) != 0) {
    tavLog(2923);
    return -1;
  }
  s->qualifier = nullptr;
  if (tavMemFree(s) != 0) {
    tavLog(2926);
    return -1;
  }
  return 0;
}

int mapcProgramFree(mapcProgram *p) {
  if (!p) return 0;
  while (p->first) {
    mapcStage *s = p->first;
    p->first = s->next;
    if (mapcStageFree(s) != 0) {
      tavLog(2965);
      return -1;
    }
  }
  p->last = nullptr;
  if (tavMemFree(p) != 0) {
    tavLog(3106);
    return -1;
  }
  return 0;
}

int mapcRegionEval(const double *c, const mapcQualifier *q) {
  switch (q->type) {
    case 0: return 0;
    case 1: return 1;
    case 2: return q->left ? mapcRegionEval(c, q->left) : 1;
    case 3:
      if (q->left && !mapcRegionEval(c, q->left)) return 0;
      return q->right ? mapcRegionEval(c, q->right) : 1;
    case 4:
      if (!q->left || mapcRegionEval(c, q->left)) return 1;
      return q->right ? mapcRegionEval(c, q->right) : 1;
    case 5: return q->left ? !mapcRegionEval(c, q->left) : 0;
    case 6:
      return (c[0] - q->point[0]) * q->normal[0] + (c[1] - q->point[1]) * q->normal[1] +
                     (c[2] - q->point[2]) * q->normal[2] >=
                 0;
    case 7:
      for (int k = 0; k < 3; ++k)
        if (c[k] < q->low[k] || c[k] > q->high[k]) return 0;
      return 1;
    case 8: {
      double d[3] = {c[0] - q->point[0], c[1] - q->point[1], c[2] - q->point[2]};
      double sum = 0;
      for (int i = 0; i < 3; ++i)
        sum += d[i] * (q->matrix[3 * i] * d[0] + q->matrix[3 * i + 1] * d[1] + q->matrix[3 * i + 2] * d[2]);
      return sum <= q->param;
    }
    case 9: {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += (c[k] - q->point[k]) * (c[k] - q->point[k]);
      return sum <= q->param2;
    }
    default:
      tavLog(2954);
      return 0;
  }
}

int mapcQualCheck(const mapcQualifier *q) {
  if (!q) return 0;
  switch (q->type) {
    case 0: case 1: case 6: case 7: case 8: case 9: return 0;
    case 2: case 5: return mapcQualCheck(q->left);
    case 3: case 4: return mapcQualCheck(q->left) == 0 && mapcQualCheck(q->right) == 0 ? 0 : -1;
    default:
      tavLog(2973);
      return -1;
  }
}

void mapcVectorPrint(const double *v) {
  std::printf("(");
  for (int k = 0; k < 3; ++k) std::printf("  %8.4f", v[k]);
  std::printf(")");
}

void mapcMatrixPrint(const double *m) {
  std::printf("\t[");
  for (int r = 0; r < 3; ++r) {
    if (r > 0) std::printf("\n\t ");
    mapcVectorPrint(m + 3 * r);
  }
  std::printf("]");
}

void mapcQualPrint(const mapcQualifier *q) {
  if (!q) return;
  std::printf("  type %2d", q->type);
  switch (q->type) {
    case 0: std::printf("  { false }"); break;
    case 1: std::printf("  { true }"); break;
    case 2:
      std::printf("  { [if]");
      mapcQualPrint(q->left);
      std::printf("  }");
      break;
    case 3:
    case 4:
      std::printf("  {");
      mapcQualPrint(q->left);
      std::printf(q->type == 3 ? "  and" : "  or");
      mapcQualPrint(q->right);
      std::printf("  }");
      break;
    case 5:
      std::printf("  { not");
      mapcQualPrint(q->left);
      std::printf("  }");
      break;
    case 6:
      std::printf("  { plane");
      mapcVectorPrint(q->point);
      std::printf("   ");
      mapcVectorPrint(q->normal);
      std::printf(" }");
      break;
    case 7:
      std::printf("  { range\n");
      std::printf("lo (");
      for (int k = 0; k < 3; ++k) std::printf("  %8.4f", q->low[k]);
      std::printf(")  hi (");
      for (int k = 0; k < 3; ++k) std::printf("  %8.4f", q->high[k]);
      std::printf(")");
      std::printf(" }");
      break;
    case 8:
      std::printf("  { quadratic\n");
      mapcMatrixPrint(q->matrix);
      std::printf("\n");
      mapcVectorPrint(q->point);
      std::printf("  %20.10f }", q->param);
      break;
    case 9:
      std::printf("  { sphere ");
      mapcVectorPrint(q->point);
      std::printf("  %20.10f }", q->param);
      break;
    default: std::printf("  { bad qualifier type %d }", q->type); break;
  }
  std::printf("\n");
}

void mapcProgramPrint(const mapcProgram *p) {
  if (!p) return;
  int n = 1;
  for (const mapcStage *s = p->first; s; s = s->next, ++n) {
    std::printf("stage %2d", n);
    std::printf("  opr %2d  sbuf %d  dbuf %d  flags 0x%x", s->code, s->srcBuf, s->dstBuf, s->marks);
    if (s->code >= 6 && s->code <= 9) {
      mapcMatrixPrint(s->matrix);
      std::printf("\n");
    }
    std::printf("\n");
    mapcQualPrint(s->qualifier);
  }
}
