#include "app/side_dialog.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "platform/runtime.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace app {

SelectForm::SelectForm() {
  setWindowTitle(tr("Select Foot"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFont(platform::designFont(12));

  Option1 = new QRadioButton(tr("Left Foot"), this);
  platform::placeControl(Option1, "Option1", 120, 120, 1455, 495);
  Option2 = new QRadioButton(tr("Right Foot"), this);
  platform::placeControl(Option2, "Option2", 1680, 120, 1575, 495);
  Command1 = new QPushButton(tr("Accept"), this);
  platform::placeControl(Command1, "Command1", 120, 720, 3135, 495);
  // Enter accepts, wherever the focus is in the dialog.
  Command1->setDefault(true);
  setFixedSize(platform::twipsToPixelsX(3390), platform::twipsToPixelsY(1335));

  connect(Command1, &QPushButton::clicked, this, &SelectForm::Command1_Click);
}

void SelectForm::Form_Load() {
  Option1->setChecked(true);
  Option2->setChecked(false);
  // QUARNEL_SIDE=Left|Right answers as an operator would once the question shows: the open
  // benchmark times the program from its start to the foot on screen, without a person.
  const QString side = qEnvironmentVariable("QUARNEL_SIDE");
  if (side == QStringLiteral("Left") || side == QStringLiteral("Right")) {
    Option2->setChecked(side == QStringLiteral("Right"));
    QTimer::singleShot(0, this, &SelectForm::Command1_Click);
  }
}

void SelectForm::Command1_Click() { takeSideAndUnload(); }
void SelectForm::Form_QueryUnload() { takeSideAndUnload(); }
void SelectForm::reject() { Form_QueryUnload(); }

void SelectForm::takeSideAndUnload() {
  state().FootSide = Option1->isChecked() ? QStringLiteral("Left") : QStringLiteral("Right");
  // done() first, so exec() returns with the result before the registry hides the window.
  done(QDialog::Accepted);
  Forms::unload(this);
}

}  // namespace app
