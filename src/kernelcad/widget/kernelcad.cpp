#include "kernelcad/widget/kernelcad.h"

#include <QVTKOpenGLNativeWidget.h>
#include <vtkCallbackCommand.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkRenderer.h>

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <numbers>
#include <thread>
#include <tuple>
#include <utility>

#include "kernelcad/core/bare_thread.h"
#include "kernelcad/core/file_access.h"
#include "kernelcad/core/trace.h"
#include "kernelcad/render/scene_renderer.h"

namespace kernelcad {

namespace {

// A press and release closer than this many pixels is a click, not a drag.
constexpr int kClickSlop = 3;
// Degrees the view turns per pixel of a left drag.
constexpr double kTurnPerPixel = 0.4;
int progressDelayMs = KernelCAD::kDefaultProgressDelayMs;
// How often the progress window takes the reader's count of bytes.
constexpr int kProgressTickMs = 100;
// A pause in moves this long brings back the full mesh: longer than the gap between clicks on
// a step button or wheel turns, short enough to feel immediate.
constexpr int kSettleMs = 300;

short buttonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

short shiftCode(Qt::KeyboardModifiers modifiers) {
  short code = 0;
  if (modifiers & Qt::ShiftModifier) code |= 1;
  if (modifiers & Qt::ControlModifier) code |= 2;
  if (modifiers & Qt::AltModifier) code |= 4;
  return code;
}

// Whether OpenGL draws on the processor here (Mesa's llvmpipe or softpipe, Windows' own
// renderer): asked once of a context of the kind the views get.
bool softwareOpenGL() {
  static const bool software = [] {
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    context.setShareContext(QOpenGLContext::globalShareContext());
    if (!context.create() || !context.makeCurrent(&surface)) return false;
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = QString::fromLatin1(name ? name : "");
    context.doneCurrent();
    return renderer.contains(QLatin1String("llvmpipe")) ||
           renderer.contains(QLatin1String("softpipe")) ||
           renderer.contains(QLatin1String("Software Rasterizer")) ||
           renderer.contains(QLatin1String("GDI Generic"));
  }();
  return software;
}

}  // namespace

KernelCAD::KernelCAD(QWidget* parent)
    : QWidget(parent),
      model_(std::make_shared<kernelcad::Model>()),
      view_(std::make_shared<kernelcad::View>(model_)) {
  vtkWidget_ = new QVTKOpenGLNativeWidget(this);
  vtkWidget_->setObjectName("KernelCADView");
  vtkNew<vtkGenericOpenGLRenderWindow> window;
  vtkWidget_->setRenderWindow(window);
  // In software every sample of a pixel is drawn: four samples made the first frame of a 2M
  // triangle scan three times slower (1.2 s against 0.4 s) for edges hardly smoother, its
  // triangles being far smaller than a pixel. Graphics hardware keeps them.
  multiSamples_ = softwareOpenGL() ? 0 : window->GetMultiSamples();
  vtkNew<vtkCallbackCommand> traceRender;
  traceRender->SetCallback([](vtkObject*, unsigned long event, void*, void*) {
    Trace(event == vtkCommand::StartEvent ? "draw-start" : "draw-end");
  });
  window->AddObserver(vtkCommand::StartEvent, traceRender);
  window->AddObserver(vtkCommand::EndEvent, traceRender);
  // The picture is drawn in device pixels; text in it (axis names, captions) is sized for the
  // screen's scale, so it reads as large as the window's own text.
  vtkWidget_->setEnableHiDPI(true);
  renderer_ = std::make_unique<SceneRenderer>(model_, view_);
  window->AddRenderer(renderer_->renderer());
  // The control does its own navigation; VTK's interactor styles would fight the scene model.
  if (window->GetInteractor()) window->GetInteractor()->SetInteractorStyle(nullptr);
  vtkWidget_->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(vtkWidget_);
  syncViewport();
  settleTimer_.setSingleShot(true);
  settleTimer_.setInterval(kSettleMs);
  connect(&settleTimer_, &QTimer::timeout, this, &KernelCAD::settle);
  connect(vtkWidget_, &QOpenGLWidget::frameSwapped, this, [this] {
    Trace(model_->GetItemCount() == 0 ? "frame-empty"
          : renderer_->interacting()  ? "frame-stand-in"
                                      : "frame-full");
    renderer_->frameShown();
    if (std::exchange(scanShowing_, false)) emit scanShown();
  });
}

namespace {

// One read of a scan file on a thread of its own, to the mesh with its normals. Shared by the
// load that waits for it and by whoever cancels it; a read started ahead of its load is held
// until that load takes it.
class ScanRead {
 public:
  explicit ScanRead(const QString& path)
      : path(path.toStdString()), file_(stamp(path)), thread_([this] { run(); }) {}
  ~ScanRead() {
    progress.cancel = true;
    join();
  }
  ScanRead(const ScanRead&) = delete;
  ScanRead& operator=(const ScanRead&) = delete;

