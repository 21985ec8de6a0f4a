// Scan loading: our reader against vtkVRMLImporter on the same 1M-vertex VRML 2.0 foot.
// usage: bench_load [FILE.wrl]   (without FILE a synthetic foot is written to the temp folder)

#include <sys/stat.h>
#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkMapper.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkVRMLImporter.h>

#include <thread>

#include "bench_support.h"
#include "kernelcad/core/scan_reader.h"

namespace {

using bench::InChild;
using bench::Median;
using bench::StatusKb;

constexpr int kRuns = 5;
constexpr long long kVertices = 1'000'000;

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// CPU seconds of this process: on a shared machine wall time also measures the neighbours.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::size_t VtkTriangles(vtkRenderer* renderer) {
  std::size_t cells = 0;
  vtkActorCollection* actors = renderer->GetActors();
  actors->InitTraversal();
  while (vtkActor* a = actors->GetNextActor()) {
    if (auto* pd =
            vtkPolyData::SafeDownCast(a->GetMapper() ? a->GetMapper()->GetInput() : nullptr)) {
      cells += static_cast<std::size_t>(pd->GetNumberOfPolys());
    }
  }
  return cells;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? std::string(argv[1]) : bench::ScanFile(kVertices);
  if (path.empty()) {
    std::fprintf(stderr, "cannot write the synthetic scan\n");
    return 1;
  }
  struct stat sb {};
  if (stat(path.c_str(), &sb) != 0) {
    std::fprintf(stderr, "cannot stat %s\n", path.c_str());
    return 1;
  }
  const double mb = static_cast<double>(sb.st_size) / 1e6;

  // Peak memory of a load, measured in a child that does nothing else.
  int fds[2];
  if (pipe(fds) != 0) return 1;
  InChild([&] {
    const long before = StatusKb("VmRSS:");
    const kernelcad::ScanFile scan = kernelcad::ReadScanFile(path);
    long vals[2] = {before, StatusKb("VmHWM:")};
    return write(fds[1], vals, sizeof vals) == static_cast<ssize_t>(sizeof vals) ? 0 : 1;
  });
  long mem[2] = {-1, -1};
  if (read(fds[0], mem, sizeof mem) != static_cast<ssize_t>(sizeof mem))
    std::fprintf(stderr, "no memory figure\n");
  close(fds[0]);
  close(fds[1]);

  std::vector<double> ours, vtk, oursCpu, vtkCpu;
  std::size_t ourTriangles = 0, vtkTriangles = 0, ourPoints = 0;
  for (int i = 0; i < kRuns; ++i) {
    const double c0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const kernelcad::ScanFile scan = kernelcad::ReadScanFile(path);
    ours.push_back(Seconds(std::chrono::steady_clock::now() - t0));
    oursCpu.push_back(CpuSeconds() - c0);
    ourTriangles = scan.mesh.triangleCount();
    ourPoints = scan.mesh.pointCount();
  }
  for (int i = 0; i < kRuns; ++i) {
    vtkNew<vtkRenderWindow> window;  // the importer fills a renderer; nothing is drawn
    vtkNew<vtkRenderer> renderer;
    window->AddRenderer(renderer);
    vtkNew<vtkVRMLImporter> importer;
    importer->SetRenderWindow(window);
    importer->SetFileName(path.c_str());
    const double c0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    importer->Update();
    vtk.push_back(Seconds(std::chrono::steady_clock::now() - t0));
    vtkCpu.push_back(CpuSeconds() - c0);
    vtkTriangles = VtkTriangles(renderer);
  }

  // Cancel half-way through: how long the load goes on before it stops.
  std::vector<double> cancelMs;
  for (int i = 0; i < kRuns; ++i) {
    kernelcad::ReadProgress progress;
    std::chrono::steady_clock::time_point asked;
    std::thread loader([&] {
      try {
        kernelcad::ReadScanFile(path, &progress);
      } catch (const kernelcad::ScanCancelled&) {
      }
    });
    while (progress.total == 0 || progress.done < progress.total / 2) std::this_thread::yield();
    asked = std::chrono::steady_clock::now();
    progress.cancel = true;
    loader.join();
    cancelMs.push_back(Seconds(std::chrono::steady_clock::now() - asked) * 1e3);
  }

  const double o = Median(ours), v = Median(vtk);
  std::printf("file: %s (%.1f MB, %zu vertices, %zu triangles; VTK sees %zu triangles)\n",
              path.c_str(), mb, ourPoints, ourTriangles, vtkTriangles);
  const double oc = Median(oursCpu), vc = Median(vtkCpu);
  std::printf("ours:            median %.3f s of %d  (%.0f MB/s); cpu %.3f s (%.0f MB/s)\n", o,
              kRuns, mb / o, oc, mb / oc);
  std::printf("vtkVRMLImporter: median %.3f s of %d  (%.0f MB/s); cpu %.3f s (%.0f MB/s)\n", v,
              kRuns, mb / v, vc, mb / vc);
  std::printf("cpu-time ratio (vtkVRMLImporter / ours): %.1fx\n", vc / oc);
  std::printf(
      "peak RSS during our load: %.1f MB (%.2fx file size; %.2fx counting only the load's "
      "growth)\n",
      static_cast<double>(mem[1]) / 1e3 * 1.024,
      static_cast<double>(mem[1]) * 1024.0 / static_cast<double>(sb.st_size),
      static_cast<double>(mem[1] - mem[0]) * 1024.0 / static_cast<double>(sb.st_size));
  std::printf("cancel half-way: the load stops %.1f ms later (median of %d, worst %.1f ms)\n",
              Median(cancelMs), kRuns, *std::max_element(cancelMs.begin(), cancelMs.end()));
  std::printf("load ratio (vtkVRMLImporter / ours): %.1fx\n", v / o);
  return 0;
}
