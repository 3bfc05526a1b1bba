#include "kernels/distancekernels.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace kernels {

namespace {

float roughDistancePortable(const float* x, const float* w, int n) {
  // Four partial sums: independent chains the processor can overlap.
  float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const float d0 = x[i] - w[i], d1 = x[i + 1] - w[i + 1], d2 = x[i + 2] - w[i + 2], d3 = x[i + 3] - w[i + 3];
    s0 += d0 * d0;
    s1 += d1 * d1;
    s2 += d2 * d2;
    s3 += d3 * d3;
  }
  for (; i < n; i++) {
    const float d = x[i] - w[i];
    s0 += d * d;
  }
  return (s0 + s1) + (s2 + s3);
}

void roughDistancesPortable(const float* x, const float* const* units, int count, int n, double* out) {
  for (int u = 0; u < count; u++) out[u] = static_cast<double>(roughDistancePortable(x, units[u], n));
}

void moveTowardsPortable(float* w, const float* x, double factor, int n) {
  for (int i = 0; i < n; i++) {
    double wi = static_cast<double>(w[i]);
    w[i] = static_cast<float>(wi + factor * (static_cast<double>(x[i]) - wi));
  }
}

void moveUnitsPortable(float* const* units, const double* factors, int count, const float* x, int n) {
  for (int u = 0; u < count; u++) moveTowardsPortable(units[u], x, factors[u], n);
}

// `C` exact chains side by side, all against the same w: each is exactly the
// reference loop, and being independent they overlap in the processor. (Eight
// scalar chains ran faster than gathering the vectors' components into wide
// registers, on processors with 256- and with 512-bit registers alike.)
template <int C>
void exactChains(const float* const* vectors, const float* w, int n, float* out) {
  float r[C] = {};
  for (int i = 0; i < n; i++) {
    const double wi = static_cast<double>(w[i]);
    for (int c = 0; c < C; c++) {
      const double diff = static_cast<double>(vectors[c][i]) - wi;
      r[c] = static_cast<float>(static_cast<double>(r[c]) + diff * diff);
    }
  }
  for (int c = 0; c < C; c++) out[c] = r[c];
}

// Eight vectors at a time, then four, two, one.
void exactDistancesPortable(const float* const* vectors, int count, const float* w, int n, float* out) {
  int k = 0;
  for (; k + 8 <= count; k += 8) exactChains<8>(vectors + k, w, n, out + k);
  if (k + 4 <= count) {
    exactChains<4>(vectors + k, w, n, out + k);
    k += 4;
  }
  if (k + 2 <= count) {
    exactChains<2>(vectors + k, w, n, out + k);
    k += 2;
  }
  if (k < count) exactChains<1>(vectors + k, w, n, out + k);
}

// The squares of w summed in float in the sixteen chains of the wide
// kernels (component i in chain i mod 16), each square rounded before its
// addition; the chains (k, 4 + k, 8 + k, 12 + k) added as (0 + 1) + (2 + 3)
// into four, those as (0 + 2) + (1 + 3).
float measurePortable(const float* w, int n) {
  float chain[kSkipBlock] = {};
  for (int i = 0; i < n; i++) {
    const float square = w[i] * w[i];
    chain[i % kSkipBlock] += square;
  }
  float lane[4];
  for (int k = 0; k < 4; k++) lane[k] = (chain[k] + chain[4 + k]) + (chain[8 + k] + chain[12 + k]);
  return (lane[0] + lane[2]) + (lane[1] + lane[3]);
}

float moveMeasuredPortable(float* w, const float* x, double factor, int n) {
  moveTowardsPortable(w, x, factor, n);
  return measurePortable(w, n);
}

// True when every weight of the block lies within the limit and none is -0.
bool unchangedByMove(const float* w, int count, int skipLimit) {
  for (int i = 0; i < count; i++) {
    int bits;
    std::memcpy(&bits, &w[i], sizeof bits);
    if ((bits & 0x7fffffff) > skipLimit || bits == static_cast<int>(0x80000000u)) return false;
  }
  return true;
}

float moveSparsePortable(float* w, const SparseEntries& x, double factor, int n, int skipLimit) {
  int k = 0;
  for (int start = 0; start < n; start += kSkipBlock) {
    const int end = n - start < kSkipBlock ? n : start + kSkipBlock;
    const bool listed = k < x.count && x.index[k] < end;
    if (!listed && unchangedByMove(w + start, end - start, skipLimit)) continue;
    moveSparseRest(w, x, k, start, end, factor);
    while (k < x.count && x.index[k] < end) k++;
  }
  return measurePortable(w, n);
}

