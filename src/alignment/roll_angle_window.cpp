#include "alignment/roll_angle_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/runtime.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace alignment {

AlignForm::AlignForm() {
  setWindowTitle(tr("Foot Alignment"));
  setFont(platform::designFont(9.75));

  Label1 = new QLabel(this);
  platform::placeControl(Label1, "Label1", 120, 120, 1095, 375);
  Label1->setFont(platform::designFont(9.75, true));
  Text1 = new QLineEdit(this);
  platform::placeControl(Text1, "Text1", 1320, 120, 975, 315);
  Label2 = new QLabel(tr("deg"), this);
  platform::placeControl(Label2, "Label2", 2400, 120, 495, 375);
  Command1 = new QPushButton(tr("Accept"), this);
  platform::placeControl(Command1, "Command1", 3000, 120, 1815, 375);
  // Enter in the text box accepts, as the one button of the dialog.
  Command1->setDefault(true);
  setFixedSize(platform::twipsToPixelsX(4920), platform::twipsToPixelsY(600));

  connect(Command1, &QPushButton::clicked, this, &AlignForm::Command1_Click);
}

AlignForm::~AlignForm() = default;

void AlignForm::Form_Load() {
  Text1->setText(platform::Format(app::state().AlignRollAngle, QStringLiteral("0.0")));
}

void AlignForm::Command1_Click() {
  app::state().AlignRollAngle = platform::Val(Text1->text());
  unloadForm();
}

void AlignForm::Form_QueryUnload() { unloadForm(); }

void AlignForm::reject() { Form_QueryUnload(); }

void AlignForm::closeEvent(QCloseEvent* event) {
  Form_QueryUnload();
  event->accept();
}

void AlignForm::unloadForm() {
  app::Forms::unload(this);
  // Also for a window opened outside the registry: hiding ends its modal loop.
  hide();
}

}  // namespace alignment
