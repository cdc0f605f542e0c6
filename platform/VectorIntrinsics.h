#pragma once
// The x86 vector intrinsics for the filter and drawing kernels, SKELVANE_FILTER_X86 where they exist,
// and the attributes that compile a kernel for AVX2 or AVX-512, and whether the processor runs them
// (asked at run time by the kernel's caller). GCC 12's
// AVX-512 header leaves the pass-through operand of its unmasked forms undefined on purpose and then
// warns of it wherever they are inlined; those warnings are silenced for the header alone.

#if defined(__x86_64__) || defined(__i386__)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
#define SKELVANE_FILTER_X86 1
#define SKELVANE_AVX2 __attribute__((target("avx2")))
#define SKELVANE_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace skelvane {
/// Whether this processor runs the SKELVANE_AVX2 kernels, and the SKELVANE_AVX512 ones.
inline bool ProcessorHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
inline bool ProcessorHasAvx512() {
  static const bool has = ProcessorHasAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return has;
}
}  // namespace skelvane
#endif
