#include "alignment/reference_toolbar.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <array>

#include "alignment/align_command.h"
#include "footview/foot_view.h"
#include "kernelcad/widget/kernelcad.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "state/app_state.h"
#include "state/status_line.h"
#include "state/window_registry.h"

namespace alignment {

namespace {

struct ButtonText {
  const char* caption;  // as designed, trailing blanks included
  const char* tooltip;
};

constexpr std::array<ButtonText, 10> kButtons{{
    {"Place Points ", "Place the 3 Point Spheres"},
    {"Place Heel  ", "Place the Heel Point Sphere"},
    {"Place Ball  ", "Place the Ball Point Sphere"},
    {"Place Adjacent ", "Place the Adjacent Point Sphere"},
    {"Move Heel  ", "Move the Heel Point Sphere"},
    {"Move Ball  ", "Move the Ball Point Sphere"},
    {"Move Adjacent ", "Move the Adjacent Point Sphere"},
    {"Align Lateral ", "Align to the Heel --> Ball Axis"},
    {"Align Medial ", "Align to the Heel --> Adjacent Axis"},
    {"Quit  ", "Quit"},
}};

void armPlace(bool heel, bool ball, bool adjacent) {
  app::AppState& s = app::state();
  s.PlaceHeelArmed = heel;
  s.PlaceBallArmed = ball;
  s.PlaceAdjacentArmed = adjacent;
}

void armMove(bool heel, bool ball, bool adjacent) {
  app::AppState& s = app::state();
  s.MoveHeelArmed = heel;
  s.MoveBallArmed = ball;
  s.MoveAdjacentArmed = adjacent;
}

// The guided sequence: heel, then ball, each waited for while other events run, then the
// adjacent point is armed and left to the next click.
void placePoints(const QPointer<QWidget>& window) {
  app::AppState& s = app::state();
  // Every pick that ends a wait comes from the foot view; once that window is closed (it
  // leaves the registry at once and is deleted soon after) nothing can end the wait, so the
  // sequence is abandoned with its flag still armed, as any armed flag survives the window.
  const auto viewOpen = [&] { return window && app::Forms::isLoaded(window.data()); };
  const auto waitWhile = [&](const bool& armed) {
    while (armed && viewOpen()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return viewOpen();
  };

  app::Show_Status(QStringLiteral("Place Heel Point"));
  armPlace(true, false, false);
  if (!waitWhile(s.PlaceHeelArmed)) return;
  app::Show_Status(QStringLiteral("Place Ball Point"));
  armPlace(false, true, false);
  if (!waitWhile(s.PlaceBallArmed)) return;
  app::Show_Status(QStringLiteral("Place Adjacent Point"));
  armPlace(false, false, true);
}

// Blanks only, as the captions were padded with blanks.
QString trimBlanks(const QString& text) {
  int first = 0;
  int last = static_cast<int>(text.size());
  while (first < last && text[first] == QLatin1Char(' ')) ++first;
  while (last > first && text[last - 1] == QLatin1Char(' ')) --last;
  return text.mid(first, last - first);
}

}  // namespace

void buildToolbar1(QToolBar& toolbar) {
  toolbar.setToolButtonStyle(Qt::ToolButtonTextOnly);
  int number = 1;
  for (const ButtonText& text : kButtons) {
    QAction* button = toolbar.addAction(QString::fromLatin1(text.caption));
    button->setObjectName(QStringLiteral("Toolbar1Button%1").arg(number++));
    button->setToolTip(QString::fromLatin1(text.tooltip));
    if (QWidget* widget = toolbar.widgetForAction(button))
      widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
}

QString buttonKey(const QAction& button) { return trimBlanks(button.text()); }

void Clean_Up_Mesh(footview::FootView& foot) {
  kernelcad::Model& model = *foot.model();
  const long n = model.GetItemCount();
  if (n >= 2) {
    platform::MsgBox(QStringLiteral("Count: ") + QString::number(n));
    // Each removal closes the gap, so removing item 1 n - 1 times leaves only the mesh.
    for (long i = 1; i < n; ++i) model.RemoveItem(1);
  }
  foot.updateModel();
}

void mnuAlign_Click(footview::FootView& foot) {
  Clean_Up_Mesh(foot);
  app::Show_Status(QStringLiteral("Select an Option..."));
  foot.showToolbar(footview::Toolbar::Reference, true);
}

void Toolbar1_ButtonClick(footview::FootView& foot, const QAction& button) {
  const QString key = buttonKey(button);
  const auto arm = [](const char* status, void (*set)(bool, bool, bool), bool h, bool b, bool a) {
    app::Show_Status(QString::fromLatin1(status));
    set(h, b, a);
  };
  if (key == QLatin1String("Place Points")) {
    // The sequence waits for clicks while events run. Started from the event loop instead of
    // inside the button's own signal, so closing the foot view during a wait cannot delete the
    // button while its click is still on the stack.
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [window = QPointer<QWidget>(&foot.window())] { placePoints(window); });
  } else if (key == QLatin1String("Place Heel")) {
    arm("Place Heel Point", armPlace, true, false, false);
  } else if (key == QLatin1String("Place Ball")) {
    arm("Place Ball Point", armPlace, false, true, false);
  } else if (key == QLatin1String("Place Adjacent")) {
    arm("Place Adjacent Point", armPlace, false, false, true);
  } else if (key == QLatin1String("Move Heel")) {
    arm("Move Heel Point", armMove, true, false, false);
  } else if (key == QLatin1String("Move Ball")) {
    arm("Move Ball Point", armMove, false, true, false);
  } else if (key == QLatin1String("Move Adjacent")) {
    arm("Move Adjacent Point", armMove, false, false, true);
  } else if (key == QLatin1String("Align Lateral")) {
    Align_Foot(foot, Axis::Lateral);
  } else if (key == QLatin1String("Align Medial")) {
    Align_Foot(foot, Axis::Medial);
  } else if (key == QLatin1String("Quit")) {
    foot.showToolbar(footview::Toolbar::Reference, false);
    app::Show_Status(QStringLiteral("Ready"));
  }
}

void KernelCAD1_MouseEvent(kernelcad::KernelCAD& control, short /*Button*/, short /*Shift*/,
                           float X, float Y) {
  const QPointF at = control.twipsToViewPixels(X, Y);
  const std::int16_t px = platform::CInt(at.x());
  const std::int16_t py = platform::CInt(at.y());
  app::AppState& s = app::state();

  struct Point {
    double *x, *y, *z;
    const char* name;
    std::int16_t item;
  };
  const std::array<Point, 3> points{{
      {&s.HeelX, &s.HeelY, &s.HeelZ, "HeelRef", 1},
      {&s.BallX, &s.BallY, &s.BallZ, "BallRef", 2},
      {&s.AdjX, &s.AdjY, &s.AdjZ, "AdjRef", 3},
  }};
  const std::array<bool*, 3> place{&s.PlaceHeelArmed, &s.PlaceBallArmed, &s.PlaceAdjacentArmed};
  const std::array<bool*, 3> move{&s.MoveHeelArmed, &s.MoveBallArmed, &s.MoveAdjacentArmed};

  const auto pick = [&] {
    kernelcad::Vec3 p(0, 0, 0);
    control.View()->PickPoint(px, py, p);
    s.PickX = p.x();
    s.PickY = p.y();
    s.PickZ = p.z();
    return p;
  };

  bool acted = false;
  for (std::size_t i = 0; i < 3 && !acted; ++i) {
    if (!*place[i]) continue;
    const Point& point = points[i];
    const kernelcad::Vec3 p = pick();
    *point.x = p.x();
    *point.y = p.y();
    *point.z = p.z();
    Draw_Sphere(*control.Model(), *point.x, *point.y, *point.z, point.name);
    *place[i] = false;
    acted = true;
  }
  for (std::size_t i = 0; i < 3 && !acted; ++i) {
    if (!*move[i]) continue;
    const Point& point = points[i];
    const kernelcad::Vec3 p = pick();
    const double dx = p.x() - *point.x;
    const double dy = p.y() - *point.y;
    const double dz = p.z() - *point.z;
    Move_Sphere(*control.Model(), point.item, dx, dy, dz);
    *point.x = p.x();
    *point.y = p.y();
    *point.z = p.z();
    *move[i] = false;
    acted = true;
  }
  control.UpdateModel();
}

}  // namespace alignment
