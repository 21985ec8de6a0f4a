// STL, OBJ and PLY loading: our readers against VTK's own (vtkSTLReader, vtkOBJReader,
// vtkPLYReader) and, where the build found it, the Open Asset Import Library, on the same
// 1M-vertex foot written in each format in this run: time, CPU time and peak memory. Last, the
// foot as VTK's writers write it, read by ours.
// usage: bench_formats [RUNS]

#include <malloc.h>
#include <vtkNew.h>
#include <vtkOBJReader.h>
#include <vtkOBJWriter.h>
#include <vtkPLYReader.h>
#include <vtkPLYWriter.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>
#include <vtkSTLWriter.h>

#include <functional>
#include <thread>

#include "bench_support.h"
#include "kernelcad/core/mesh_writers.h"
#include "kernelcad/core/scan_reader.h"

#ifdef QUARNEL_BENCH_ASSIMP
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#endif

namespace {

using bench::InChild;
using bench::Median;
using bench::StatusKb;
using kernelcad::ScanFormat;

constexpr long long kVertices = 1'000'000;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What a reader made of the file.
struct Counts {
  std::size_t points = 0, triangles = 0;
};
using Reader = std::function<Counts(const std::string&)>;

Counts Ours(const std::string& path) {
  const kernelcad::ScanFile scan = kernelcad::ReadScanFile(path);
  return {scan.mesh.pointCount(), scan.mesh.triangleCount()};
}

template <typename VtkReader>
Counts Vtk(const std::string& path) {
  vtkNew<VtkReader> reader;
  reader->SetFileName(path.c_str());
  reader->Update();
  vtkPolyData* out = reader->GetOutput();
  return {static_cast<std::size_t>(out->GetNumberOfPoints()),
          static_cast<std::size_t>(out->GetNumberOfPolys())};
}

#ifdef QUARNEL_BENCH_ASSIMP
// With its vertex joining, the work our STL reader does in welding; without, as it comes.
Counts AssetImporter(const std::string& path, bool join) {
  Assimp::Importer importer;
  const aiScene* scene =
      importer.ReadFile(path, join ? unsigned{aiProcess_JoinIdenticalVertices} : 0u);
  Counts c;
  for (unsigned m = 0; scene && m < scene->mNumMeshes; ++m) {
    c.points += scene->mMeshes[m]->mNumVertices;
    c.triangles += scene->mMeshes[m]->mNumFaces;
  }
  return c;
}
#endif

struct Figures {
  double seconds = 0, cpu = 0, peakMb = 0;
  Counts counts;
};

Figures Measure(const Reader& load, const std::string& path, int runs) {
  Figures f;
  // Peak memory of one load in a child that does nothing else, forked once the heap has given
  // back what earlier loads freed: a child reusing pages the parent kept would not grow.
  malloc_trim(0);
  int fds[2];
  if (pipe(fds) != 0) return f;
  InChild([&] {
    const long before = StatusKb("VmRSS:");
    load(path);
    const long growth = StatusKb("VmHWM:") - before;
    return write(fds[1], &growth, sizeof growth) == static_cast<ssize_t>(sizeof growth) ? 0 : 1;
  });
  long kb = -1;
  if (read(fds[0], &kb, sizeof kb) == static_cast<ssize_t>(sizeof kb)) f.peakMb = kb * 1.024e-3;
  close(fds[0]);
  close(fds[1]);
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const double c0 = CpuSeconds();
    const auto t0 = bench::Clock::now();
    f.counts = load(path);
    wall.push_back(bench::Ms(bench::Clock::now() - t0) / 1e3);
    cpu.push_back(CpuSeconds() - c0);
  }
  f.seconds = Median(wall);
  f.cpu = Median(cpu);
  return f;
}

// How long a load goes on once cancelled half-way.
double CancelMs(const std::string& path) {
  kernelcad::ReadProgress progress;
  std::thread loader([&] {
    try {
      kernelcad::ReadScanFile(path, &progress);
    } catch (const kernelcad::ScanCancelled&) {
    }
  });
  while (progress.total == 0 || progress.done < progress.total / 2) std::this_thread::yield();
  const auto asked = bench::Clock::now();
  progress.cancel = true;
  loader.join();
  return bench::Ms(bench::Clock::now() - asked);
}

