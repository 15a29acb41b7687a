#pragma once
// CPU time of the benchmark programs.

#include <sys/resource.h>

namespace edbx::bench {

/// CPU seconds of the process so far, user and system, every thread included: on a
/// shared machine the figure that waiting for a core does not inflate.
inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace edbx::bench
