#include "measure/suggestion.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "footview/foot_view.h"
#include "kernelcad/core/scene.h"
#include "kernelcad/core/trace.h"
#include "state/app_state.h"
#include "state/status_line.h"

namespace measure {

namespace {

// One scan and side being suggested on. A child of the foot window, so it goes with the window;
// its thread is joined first, which is brief: a suggestion takes a fraction of a second.
class PendingSuggestion : public QObject {
  Q_OBJECT

 public:
  PendingSuggestion(QObject& window, std::shared_ptr<const kernelcad::Mesh> mesh,
                    footview::Side side)
      : QObject(&window), mesh_(std::move(mesh)), side_(side) {
    worker_ = std::jthread([this] {
      try {
        result_ = SuggestReferencePoints(*mesh_, side_);
      } catch (const std::exception& e) {
        result_.reason = e.what();
      }
      done_ = true;
      kernelcad::Trace("suggested");
      QMetaObject::invokeMethod(this, &PendingSuggestion::finished, Qt::QueuedConnection);
    });
  }

  bool isFor(const kernelcad::Mesh* mesh, footview::Side side) const {
    return mesh_.get() == mesh && side_ == side;
  }
  bool done() const { return done_; }
  // Only once done.
  const Suggestion& result() const { return result_; }

 signals:
  void finished();

 private:
  std::shared_ptr<const kernelcad::Mesh> mesh_;
  footview::Side side_;
  Suggestion result_;
  std::atomic<bool> done_{false};
  // Last: joined before the members it works on go.
  std::jthread worker_;
};

// The suggestion under way for what the view shows, started if there is none; null (with the
// reason) when there is no scan or no side.
PendingSuggestion* pendingFor(footview::FootView& foot, std::string& reason) {
  const auto model = foot.model();
  const app::AppState& s = app::state();
  if (!model || model->GetItemCount() == 0 || !model->GetItem(0)->mesh()) {
    reason = "No foot is loaded.";
    return nullptr;
  }
  if (!s.footChosen()) {
    reason = "No foot side is chosen.";
    return nullptr;
  }
  const auto side =
      s.FootSide == QLatin1String("Left") ? footview::Side::Left : footview::Side::Right;
  const std::shared_ptr<const kernelcad::Mesh>& mesh = model->GetItem(0)->mesh();
  QWidget& window = foot.window();
  auto* pending = window.findChild<PendingSuggestion*>(QString(), Qt::FindDirectChildrenOnly);
  if (pending && pending->isFor(mesh.get(), side)) return pending;
  delete pending;
  return new PendingSuggestion(window, mesh, side);
}

}  // namespace

void startSuggestion(footview::FootView& foot) {
  std::string reason;
  pendingFor(foot, reason);
}

std::optional<Suggestion> awaitSuggestion(footview::FootView& foot) {
  std::string reason;
  const QPointer<PendingSuggestion> pending = pendingFor(foot, reason);
  if (!pending) {
    Suggestion none;
    none.reason = reason;
    return none;
  }
  if (!pending->done()) {
    app::Show_Status(QStringLiteral("Finding the heel, ball and adjacent points..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop wait;
    QObject::connect(pending, &PendingSuggestion::finished, &wait, &QEventLoop::quit);
    QObject::connect(pending, &QObject::destroyed, &wait, &QEventLoop::quit);
    // The windows repaint; clicks and keys wait the moment it takes.
    if (!pending->done()) wait.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
    if (!pending) return std::nullopt;
  }
  return pending->result();
}

}  // namespace measure

#include "suggestion.moc"