  // Whether this read is of the file now at `path`, as it is now.
  bool reads(const QString& path) const { return stamp(path) == file_; }
  // Runs `done` on the thread that ends the read (at once when it is over); empty stops that.
  void whenDone(std::function<void()> done) {
    const std::lock_guard lock(mutex_);
    done_ = std::move(done);
    if (finished_ && done_) done_();
  }
  bool finished() const { return finished_; }
  void join() {
    if (thread_.joinable()) thread_.join();
  }

  const std::string path;
  ReadProgress progress;
  ScanFile scan;  // once finished, when the read succeeded
  std::exception_ptr error;

 private:
  void run() {
    try {
      scan = ReadScanFile(path, &progress);
      Trace("read");
      // Here rather than when it is first drawn: the user-interface thread only hands them on.
      // The normals on a second thread while this one orders the triangles; all memory is taken
      // here (see BareThread). A change of unit scales the mesh evenly, which leaves unit
      // normals as they are.
      std::vector<float> normals = NormalsRoom(scan.mesh);
      BareThread normalsThread([&] { VertexNormals(scan.mesh, normals); });
      std::vector<std::int32_t> ordered = TrianglesByLowestCorner(scan.mesh);
      normalsThread.join();
      scan.mesh.triangles = std::move(ordered);
      scan.mesh.normals = std::move(normals);
    } catch (...) {
      error = std::current_exception();
    }
    const std::lock_guard lock(mutex_);
    finished_ = true;
    if (done_) done_();
  }

  // The file's full name, size and time of change: what tells it apart from an edited copy.
  static std::tuple<QString, qint64, QDateTime> stamp(const QString& path) {
    const QFileInfo file(path);
    return {file.absoluteFilePath(), file.size(), file.lastModified()};
  }

  const std::tuple<QString, qint64, QDateTime> file_;  // as it was when the read started
  std::mutex mutex_;
  std::function<void()> done_;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: it starts once everything it uses exists
};

// The read started ahead, if any (readAhead).
std::unique_ptr<ScanRead>& readAheadSlot() {
  static std::unique_ptr<ScanRead> read;
  return read;
}

}  // namespace

// One load in progress: shared by setModelFile and whoever cancels.
struct KernelCAD::PendingLoad {
  // Why the wait for the reader last stopped; anything else stops it too (the program ending).
  enum class Wake { None, Finished, ShowProgress, Cancelled };

  std::unique_ptr<ScanRead> read;
  QEventLoop loop;
  Wake wake = Wake::None;

