#include "kernelcad/core/trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kernelcad {

void Trace(const char* moment) {
  static const bool enabled = std::getenv("QUARNEL_TRACE") != nullptr;
  if (!enabled) return;
  using Ms = std::chrono::duration<double, std::milli>;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const double cpuMs = 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
  std::fprintf(stderr, "quarnel-trace %s %.3f %.3f\n", moment, Ms(now).count(), cpuMs);
}

}  // namespace kernelcad
