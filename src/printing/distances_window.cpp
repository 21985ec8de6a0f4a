#include "printing/distances_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "footview/foot_view.h"
#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "printing/distances.h"
#include "printing/scaling.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace printing {

namespace {

const QColor kProgramBox(255, 192, 192);
const QColor kOperatorBox(255, 224, 192);

// Text boxes start with their own names as text, as designed; the load step clears them.
QLineEdit* makeBox(QWidget* parent, const char* name, double left, double top, const QColor& back) {
  auto* box = new QLineEdit(QString::fromLatin1(name), parent);
  platform::placeControl(box, name, left, top, 855, 285);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Base, back);
  box->setPalette(palette);
  return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, double left,
                  double top, double width) {
  auto* label = new QLabel(caption, parent);
  platform::placeControl(label, name, left, top, width, 255);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Base));
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
  label->setPalette(palette);
  return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, double left,
                        double top, double width, double height) {
  auto* button = new QPushButton(caption, parent);
  platform::placeControl(button, name, left, top, width, height);
  // Enter in an entry box must not apply a half-typed distance.
  button->setAutoDefault(false);
  return button;
}

kernelcad::Model& model() {
  const auto& ref = app::state().ModelRef;
  if (!ref) throw kernelcad::KernelCADError("No model is loaded.");
  return *ref;
}

}  // namespace

DForm::DForm(footview::FootView& foot) : foot_(foot) {
  setWindowTitle(tr("Distances"));
  // The designed 8-point face; the fallback sans-serif is wider, so the labels need the size.
  setFont(platform::designFont(8));
  setFixedSize(platform::twipsToPixelsX(5175), platform::twipsToPixelsY(2160));

  Frame2 = new QGroupBox(tr("Values"), this);
  platform::placeControl(Frame2, "Frame2", 120, 120, 4935, 1455);
  Label1 = makeLabel(Frame2, "Label1", tr("Heel --> Ball"), 240, 240, 1455);
  Label2 = makeLabel(Frame2, "Label2", tr("Heel --> Adjacent"), 240, 480, 1455);
  Label3 = makeLabel(Frame2, "Label3", tr("Ball --> Adjacent"), 240, 720, 1455);
  Text1 = makeBox(Frame2, "Text1", 1680, 240, kProgramBox);
  Text2 = makeBox(Frame2, "Text2", 1680, 480, kProgramBox);
  Text3 = makeBox(Frame2, "Text3", 1680, 720, kProgramBox);
  Label4 = makeLabel(Frame2, "Label4", QStringLiteral(" mm"), 2640, 240, 495);
  Label5 = makeLabel(Frame2, "Label5", QStringLiteral(" mm"), 2640, 480, 495);
  Label6 = makeLabel(Frame2, "Label6", QStringLiteral(" mm"), 2640, 720, 495);
  Text4 = makeBox(Frame2, "Text4", 3120, 240, kOperatorBox);
  Text5 = makeBox(Frame2, "Text5", 3120, 480, kOperatorBox);
  Text6 = makeBox(Frame2, "Text6", 3120, 720, kOperatorBox);
  Command3 = makeButton(Frame2, "Command3", tr("Reset"), 3960, 240, 735, 255);
  Label7 = makeLabel(Frame2, "Label7", tr("Scale Factor"), 2040, 1080, 1095);
  Text7 = makeBox(Frame2, "Text7", 3120, 1080, kProgramBox);
  Command2 = makeButton(this, "Command2", tr("Quit"), 120, 1680, 2415, 375);
  Command7 = makeButton(this, "Command7", tr("Apply"), 2640, 1680, 2415, 375);

  // The program fills these and never reads them back: typing there would only mislead.
  for (QLineEdit* shown : {Text1, Text2, Text3, Text7}) shown->setReadOnly(true);

  // Entry boxes first, then Apply, Quit, Reset, then the boxes the program fills.
  QWidget* const order[] = {Text4,    Text5, Text6, Command7, Command2,
                            Command3, Text1, Text2, Text3,    Text7};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Text4, &QLineEdit::textChanged, this, &DForm::Text4_Change);
  connect(Text5, &QLineEdit::textChanged, this, &DForm::Text5_Change);
  connect(Text6, &QLineEdit::textChanged, this, &DForm::Text6_Change);
  connect(Command7, &QPushButton::clicked, this, &DForm::Command7_Click);
  connect(Command2, &QPushButton::clicked, this, &DForm::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &DForm::Command3_Click);
}

DForm::~DForm() = default;

