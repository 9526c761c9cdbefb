// Small vector and matrix helpers, the colour-space table print and the helpers' self-test.
#include "internal.h"

#include <cstdint>

void vecSet2(double *v, double a, double b) {
  v[0] = a;
  v[1] = b;
}
void vecSet3(double *v, double a, double b, double c) {
  v[0] = a;
  v[1] = b;
  v[2] = c;
}
void matSet2(double *m, double a, double b, double c, double d) {
  m[0] = a;
  m[1] = b;
  m[2] = c;
  m[3] = d;
}
void matSet3(double *m, const double *nine) {
  for (int i = 0; i < 9; ++i) m[i] = nine[i];
}
void pairSet3(double *lo, double *hi, const double *six) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = six[i];
    hi[i] = six[3 + i];
  }
}
double vecDot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double matDet3(const double *m) {
  return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

void vecPrint3(const double *v) {
  std::printf("(");
  for (int i = 0; i < 3; ++i) std::printf(" %14.6f", v[i]);
  std::printf(")");
}
void rangePrint3(const double *lo, const double *hi) {
  std::printf("lo (");
  for (int i = 0; i < 3; ++i) std::printf(" %14.6f", lo[i]);
  std::printf(")  hi (");
  for (int i = 0; i < 3; ++i) std::printf(" %14.6f", hi[i]);
  std::printf(")");
}
void matPrint3(const double *m) {
  std::printf("\t[");
  for (int r = 0; r < 3; ++r) {
    if (r > 0) std::printf("\n\t ");
    vecPrint3(m + 3 * r);
  }
  std::printf("]");
}
void vecPrintLabel3(const char *label, const double *v) {
  std::printf("%10s = ", label);
  vecPrint3(v);
  std::printf("\n");
}
void rangePrintLabel3(const char *label, const double *lo, const double *hi) {
  std::printf("%10s = ", label);
  rangePrint3(lo, hi);
  std::printf("\n");
}
void matPrintLabel3(const char *label, const double *m) {
  std::printf("%s", label);
  matPrint3(m);
  std::printf("\n");
}

int tavColorCommand(int, char **, int *leftover, int) {
  if (leftover) *leftover = 0;
  for (int i = 0; i < 8; ++i) {
    const ColorSpace *cs = colorSpaceEntry(i);
    std::printf("%s color space:\n", cs->name);
    matPrintLabel3("matrix", cs->m);
    rangePrintLabel3("range", cs->lo, cs->hi);
    vecPrintLabel3("white", cs->white);
    vecPrintLabel3("      align scale", cs->alignScale);
    vecPrintLabel3("      align offset", cs->alignOffset);
    vecPrintLabel3("    unalign scale", cs->unalignScale);
    vecPrintLabel3("    unalign offset", cs->unalignOffset);
  }
  return 0;
}
int tavColor(const char *string, int flags) { return stringForm(string, flags, tavColorCommand, 2804); }

namespace {
unsigned addr32(const void *p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

int tavVectorCommand(int, char **, int *leftover, int) {
  if (leftover) *leftover = 0;
  double buf[4][9];
  for (int i = 0; i < 4; ++i) std::printf("&buf[%d] = 0x%08x\n", i, addr32(buf[i]));
  const double k[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  double a2[2], m2[4], v1[3], v2[3], sum[3], m[9], n1[9], lo[3], hi[3];
  vecSet2(a2, k[0], k[1]);
  matSet2(m2, k[0], k[1], k[2], k[3]);
  std::printf("%10s = ( %14.6f %14.6f)\n", "a2", a2[0], a2[1]);
  std::printf("%10s = ( %14.6f %14.6f)( %14.6f %14.6f)\n", "m2", m2[0], m2[1], m2[2], m2[3]);
  vecSet3(v1, k[0], k[1], k[2]);
  vecSet3(v2, k[3], k[4], k[5]);
  vecPrintLabel3("v1", v1);
  vecPrintLabel3("v2", v2);
  for (int i = 0; i < 3; ++i) sum[i] = v1[i] + v2[i];
  vecPrintLabel3("v1 + v2", sum);
  pairSet3(lo, hi, k);
  rangePrintLabel3("pair", lo, hi);
  matSet3(m, k);
  matPrintLabel3("m", m);
  double m3[9];
  for (int i = 0; i < 9; ++i) m3[i] = m[i] + m[i];
  matPrintLabel3("m + m", m3);
  int i = 0, j = 0;
  std::printf("&i 0x%08x &m3 0x%08x &j 0x%08x\n", addr32(&i), addr32(m3), addr32(&j));
  std::printf("&i 0x%08x &m 0x%08x &j 0x%08x\n", addr32(&i), addr32(m), addr32(&j));
  std::printf("v1 dot v2 = %12f\n", vecDot3(v1, v2));
  const double n[9] = {2, 0, 1, 1, 3, 2, 1, 1, 2};
  matSet3(n1, n);
  matPrintLabel3("n1", n1);
  std::printf("determinant(n1) = %12f\n", matDet3(n1));
  return 0;
}
int tavVector(const char *string, int flags) { return stringForm(string, flags, tavVectorCommand, 3307); }