// Two running sums of scalar products: gathering the weights into vector
// registers measured no faster (the listed components are few and scattered).
void sparseDotsPortable(const SparseEntries& x, const float* const* units, int count, double* out) {
  for (int u = 0; u < count; u++) {
    const float* w = units[u];
    double s0 = 0.0, s1 = 0.0;
    int k = 0;
    for (; k + 2 <= x.count; k += 2) {
      s0 += static_cast<double>(x.value[k]) * static_cast<double>(w[x.index[k]]);
      s1 += static_cast<double>(x.value[k + 1]) * static_cast<double>(w[x.index[k + 1]]);
    }
    if (k < x.count) s0 += static_cast<double>(x.value[k]) * static_cast<double>(w[x.index[k]]);
    out[u] = s0 + s1;
  }
}

void accumulateSquaresPortable(float* acc, const float* w, const float* x, int n) {
  for (int i = 0; i < n; i++) {
    const double diff = static_cast<double>(w[i]) - static_cast<double>(x[i]);
    acc[i] = static_cast<float>(static_cast<double>(acc[i]) + diff * diff);
  }
}

InstructionSet widestSupported() {
  if (supports(InstructionSet::Avx512)) return InstructionSet::Avx512;
  if (supports(InstructionSet::Avx2)) return InstructionSet::Avx2;
  return InstructionSet::Portable;
}

const KernelTable& tableOf(InstructionSet set) {
  switch (set) {
#if defined(__x86_64__)
    case InstructionSet::Avx512:
      return avx512Kernels();
    case InstructionSet::Avx2:
      return avx2Kernels();
#endif
    default:
      return portableKernels();
  }
}

}  // namespace

const KernelTable* activeTable = &tableOf(widestSupported());

const KernelTable& portableKernels() {
  static const KernelTable table = {roughDistancePortable,    roughDistancesPortable, moveTowardsPortable,
                                    moveUnitsPortable,        exactDistancesPortable, measurePortable,
                                    moveMeasuredPortable,     moveSparsePortable,     sparseDotsPortable,
                                    accumulateSquaresPortable};
  return table;
}

// Moving a weight w towards an input component of +0 computes, in double,
// d = 0 - w, p = factor * d, s = w + p, and stores float(s). It gives w back,
// bit for bit, when the factor is finite, w is not -0 and
// |w| <= L <= 2^-126 with |factor| L <= 2^-150 (1 - 2^-41):
// - w = +0: d = +0, p = +0 or -0, s = +0.
// - otherwise w is a multiple of 2^-149 (every float up to 2^-126 is) and
//   the floats next to it lie 2^-149 away on both sides. d = -w exactly;
//   |p| <= |factor w| (1 + 2^-53); s errs from w + p by at most
//   2^-53 |w + p| <= 2^-178. So |s - w| <= 2^-150 (1 - 2^-41)(1 + 2^-53)
//   + 2^-178 < 2^-150: s lies nearer to w than to any other float, and
//   float(s) = w, sign included.
// (-0 is left out: +0 - -0 is +0, and -0 + +0 is +0, not -0.)
// L below is t = 2^-150 (1 - 2^-40) / |factor| (the division errs by a
// factor of at most 1 + 2^-53, which the 2^-40 covers), capped at 2^-126
// and rounded down to a float.
int noOpLimit(double factor) {
  if (!std::isfinite(factor)) return -1;
  const double t = std::ldexp(1.0 - std::ldexp(1.0, -40), -150) / std::fabs(factor);
  const float limit = t < static_cast<double>(FLT_MIN) ? static_cast<float>(t) : FLT_MIN;
  int bits;
  std::memcpy(&bits, &limit, sizeof bits);
  // Rounded up: the float below (a positive float's bits less one; t > 0).
  return static_cast<double>(limit) > t ? bits - 1 : bits;
}

// The build may cap the sets the kernels choose (see VELMAR_MAX_ISA in CMakeLists.txt).
#if !defined(VELMAR_MAX_ISA_LEVEL)
#define VELMAR_MAX_ISA_LEVEL 2
#endif

bool leftOutByBuild(InstructionSet set) {
#if defined(__x86_64__)
  return static_cast<int>(set) > VELMAR_MAX_ISA_LEVEL;
#else
  return set != InstructionSet::Portable;
#endif
}

bool supports(InstructionSet set) {
  if (leftOutByBuild(set)) return false;
#if defined(__x86_64__)
  __builtin_cpu_init();
  switch (set) {
    case InstructionSet::Avx512:
      return __builtin_cpu_supports("avx512f") != 0 && supports(InstructionSet::Avx2);
    case InstructionSet::Avx2:
      return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    case InstructionSet::Portable:
      return true;
  }
  return false;
#else
  return set == InstructionSet::Portable;
#endif
}

void use(InstructionSet set) { activeTable = &tableOf(set); }

const char* name(InstructionSet set) {
  switch (set) {
    case InstructionSet::Avx512:
      return "avx512";
    case InstructionSet::Avx2:
      return "avx2";
    case InstructionSet::Portable:
      return "portable";
  }
  return "?";
}

}  // namespace kernels