void DForm::Form_Load() {
  app::AppState& s = app::state();
  for (QLineEdit* box : {Text1, Text2, Text3, Text4, Text5, Text6}) box->setText(QString());
  ScaleFactor = 1.0;
  showScale(QStringLiteral("0.00"));
  s.HeelBallDist = 0;
  s.HeelAdjDist = 0;
  s.BallAdjDist = 0;
  Collect_Geometry();
  showDistances();

  footview::turnCamera(*foot_.view(), {{180.0, 0}});

  Calc_Scale();
}

std::array<QLineEdit*, 3> DForm::entryBoxes() const { return {Text4, Text5, Text6}; }

ScaleChoice DForm::chosenScale() const {
  const app::AppState& s = app::state();
  std::array<double, 3> entered{};
  for (std::size_t i = 0; i < entered.size(); ++i) entered[i] = platform::Val(entryBoxes()[i]->text());
  return Choose_Scale(entered, {s.HeelBallDist, s.HeelAdjDist, s.BallAdjDist});
}

void DForm::Calc_Scale() {
  const QString pairs[] = {tr("Heel --> Ball"), tr("Heel --> Adjacent"), tr("Ball --> Adjacent")};
  const ScaleChoice choice = chosenScale();
  double factor = ScaleFactor;
  if (choice.factor) {
    factor = *choice.factor;
  } else {
    // Two spheres on one spot give no length to compare with: keep the factor there was.
    platform::MsgBox(tr("The measured %1 distance is 0 mm, so the true distance cannot give a "
                        "scale factor. Move the spheres apart first; the scale factor stays %2.")
                         .arg(pairs[static_cast<int>(*choice.pair)],
                              platform::Format(ScaleFactor, QStringLiteral("0.000"))),
                     platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Exclamation,
                     tr("Warning"));
  }
  ScaleFactor = factor;
  showScale(QStringLiteral("0.000"));
}

void DForm::entryChanged() {
  Collect_Geometry();
  showDistances();
  Calc_Scale();
  showScale(QStringLiteral("0.000"));
}

void DForm::Text4_Change() { entryChanged(); }
void DForm::Text5_Change() { entryChanged(); }
void DForm::Text6_Change() { entryChanged(); }

bool DForm::scaleConfirmed() {
  if (Usual_Scale(ScaleFactor)) return true;
  const ScaleChoice choice = chosenScale();
  if (!choice.pair) return true;
  const QLineEdit* box = entryBoxes()[static_cast<std::size_t>(*choice.pair)];
  // After the alignment the foot lies along X, heel at the origin.
  const std::array<double, 6> bounds = model().GetItem(0)->worldBounds();
  const double length = (bounds[3] - bounds[0]) * ScaleFactor;
  const QString question = tr("%1 was read as %2 mm: the foot would be %3 mm long. Apply?")
                               .arg(box->text().trimmed(),
                                    QString::number(platform::Val(box->text()), 'g', 10),
                                    platform::Format(length, QStringLiteral("0")));
  return platform::MsgBox(question, platform::MsgBoxButtons::YesNo,
                          platform::MsgBoxIcon::Question, tr("Scale Factor"),
                          platform::MsgBoxResult::No) == platform::MsgBoxResult::Yes;
}

void DForm::Command7_Click() {
  if (ScaleFactor != 1.0) {
    // No keeps the window open with the entry as it is, to be corrected.
    if (!scaleConfirmed()) return;
    Collect_Geometry();
    Apply_Scale(model(), ScaleFactor);
    foot_.updateModel();
  }
  unloadForm();
}

void DForm::Command2_Click() { unloadForm(); }

void DForm::Command3_Click() {
  for (QLineEdit* box : {Text4, Text5, Text6}) box->setText(QString());
}

void DForm::reject() { unloadForm(); }

void DForm::closeEvent(QCloseEvent* event) {
  unloadForm();
  event->accept();
}

void DForm::showDistances() {
  const app::AppState& s = app::state();
  const QString pattern = QStringLiteral("0.0");
  Text1->setText(platform::Format(s.HeelBallDist, pattern));
  Text2->setText(platform::Format(s.HeelAdjDist, pattern));
  Text3->setText(platform::Format(s.BallAdjDist, pattern));
}

void DForm::showScale(const QString& pattern) {
  Text7->setText(platform::Format(ScaleFactor, pattern));
}

void DForm::unloadForm() {
  app::Forms::unload(this);
  // Also for a window opened outside the registry: hiding ends its modal loop.
  hide();
}

}  // namespace printing
