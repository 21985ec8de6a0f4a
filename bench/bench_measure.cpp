// Suggested points and measurements on synthetic feet in random poses: CPU time per scan for a
// plantar scan and a closed full-foot mesh at the scanner's size; the last line compares 600k
// vertices with 150k, 1.0 being linear in the vertices.
// usage: bench_measure

#include <ctime>

#include "bench_support.h"
#include "measure/foot_measure.h"

namespace {

constexpr int kRuns = 5;

// CPU seconds of this process: on a shared machine wall time also measures the neighbours.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

// Median CPU milliseconds of the suggestion and of the measurements on `variant`.
std::pair<double, double> Time(footgen::Variant variant) {
  std::vector<double> suggest, measure;
  for (int run = 0; run < kRuns; ++run) {
    variant.seed = 100 + run;
    const footgen::GeneratedFoot foot = footgen::Generate(variant);
    const double t0 = CpuMs();
    const measure::Suggestion s = measure::SuggestReferencePoints(foot.mesh, footview::Side::Left);
    const double t1 = CpuMs();
    const measure::Measurements m =
        measure::Measure(foot.mesh, s.heel, s.ball, s.adjacent, footview::Side::Left);
    const double t2 = CpuMs();
    if (!s.found || !m.valid)
      std::printf("run %d: %s%s\n", run, s.reason.c_str(), m.reason.c_str());
    suggest.push_back(t1 - t0), measure.push_back(t2 - t1);
  }
  return {bench::Median(suggest), bench::Median(measure)};
}

}  // namespace

int main() {
  footgen::Variant v;
  v.randomPose = true;
  double base = 0;
  for (const bool closed : {false, true})
    for (const int resolution : {150, 600}) {
      v.closed = closed, v.resolution = resolution;
      const auto [suggest, measure] = Time(v);
      std::printf("%s, %dk vertices: suggest %.0f ms, measure %.0f ms (CPU, median of %d)\n",
                  closed ? "closed" : "plantar", resolution, suggest, measure, kRuns);
      if (!closed && resolution == 150) base = suggest + measure;
      if (!closed && resolution == 600)
        std::printf("600k/150k per vertex: %.2f\n", (suggest + measure) / (4 * base));
    }
  return 0;
}
