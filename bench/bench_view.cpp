// The whole road as the operator feels it, on synthetic 250k and 1M-vertex scans: open to first
// picture (the program itself started with the scan, the side question answered at once through
// QUARNEL_SIDE, until the foot view shows the full mesh), how long a click as that picture
// appears waits for picking, peak memory, and frame times at rest and while moving in a
// 1000 x 800 view. The program's stages come from its QUARNEL_TRACE marks. References measured
// in the same run: f3d --output on the same file (when installed), the cell locator built on
// the first pick as a plain viewer does, and the full-mesh frame.
// usage: bench_view [VERTICES...]        (default 250000 1000000)
#include <QVTKOpenGLNativeWidget.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkStaticCellLocator.h>
#include <vtkTypeInt32Array.h>

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTimer>
#include <functional>
#include <map>

#include "bench_support.h"
#include "kernelcad/core/scan_reader.h"
#include "kernelcad/widget/kernelcad.h"

extern char** environ;

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;

constexpr int kRuns = 5;

// A view as the foot window opens it: 1000 x 800, seen from below.
void prepare(kernelcad::KernelCAD& view) {
  view.resize(1000, 800);
  auto frame = view.View()->FindObject("EyeFrame");
  frame->ResetOrientation();
  frame->RotateAboutAxis(180.0, 1);
  frame->RotateAboutAxis(180.0, 2);
}

// Runs `action` and waits until the view has put a new frame on screen; milliseconds. An
// action that draws nothing gives up after a minute.
double timeFrame(kernelcad::KernelCAD& view, const std::function<void()>& action) {
  QEventLoop loop;
  const auto c =
      QObject::connect(view.renderWidget(), &QOpenGLWidget::frameSwapped, &loop, &QEventLoop::quit);
  QTimer::singleShot(60'000, &loop, [&loop] { loop.exit(1); });
  const auto start = Clock::now();
  action();
  const bool drawn = loop.exec() == 0;
  QObject::disconnect(c);
  if (!drawn) std::printf("  (no frame came)\n");
  return Ms(Clock::now() - start);
}

// Waits for the first frame that shows a scan, whichever way the load goes.
void waitForScanFrame(kernelcad::KernelCAD& view) {
  QEventLoop loop;
  QObject::connect(view.renderWidget(), &QOpenGLWidget::frameSwapped, &loop, [&] {
    if (view.Model()->GetItemCount() > 0) loop.quit();
  });
  loop.exec();
}

// Pixel of the middle of the model, where a pick hits the sole.
QPoint middle(const kernelcad::KernelCAD& view) {
  const auto d = view.Model()->GetDimensions();
  const auto p = view.View()->worldToPixel((d.min + d.max) / 2.0);
  return {static_cast<int>(p.x()), static_cast<int>(p.y())};
}

double timePick(const kernelcad::KernelCAD& view) {
  const QPoint at = middle(view);
  kernelcad::Vec3 point;
  const auto start = Clock::now();
  const bool hit = view.View()->PickPoint(at.x(), at.y(), point) != nullptr;
  const double ms = Ms(Clock::now() - start);
  if (!hit) std::printf("  (the pick missed the scan)\n");
  return ms;
}

struct Run {
  double ms = 0;        // start to exit, or to the last of the marks waited for
  long maxRssKb = 0;    // of the child
  long shownRssKb = 0;  // its high-water mark once the scan was shown and picking was ready
  double cpuMs = 0;     // processor time of the child, user and system
  // The program's trace marks, first of each: milliseconds since the start, and processor
  // milliseconds the program had used by then.
  std::map<std::string, std::pair<double, double>> marks;
};

// Starts args as a child and times it to its exit or, when `until` names trace marks, until it
// has made them all; it is then stopped.
bool runChild(const std::vector<std::string>& args, const std::vector<std::string>& until,
              Run& run) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> cargs;
  for (const auto& a : args) cargs.push_back(const_cast<char*>(a.c_str()));
  cargs.push_back(nullptr);
  pid_t pid = 0;
  const auto start = Clock::now();
  const int rc = posix_spawnp(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return false;
  }
  const double startMs = Ms(start.time_since_epoch());
  std::FILE* out = fdopen(fds[0], "r");
  char line[512];
  const auto allMarked = [&] {
    return std::all_of(until.begin(), until.end(),
                       [&](const std::string& m) { return run.marks.count(m) > 0; });
  };
  while (out && std::fgets(line, sizeof line, out)) {
    char name[64];
    double at = 0;
    double cpu = 0;
    if (std::sscanf(line, "quarnel-trace %63s %lf %lf", name, &at, &cpu) != 3) continue;
    run.marks.emplace(name, std::make_pair(at - startMs, cpu));
    if (run.shownRssKb == 0 && run.marks.count("frame-full") && run.marks.count("pick-ready"))
      run.shownRssKb = bench::StatusKb("VmHWM:", std::to_string(pid));
    if (!until.empty() && allMarked()) {
      run.ms = run.marks[until.back()].first;
      kill(pid, SIGTERM);
      break;
    }
  }
  if (out) std::fclose(out);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.maxRssKb = usage.ru_maxrss;
  for (const timeval& t : {usage.ru_utime, usage.ru_stime})
    run.cpuMs += 1e3 * static_cast<double>(t.tv_sec) + 1e-3 * static_cast<double>(t.tv_usec);
  if (until.empty()) {
    run.ms = Ms(Clock::now() - start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return allMarked();
}

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (std::size_t from = 0; from <= dirs.size();) {
    const std::size_t to = std::min(dirs.find(':', from), dirs.size());
    if (access((dirs.substr(from, to - from) + "/" + program).c_str(), X_OK) == 0) return true;
    from = to + 1;
  }
  return false;
}

// The first pick as a viewer without the background locator makes it: the locator is built
// on the click. A copy of the scan's arrays, as such a viewer holds them.
double locatorOnClickMs(const std::string& file) {
  const kernelcad::ScanFile scan = kernelcad::ReadScanFile(file);
  vtkNew<vtkFloatArray> coords;
  coords->SetNumberOfComponents(3);
  coords->SetArray(const_cast<float*>(scan.mesh.points.data()),
                   static_cast<vtkIdType>(scan.mesh.points.size()), 1);
  vtkNew<vtkPoints> points;
  points->SetData(coords);
  vtkNew<vtkTypeInt32Array> connectivity;
  connectivity->SetArray(const_cast<std::int32_t*>(scan.mesh.triangles.data()),
                         static_cast<vtkIdType>(scan.mesh.triangles.size()), 1);
  vtkNew<vtkCellArray> polys;
  polys->SetData(3, connectivity);
  vtkNew<vtkPolyData> poly;
  poly->SetPoints(points);
  poly->SetPolys(polys);
  vtkNew<vtkStaticCellLocator> locator;
  locator->SetDataSet(poly);
  const auto start = Clock::now();
  locator->BuildLocator();
  return Ms(Clock::now() - start);
}

// The program next to this benchmark in the build tree.
std::string programPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin" /
          "quarnel")
      .string();
}

