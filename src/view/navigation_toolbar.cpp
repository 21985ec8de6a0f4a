#include "view/navigation_toolbar.h"

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QToolBar>
#include <array>
#include <memory>

#include "alignment/reference_toolbar.h"
#include "kernelcad/core/scene.h"
#include "state/app_state.h"
#include "view/foot_view_window.h"

namespace view {

namespace {

struct ButtonText {
  const char* caption;  // null for a spacer
  const char* tooltip;
  QStyle::StandardPixmap picture;
};

// Twelve entries: two spacers part the turns from the shifts, one the shifts from the commands.
constexpr std::array<ButtonText, 12> kButtons{{
    {"Rot L", "Rotate Left", QStyle::SP_BrowserReload},
    {"Rot R", "Rotate Right", QStyle::SP_BrowserReload},
    {nullptr, nullptr, QStyle::SP_CustomBase},
    {nullptr, nullptr, QStyle::SP_CustomBase},
    {"Left", "Move Left", QStyle::SP_ArrowLeft},
    {"Right", "Move Right", QStyle::SP_ArrowRight},
    {"Up", "Move Up", QStyle::SP_ArrowUp},
    {"Down", "Move Down", QStyle::SP_ArrowDown},
    {nullptr, nullptr, QStyle::SP_CustomBase},
    {"PRINT", "Print the Foot", QStyle::SP_DialogSaveButton},
    {"Close", "Close Toolbar", QStyle::SP_DialogCloseButton},
    {"Parameters", nullptr, QStyle::SP_FileDialogDetailedView},
}};

}  // namespace

void buildToolbar2(QToolBar& toolbar) {
  toolbar.setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  QStyle* style = QApplication::style();
  int number = 1;
  for (const ButtonText& text : kButtons) {
    if (!text.caption) {
      toolbar.addSeparator()->setObjectName(QStringLiteral("Toolbar2Spacer%1").arg(number++));
      continue;
    }
    QAction* button =
        toolbar.addAction(style->standardIcon(text.picture), QString::fromLatin1(text.caption));
    button->setObjectName(QStringLiteral("Toolbar2Button%1").arg(number++));
    if (text.tooltip) button->setToolTip(QString::fromLatin1(text.tooltip));
  }
}

void Toolbar2_ButtonClick(Form1& form, const QAction& button) {
  const QString key = alignment::buttonKey(button);
  app::AppState& s = app::state();
  s.MoveStep = 2.0;
  s.TurnStep = 2.0;
  const std::array<std::shared_ptr<kernelcad::Item>, 4> items{s.FootItem, s.HeelItem, s.BallItem,
                                                              s.AdjItem};
  const auto shift = [&items](double dx, double dy) {
    for (const auto& item : items) {
      if (!item) throw kernelcad::KernelCADError("The foot has not been aligned yet.");
      item->Translate(dx, dy, 0.0);
    }
  };
  const auto turn = [&items](double angle) {
    for (const auto& item : items) {
      if (!item) throw kernelcad::KernelCADError("The foot has not been aligned yet.");
      item->Rotate(angle, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
    }
  };

  if (key == QLatin1String("Left")) {
    shift(-s.MoveStep, 0);
  } else if (key == QLatin1String("Right")) {
    shift(s.MoveStep, 0);
  } else if (key == QLatin1String("Up")) {
    shift(0, -s.MoveStep);
  } else if (key == QLatin1String("Down")) {
    shift(0, s.MoveStep);
  } else if (key == QLatin1String("Rot L")) {
    turn(-s.TurnStep);
  } else if (key == QLatin1String("Rot R")) {
    turn(s.TurnStep);
  } else if (key == QLatin1String("PRINT")) {
    form.Print_FullSize();
    form.showToolbar(footview::Toolbar::Navigation, false);
  } else if (key == QLatin1String("Close")) {
    form.showToolbar(footview::Toolbar::Navigation, false);
  }
  form.redraw();
}

}  // namespace view
