// The cost of ordinary C++ exceptions with and without the translator's wrapper around GCC's
// personality routine, and the cost of one translated fault. Built twice: throw_bench_wrapped.exe
// links the translator and installs it; throw_bench.exe does neither.
//
//   throw_bench[_wrapped].exe   prints "throw <microseconds per throw and catch>"
//                               and, wrapped, "fault <microseconds per translated fault>"
#include <windows.h>

#include <cstdio>
#include <exception>

#ifdef OMBRU_BENCH_WRAPPED
#include "failure/se_translator.h"
#include "failure/translate.h"
#endif

namespace {

constexpr int kThrows = 20000;
volatile int sink = 0;

struct Cleanup {
  ~Cleanup() { sink = sink + 1; }
};

// A few frames with cleanups between the throw and the catch, as in ordinary code.
__attribute__((noinline)) void Throw(int depth) {
  Cleanup cleanup;
  if (depth == 0)
    throw depth;
  Throw(depth - 1);
}

double MicrosecondsPer(int count, void (*action)()) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i)
    action();
  QueryPerformanceCounter(&end);
  return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart) / count;
}

}  // namespace

int main() {
  const auto throwAndCatch = [] {
    try {
      Throw(3);
    } catch (int) {
      sink = sink + 1;
    }
  };
#ifdef OMBRU_BENCH_WRAPPED
  ombru::SetStructuredExceptionTranslator(TranslateStructuredException);
#endif
  throwAndCatch();  // the first throw allocates what later ones reuse
  std::printf("throw %.3f\n", MicrosecondsPer(kThrows, throwAndCatch));
#ifdef OMBRU_BENCH_WRAPPED
  const auto faultAndCatch = [] {
    try {
      sink = *static_cast<volatile int*>(nullptr);
    } catch (const std::exception&) {
      sink = sink + 1;
    }
  };
  std::printf("fault %.3f\n", MicrosecondsPer(kThrows / 4, faultAndCatch));
#endif
  return 0;
}