// One open of `file` by the program, until its foot view shows the full mesh and picking is
// ready.
bool openInProgram(const std::string& file, Run& run) {
  setenv("QUARNEL_TRACE", "1", 1);
  setenv("QUARNEL_SIDE", "Left", 1);
  // The suggested points are worked out right after the first frame: their memory counts too.
  const bool ok = runChild({programPath(), file}, {"pick-ready", "frame-full", "suggested"}, run);
  unsetenv("QUARNEL_TRACE");
  unsetenv("QUARNEL_SIDE");
  if (!ok) std::printf("  the program did not show %s\n", file.c_str());
  return ok;
}

void benchOpen(const std::string& file, double fileMb, const std::string& tinyFile) {
  std::vector<double> ours, cpu, read, draw, clickWait, peaks, shownPeaks, f3d, f3dCpu, f3dPeaks;
  for (int i = 0; i < kRuns; ++i) {
    Run run;
    if (!openInProgram(file, run)) return;
    const auto& m = run.marks;
    const double frame = m.at("frame-full").first;
    ours.push_back(frame);
    cpu.push_back(m.at("frame-full").second);
    read.push_back(m.count("read") ? m.at("read").first : 0.0);
    // The last drawing before the frame: the one that uploads and draws the full mesh.
    double drawStart = 0;
    for (const auto& [name, at] : m) {
      if (name == "draw-start") drawStart = at.first;
    }
    draw.push_back(m.count("draw-end") ? m.at("draw-end").first - drawStart : 0.0);
    clickWait.push_back(std::max(0.0, m.at("pick-ready").first - frame));
    peaks.push_back(static_cast<double>(run.maxRssKb) / 1024.0);
    shownPeaks.push_back(static_cast<double>(run.shownRssKb) / 1024.0);
  }
  const bool haveF3d = onPath("f3d");
  if (haveF3d) {
    const std::string png = (std::filesystem::temp_directory_path() / "quarnel_bench_f3d.png");
    for (int i = 0; i < kRuns; ++i) {
      Run run;
      if (!runChild({"f3d", "--quiet", "--resolution=1000,800", "--output=" + png, file}, {},
                    run)) {
        std::printf("  f3d failed on %s\n", file.c_str());
        break;
      }
      f3d.push_back(run.ms);
      f3dCpu.push_back(run.cpuMs);
      f3dPeaks.push_back(static_cast<double>(run.maxRssKb) / 1024.0);
    }
  }
  std::vector<double> basePeaks;
  for (int i = 0; i < 3; ++i) {
    Run tiny;
    if (openInProgram(tinyFile, tiny)) basePeaks.push_back(tiny.maxRssKb / 1024.0);
  }
  const double baseMb = Median(basePeaks);
  const double o = Median(ours);
  std::printf(
      "  open to first frame (program start to the full mesh on screen): %.0f ms, %.0f ms of"
      " processor time; scan read by %.0f ms, first drawing %.0f ms\n",
      o, Median(cpu), Median(read), Median(draw));
  if (!f3d.empty()) {
    std::printf("  f3d --output, start to image written: %.0f ms; ratio f3d / ours: %.2fx\n",
                Median(f3d), Median(f3d) / o);
    // Processor time depends far less on what else the machine runs than the wall clock.
    std::printf("  processor time, f3d %.0f ms / ours %.0f ms: %.2fx\n", Median(f3dCpu),
                Median(cpu), Median(f3dCpu) / Median(cpu));
  } else if (!haveF3d) {
    std::printf("  f3d not installed: open-to-first-frame reference skipped\n");
  }
  std::printf("  a click as the first frame appears waits %.0f ms for picking\n",
              Median(clickWait));
  const double shown = Median(shownPeaks), peak = Median(peaks);
  std::printf(
      "  peak memory above the program on a tiny scan (%.0f MB), against the file (%.0f MB):"
      " scan shown and pickable %.0f MB = %.2fx; suggested points worked out too %.0f MB ="
      " %.2fx (%.0f MB in all)",
      baseMb, fileMb, shown - baseMb, (shown - baseMb) / fileMb, peak - baseMb,
      (peak - baseMb) / fileMb, peak);
  if (!f3dPeaks.empty()) std::printf("; f3d %.0f MB", Median(f3dPeaks));
  std::printf("\n");
}