  void stop(Wake why) {
    wake = why;
    loop.quit();
  }
};

void KernelCAD::readAhead(const QString& path) {
  auto& slot = readAheadSlot();
  if (slot && slot->reads(path)) return;
  slot.reset();  // a read no load took: its memory is not held any longer
  slot = std::make_unique<ScanRead>(path);
}

KernelCAD::~KernelCAD() {
  // A load still waiting on this control stops and finds it gone.
  cancelLoad();
  // Drop the renderer from the window before either goes, so VTK releases its graphics
  // resources while the OpenGL context still exists.
  if (auto* window = vtkWidget_->renderWindow()) window->RemoveRenderer(renderer_->renderer());
}

void KernelCAD::setProgressDelay(int ms) { progressDelayMs = ms; }

void KernelCAD::cancelLoad() {
  if (!load_) return;
  load_->read->progress.cancel = true;
  load_->stop(PendingLoad::Wake::Cancelled);
}

ScanFile KernelCAD::readScan(const QString& path) {
  using Wake = PendingLoad::Wake;
  PendingLoad load;
  // The read started ahead for this very file, or a new one.
  auto& ahead = readAheadSlot();
  if (ahead && ahead->reads(path)) load.read = std::move(ahead);
  ahead.reset();
  if (!load.read) load.read = std::make_unique<ScanRead>(path);
  ScanRead& read = *load.read;
  read.whenDone([&load] {
    QMetaObject::invokeMethod(
        &load.loop, [&load] { load.stop(Wake::Finished); }, Qt::QueuedConnection);
  });
  load_ = &load;
  const QPointer<KernelCAD> self(this);

  // While it waits, this thread faults in heap for the scan's first frame: its graphics
  // buffers and binned triangles take about the file's size again. In slow starts on a virtual
  // machine that memory took half of a 2M-triangle scan's first frame (878 ms at worst of 15
  // starts, 571 ms warmed); it is taken anyway once the frame is drawn.
  constexpr qint64 kMostWarmed = qint64{256} << 20;
  files::HeapWarmer warmer(static_cast<std::size_t>(std::min(QFileInfo(path).size(), kMostWarmed)));
  QTimer warm;
  connect(&warm, &QTimer::timeout, &warm, [&warmer, &warm] {
    if (!warmer.Step()) warm.stop();
  });
  warm.start(0);
  QTimer showTimer;
  showTimer.setSingleShot(true);
  connect(&showTimer, &QTimer::timeout, &load.loop, [&load] { load.stop(Wake::ShowProgress); });
  showTimer.start(progressDelayMs);
  std::unique_ptr<QProgressDialog> dialog;
  QTimer tick;
  while (!read.finished()) {
    // Without the modal progress window the operator's clicks and keys wait until the load is
    // over: the windows repaint, but nothing else starts on a scene about to change.
    const bool modal = dialog && dialog->isVisible();
    load.wake = Wake::None;
    load.loop.exec(modal ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if (!self || load.wake == Wake::None) {
      // The control went, or the program is ending: the reader is told to stop.
      read.progress.cancel = true;
      break;
    }
    if (load.wake == Wake::ShowProgress && !read.finished() && !read.progress.cancel) {
      dialog = std::make_unique<QProgressDialog>(
          tr("Loading %1...").arg(QFileInfo(path).fileName()), tr("Cancel"), 0, 100);
      dialog->setWindowTitle(tr("Loading"));
      dialog->setWindowModality(Qt::ApplicationModal);
      dialog->setAutoClose(false);
      dialog->setAutoReset(false);
      connect(dialog.get(), &QProgressDialog::canceled, &load.loop, [&load, &read, &tick] {
        // A modal progress window handles events while it takes a value: not once it is gone.
        tick.stop();
        read.progress.cancel = true;
        load.stop(Wake::Cancelled);
      });
      connect(&tick, &QTimer::timeout, dialog.get(), [&read, d = dialog.get()] {
        const auto total = read.progress.total.load();
        if (total > 0) d->setValue(static_cast<int>(100 * read.progress.done.load() / total));
      });
      tick.start(kProgressTickMs);
      dialog->show();
    }
  }
  tick.stop();
  dialog.reset();
  read.whenDone({});  // `load` goes with this call
  read.join();
  if (self) {
    load_ = nullptr;
    emit loadEnded();
  }
  if (read.progress.cancel) throw LoadCancelled("Loading " + read.path + " was cancelled.");
  if (read.error) {
    try {
      std::rethrow_exception(read.error);
    } catch (const ScanError& e) {
      throw KernelCADError("Cannot load " + read.path + ": " + e.what());
    }
  }
  return std::move(read.scan);
}

void KernelCAD::setModelFile(const QString& path, const UnitOfScan& unitOf) {
  if (load_) {
    throw KernelCADError("Cannot load " + path.toStdString() + " while " + load_->read->path +
                         " is still loading.");
  }
  const QPointer<KernelCAD> self(this);
  ScanFile scan = readScan(path);
  if (unitOf) {
    const LengthUnit unit = unitOf(scan.mesh);
    // The caller may have asked the operator, and the control may have gone meanwhile.
    if (!self) throw LoadCancelled("Loading " + path.toStdString() + " was cancelled.");
    ConvertToMillimetres(scan.mesh, unit);
  }
  model_->setScan(std::make_shared<const Mesh>(std::move(scan.mesh)));
  modelFile_ = path;
  scanShowing_ = true;
  syncViewport();
  view_->fit();
  UpdateModel();
}

void KernelCAD::setShowAxes(bool show) {
  showAxes_ = show;
  renderer_->setShowAxes(show);
}

void KernelCAD::UpdateModel() {
  settleTimer_.stop();
  renderer_->rebuild(shaded_);  // new actors draw the full mesh
  render();
  emit modelUpdated();
}

void KernelCAD::Redraw() {
  renderer_->sync();
  renderer_->setInteracting(true);
  render();
  // A drag ends with the release; other moves when none follows for a moment after drawing.
  if (renderer_->interacting() && !dragging_) settleTimer_.start();
}

void KernelCAD::settle() {
  settleTimer_.stop();
  if (renderer_->setInteracting(false)) render();
}

void KernelCAD::render() {
  // While the stand-in shows, multisampling is off too: in software it costs more than the
  // triangles. The picture at rest keeps it.
  vtkRenderWindow* window = vtkWidget_->renderWindow();
  window->SetMultiSamples(renderer_->interacting() ? 0 : multiSamples_);
  window->Render();
  vtkWidget_->update();
}

double KernelCAD::twipsPerPixelX() const { return 1440.0 / logicalDpiX(); }
double KernelCAD::twipsPerPixelY() const { return 1440.0 / logicalDpiY(); }

QPointF KernelCAD::twipsToViewPixels(double x, double y) const {
  const qreal ratio = vtkWidget_->devicePixelRatioF();
  return {x / twipsPerPixelX() * ratio, y / twipsPerPixelY() * ratio};
}

void KernelCAD::syncViewport() {
  const qreal ratio = vtkWidget_->devicePixelRatioF();
  view_->setViewportSize(static_cast<int>(std::lround(vtkWidget_->width() * ratio)),
                         static_cast<int>(std::lround(vtkWidget_->height() * ratio)));
}

void KernelCAD::zoomView(double factor) {
  try {
    view_->zoomBy(factor);
  } catch (const KernelCADError&) {
    // The mouse has reached the zoom limit: the view simply stops there.
  }
}

void KernelCAD::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  syncViewport();
  renderer_->sync();
}

bool KernelCAD::eventFilter(QObject* watched, QEvent* event) {
  if (watched != vtkWidget_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Resize:
      syncViewport();
      renderer_->sync();
      return false;
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      pressButton_ = e->button();
      pressPos_ = lastPos_ = e->pos();
      dragging_ = false;
      return true;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (pressButton_ == Qt::NoButton) return true;
      if (!dragging_ && (e->pos() - pressPos_).manhattanLength() < kClickSlop) return true;
      dragging_ = true;
      const QPoint d = e->pos() - lastPos_;
      lastPos_ = e->pos();
      auto frame = view_->FindObject("EyeFrame");
      const Eigen::Matrix3d m = frame->orientation();
      if (pressButton_ == Qt::LeftButton) {
        // Turn about the camera's own up and right axes, so the model follows the hand.
        const Eigen::AngleAxisd yaw(-d.x() * kTurnPerPixel * std::numbers::pi / 180.0, m.col(1));
        const Eigen::AngleAxisd pitch(-d.y() * kTurnPerPixel * std::numbers::pi / 180.0, m.col(0));
        frame->setOrientation((pitch * yaw).toRotationMatrix() * m);
      } else if (pressButton_ == Qt::RightButton) {
        zoomView(std::pow(1.01, -d.y()));
      } else if (pressButton_ == Qt::MiddleButton) {
        const double mmPerPixel = 2.0 * view_->halfHeight() / std::max(1, vtkWidget_->height());
        const Vec3 shift = m.col(0) * (-d.x() * mmPerPixel) + m.col(1) * (d.y() * mmPerPixel);
        const Vec3 p = frame->GetPosition() + shift;
        frame->SetPosition(p.x(), p.y(), p.z());
      }
      Redraw();
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      const bool click = !dragging_ && e->button() == pressButton_;
      pressButton_ = Qt::NoButton;
      if (dragging_) {
        dragging_ = false;
        settle();
      }
      if (click && !renderer_->pickingReady()) {
        // The locator for this scan is still being built: the click waits for it, visibly,
        // rather than picking slowly or wrongly.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        renderer_->waitForPicking();
        QApplication::restoreOverrideCursor();
      }
      if (click) {
        // The exact position: on a scaled screen one window pixel spans several view pixels.
        emit MouseEvent(buttonCode(e->button()), shiftCode(e->modifiers()),
                        static_cast<float>(e->localPos().x() * twipsPerPixelX()),
                        static_cast<float>(e->localPos().y() * twipsPerPixelY()));
      }
      return true;
    }
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      zoomView(std::pow(1.1, e->angleDelta().y() / 120.0));
      Redraw();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace kernelcad
