#include "alignment/align_command.h"

#include <QLabel>

#include "alignment/roll_angle_window.h"
#include "footview/foot_view.h"
#include "platform/msgbox.h"
#include "printing/a4_sheet.h"
#include "printing/distances_window.h"
#include "state/app_state.h"
#include "state/status_line.h"
#include "state/window_registry.h"

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
bool alignAndRoll(footview::FootView& foot, Axis axis, Side side) {
  app::AppState& s = app::state();
  const Scene scene{foot.model(), foot.view(), [&foot] { foot.redraw(); }};
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
    foot.redraw();
    platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, QStringLiteral("Foot Alignment"));
    return false;
  }
}

}  // namespace

void Align_Foot(footview::FootView& foot, Axis axis) {
  const app::AppState& s = app::state();
  if (!s.footChosen()) {
    platform::MsgBox(QStringLiteral("No Foot Selected"), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, QStringLiteral("Error"));
  } else if (alignAndRoll(foot, axis,
                          s.FootSide == QLatin1String("Left") ? Side::Left : Side::Right)) {
    app::Forms::get<printing::DForm>(foot).exec();
    printing::Create_Sheet(foot);
    foot.showToolbar(footview::Toolbar::Navigation, true);
  }
  foot.showToolbar(footview::Toolbar::Reference, false);
  app::Show_Status(QStringLiteral("Ready"));
}

}  // namespace alignment