void benchFrames(const std::string& file) {
  kernelcad::KernelCAD view;
  prepare(view);
  view.show();
  view.setModelFile(QString::fromStdString(file));
  waitForScanFrame(view);
  timePick(view);  // waits for the picking grid
  const double later = timePick(view);
  // The stand-in is made once the first frame is on screen, in some 40 ms for a 1M-vertex
  // scan; the moves below start once it has surely come.
  QEventLoop pause;
  QTimer::singleShot(500, &pause, &QEventLoop::quit);
  pause.exec();
  auto frame = view.View()->FindObject("EyeFrame");
  std::vector<double> moving, steps, drag, full;
  for (int i = 0; i < kRuns; ++i) {
    moving.push_back(timeFrame(view, [&] {
      frame->RotateAboutAxis(2.0, 1);
      view.Redraw();
    }));
  }
  for (int i = 0; i < kRuns; ++i) {
    // A navigation toolbar step: the foot turns 2 degrees about Z.
    steps.push_back(timeFrame(view, [&] {
      view.Model()->GetItem(0)->Rotate(2.0, 0, 0, 0, 0, 0, 1);
      view.Redraw();
    }));
  }
  for (int i = 0; i < kRuns; ++i) {
    timeFrame(view, [&] { view.Redraw(); });
    full.push_back(timeFrame(view, [&] { view.settle(); }));
  }
  QWidget* target = view.renderWidget();
  const auto send = [target](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
  };
  send(QEvent::MouseButtonPress, {500, 400}, Qt::LeftButton);
  for (int i = 1; i <= kRuns; ++i) {
    drag.push_back(timeFrame(
        view, [&] { send(QEvent::MouseMove, QPoint(500 + 10 * i, 400), Qt::LeftButton); }));
  }
  const double settle = timeFrame(view, [&] {
    send(QEvent::MouseButtonRelease, {550, 400}, Qt::NoButton);
  });
  const double f = Median(full);
  std::printf("  frame, full mesh: %.0f ms (after a move: %.0f ms)\n", f, settle);
  std::printf(
      "  frame while moving: view turn %.0f ms, toolbar step %.0f ms, mouse drag %.0f ms;"
      " full / moving: %.1fx\n",
      Median(moving), Median(steps), Median(drag), f / Median(drag));
  const double onClick = locatorOnClickMs(file);
  std::printf(
      "  pick once the grid is ready: %.3f ms; a cell locator built on the click instead: "
      "%.0f ms; ratio: %.0fx\n",
      later, onClick, onClick / std::max(later, 1e-3));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
  if (sizes.empty()) sizes = {250'000, 1'000'000};

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  QApplication app(argc, argv);
  std::printf("(timings are wall-clock medians of %d; a busy machine inflates them all)\n", kRuns);
  const std::string tinyFile = bench::ScanFile(1'000);
  for (const long long vertices : sizes) {
    const std::string file = bench::ScanFile(vertices);
    struct stat sb {};
    if (file.empty() || stat(file.c_str(), &sb) != 0) {
      std::fprintf(stderr, "cannot write a scan of %lld vertices\n", vertices);
      return 1;
    }
    const double mb = static_cast<double>(sb.st_size) / (1024.0 * 1024.0);
    std::printf("scan of %lld vertices: %s\n", vertices, file.c_str());
    benchOpen(file, mb, tinyFile);
    benchFrames(file);
  }
  return 0;
}
