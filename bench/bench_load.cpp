// Scan loading: our reader against vtkVRMLImporter on the same 1M-vertex VRML 2.0 foot.
// usage: bench_load [FILE.wrl]   (without FILE a synthetic foot is written to the temp folder)

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vtkActor.h>
#include <vtkActorCollection.h>
#include <vtkMapper.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkVRMLImporter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "footgen/footgen.h"
#include "kernelcad/core/vrml_reader.h"

namespace {

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

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// kB value of a /proc/self/status line such as "VmHWM:".
long StatusKb(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atol(line + std::strlen(key));
  }
  std::fclose(f);
  return kb;
}

// Runs fn in a child process so its allocations never touch this process's heap.
template <typename Fn>
bool InChild(Fn fn) {
  std::fflush(stdout);  // or the child would print the parent's buffered text again
  const pid_t pid = fork();
  if (pid == 0) {
    const int rc = fn();
    std::fflush(stdout);
    _exit(rc);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
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
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else {
    path = (std::filesystem::temp_directory_path() / "quarnel_bench_foot_1M.wrl").string();
    if (!std::filesystem::exists(path)) {
      std::printf("writing %s ...\n", path.c_str());
      const bool ok = InChild([&] {
        const footgen::Foot foot =
            footgen::GenerateFoot(footgen::Side::Left, footgen::ResolutionForVertices(kVertices));
        std::ofstream out(path, std::ios::binary);
        footgen::WriteVrml2(foot.mesh, out, "bench_load synthetic foot");
        return out.good() ? 0 : 1;
      });
      if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::filesystem::remove(path);
        return 1;
      }
    }
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
    const kernelcad::VrmlScan scan = kernelcad::ReadVrmlFile(path);
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
    const kernelcad::VrmlScan scan = kernelcad::ReadVrmlFile(path);
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
        kernelcad::ReadVrmlFile(path, &progress);
      } catch (const kernelcad::VrmlCancelled&) {
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
