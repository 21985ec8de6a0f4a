#include "alignment/alignflow.h"

#include <QLabel>
#include <QToolBar>

#include "alignment/alignform.h"
#include "state/appstate.h"
#include "state/forms.h"
#include "state/status.h"
#include "platform/msgbox.h"
#include "printing/dform.h"
#include "view/form1.h"

namespace alignment {

namespace {

void keepItems(const FootItems& items) {
  app::AppState& s = app::state();
  s.FootItem = items.foot;
  s.HeelItem = items.heel;
  s.BallItem = items.ball;
  s.AdjItem = items.adjacent;
}

// Steps 2 to 6 of the command: false when the alignment could not go on, after telling why and
// putting the items back.
bool alignAndRoll(view::Form1& form, Axis axis, Side side) {
  app::AppState& s = app::state();
  kernelcad::KernelCAD& control = *form.KernelCAD1;
  const Scene scene{control.Model(), control.View(), [&control] { control.Redraw(); }};
  const PlacementSnapshot before(*scene.model);
  try {
    // Without the three spheres there is nothing to align: say so before asking for a roll.
    Take_Foot_Items(*scene.model);

    s.AlignRollAngle = 0;
    AlignForm& dialog = app::Forms::get<AlignForm>();
    dialog.Label1->setText(axis == Axis::Lateral ? QStringLiteral("Lateral")
                                                 : QStringLiteral("Medial"));
    dialog.exec();

    ReferencePoints points{app::point(s.HeelX, s.HeelY, s.HeelZ),
                           app::point(s.BallX, s.BallY, s.BallZ),
                           app::point(s.AdjX, s.AdjY, s.AdjZ)};
    FootItems items;
    Align_And_Roll(scene, axis, side, s.AlignRollAngle, points, items);
    app::setPoint(s.BallX, s.BallY, s.BallZ, points.ball);
    app::setPoint(s.AdjX, s.AdjY, s.AdjZ, points.adjacent);
    keepItems(items);
    return true;
  } catch (const AlignmentError& e) {
    before.restore();
    control.Redraw();
    platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, QStringLiteral("Foot Alignment"));
    return false;
  }
}

}  // namespace

void Align_Foot(view::Form1& form, Axis axis) {
  const QString& footSide = app::state().FootSide;
  if (footSide != QLatin1String("Left") && footSide != QLatin1String("Right")) {
    platform::MsgBox(QStringLiteral("No Foot Selected"), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, QStringLiteral("Error"));
  } else if (alignAndRoll(form, axis,
                          footSide == QLatin1String("Left") ? Side::Left : Side::Right)) {
    app::Forms::get<printing::DForm>().exec();
    form.Create_Sheet();
    form.Toolbar2->setEnabled(true);
    form.Toolbar2->setVisible(true);
  }
  form.Toolbar1->setEnabled(false);
  form.Toolbar1->setVisible(false);
  app::Show_Status(QStringLiteral("Ready"));
}

}  // namespace alignment