// The foot as VTK's writers write it, read by ours: files from another program than ours.
void WrittenByVtk(const std::string& ply) {
  vtkNew<vtkPLYReader> source;
  source->SetFileName(ply.c_str());
  source->Update();
  const auto dir = std::filesystem::temp_directory_path();
  const auto report = [](const char* writer, const std::string& path) {
    const Counts c = Ours(path);
    std::printf("written by %-22s read by ours: %zu vertices, %zu triangles\n", writer, c.points,
                c.triangles);
    std::filesystem::remove(path);
  };
  const auto write = [&](auto& writer, const char* name, const char* extension) {
    const std::string path = (dir / (std::string("quarnel_bench_vtk.") + extension)).string();
    writer->SetFileName(path.c_str());
    writer->SetInputConnection(source->GetOutputPort());
    writer->Write();
    report(name, path);
  };
  for (const bool binary : {true, false}) {
    vtkNew<vtkSTLWriter> stl;
    binary ? stl->SetFileTypeToBinary() : stl->SetFileTypeToASCII();
    write(stl, binary ? "vtkSTLWriter (binary)" : "vtkSTLWriter (ASCII)", "stl");
    vtkNew<vtkPLYWriter> ply;
    binary ? ply->SetFileTypeToBinary() : ply->SetFileTypeToASCII();
    write(ply, binary ? "vtkPLYWriter (binary)" : "vtkPLYWriter (ASCII)", "ply");
  }
  vtkNew<vtkOBJWriter> obj;
  write(obj, "vtkOBJWriter", "obj");
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string vrml = bench::ScanFile(kVertices);
  if (vrml.empty()) return 1;
  struct Row {
    ScanFormat format;
    const char* file;
    std::vector<std::pair<const char*, Reader>> readers;
  };
  const std::vector<Row> rows = {
      {ScanFormat::StlBinary, "stl", {{"ours", Ours}, {"vtkSTLReader", Vtk<vtkSTLReader>}}},
      {ScanFormat::StlAscii, "ascii.stl", {{"ours", Ours}, {"vtkSTLReader", Vtk<vtkSTLReader>}}},
      {ScanFormat::Obj, "obj", {{"ours", Ours}, {"vtkOBJReader", Vtk<vtkOBJReader>}}},
      {ScanFormat::PlyLittleEndian, "ply", {{"ours", Ours}, {"vtkPLYReader", Vtk<vtkPLYReader>}}},
      {ScanFormat::PlyAscii, "ascii.ply", {{"ours", Ours}, {"vtkPLYReader", Vtk<vtkPLYReader>}}},
  };
  const auto pathOf = [](const Row& row) {
    return (std::filesystem::temp_directory_path() /
            ("quarnel_bench_foot_1000k." + std::string(row.file)))
        .string();
  };
  double meshMb = 0;
  {
    // Written first, and let go of before anything is weighed.
    const kernelcad::Mesh foot = kernelcad::ReadScanFile(vrml).mesh;
    // The welded mesh's own size: points and triangles, what binary STL's peak is held to.
    meshMb = (foot.points.size() * 4.0 + foot.triangles.size() * 4.0) / 1e6;
    std::printf("foot: %zu vertices, %zu triangles (welded mesh %.1f MB); median of %d runs\n",
                foot.pointCount(), foot.triangleCount(), meshMb, runs);
    for (const Row& row : rows) {
      if (!std::filesystem::exists(pathOf(row)))
        kernelcad::WriteMeshFile(foot, row.format, pathOf(row));
    }
  }
  std::printf("%-26s %-14s %9s %8s %9s %8s %11s %9s %9s\n", "format", "reader", "file MB", "s",
              "cpu s", "peak MB", "peak/file", "vertices", "vs ours");
  double worstRatio = 1e9;
  for (Row row : rows) {
#ifdef QUARNEL_BENCH_ASSIMP
    row.readers.push_back({"assimp", [](const std::string& p) { return AssetImporter(p, false); }});
    if (row.format == ScanFormat::StlBinary)
      row.readers.push_back(
          {"assimp+join", [](const std::string& p) { return AssetImporter(p, true); }});
#endif
    const std::string path = pathOf(row);
    const double fileMb = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    double oursCpu = 0, bestLibrary = 1e9;
    for (const auto& [name, reader] : row.readers) {
      const Figures f = Measure(reader, path, runs);
      if (std::string_view(name) == "ours")
        oursCpu = f.cpu;
      else
        bestLibrary = std::min(bestLibrary, f.cpu);
      std::printf("%-26s %-14s %9.1f %8.3f %9.3f %8.1f %10.2fx %9zu %8.1fx\n",
                  std::string(kernelcad::FormatName(row.format)).c_str(), name, fileMb, f.seconds,
                  f.cpu, f.peakMb, f.peakMb / fileMb, f.counts.points, f.cpu / oursCpu);
    }
    std::printf("%-26s cancel half-way: stops %.1f ms later\n", "", CancelMs(path));
    worstRatio = std::min(worstRatio, bestLibrary / oursCpu);
  }
  std::printf("binary STL peak against the welded mesh: see its peak MB / %.1f MB\n", meshMb);
  WrittenByVtk(pathOf(rows[3]));
  std::printf("cpu-time ratio (fastest library reader / ours), worst format: %.1fx\n", worstRatio);
  return 0;
}
