#include "view/foot_view_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "alignment/align_command.h"
#include "alignment/reference_toolbar.h"
#include "measure/measurements_window.h"
#include "measure/suggestion.h"
#include "platform/runtime.h"
#include "printing/a4_sheet.h"
#include "printing/aligned_export_command.h"
#include "printing/full_size_print.h"
#include "printing/print_commands.h"
#include "printing/truesize_commands.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/navigation_toolbar.h"

namespace view {

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

Form1::Form1() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);

  KernelCAD1 = new kernelcad::KernelCAD(client);
  platform::placeControl(KernelCAD1, "KernelCAD1", 120, 120, 11895, 8055);
  Toolbar1 = new QToolBar(client);
  Toolbar1->setOrientation(Qt::Vertical);
  platform::placeControl(Toolbar1, "Toolbar1", 0, 120, 1695, 4710);
  Toolbar2 = new QToolBar(client);
  platform::placeControl(Toolbar2, "Toolbar2", 0, 8100, 12135, 870);
  Picture1 = new QLabel(client);
  Picture1->setFrameShape(QFrame::Box);
  Picture1->setFrameShadow(QFrame::Sunken);
  platform::placeControl(Picture1, "Picture1", 10560, 7080, 1335, 975);
  // The 3D view sits above the toolbars it overlaps until they are shown.
  KernelCAD1->lower();
  alignment::buildToolbar1(*Toolbar1);
  connect(Toolbar1, &QToolBar::actionTriggered, this, &Form1::Toolbar1_ButtonClick);
  buildToolbar2(*Toolbar2);
  connect(Toolbar2, &QToolBar::actionTriggered, this, &Form1::Toolbar2_ButtonClick);
  connect(KernelCAD1, &kernelcad::KernelCAD::MouseEvent, this, &Form1::KernelCAD1_MouseEvent);
  // A new scan gets its suggested points worked out as soon as it is on screen; the
  // measurements follow every placed or moved sphere and every scale applied.
  // The picture box's last printout was of the scan before.
  connect(KernelCAD1, &kernelcad::KernelCAD::scanShown, this, [this] {
    Picture1->clear();
    measure::startSuggestion(*this);
  });
  connect(KernelCAD1, &kernelcad::KernelCAD::modelUpdated, this, &measure::refreshMeasurements);
  connect(
      KernelCAD1, &kernelcad::KernelCAD::loadEnded, this,
      [this] {
        if (std::exchange(closeAfterLoad_, false)) close();
      },
      Qt::QueuedConnection);

  buildMenus();
  statusText = new QLabel(statusBar());
  statusText->setObjectName(QStringLiteral("statusText"));
  statusBar()->addWidget(statusText, 1);
  statusBar()->setSizeGripEnabled(false);
  resize(platform::twipsToPixelsX(12135), platform::twipsToPixelsY(8970) +
                                              menuBar()->sizeHint().height() +
                                              statusBar()->sizeHint().height());
}

Form1::~Form1() = default;

void Form1::buildMenus() {
  QMenuBar* bar = menuBar();
  mnuFiles = bar->addMenu(tr("Files"));
  mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
  mnuPrint1 = addItem(mnuFiles, "mnuPrint1", tr("Print Screen"));
  sep0 = mnuFiles->addSeparator();
  sep0->setObjectName(QStringLiteral("sep0"));
  mnuClose = addItem(mnuFiles, "mnuClose", tr("Close"));

  mnuAlign = bar->addAction(tr("Align Foot"));
  mnuAlign->setObjectName(QStringLiteral("mnuAlign"));

  mnuView = bar->addMenu(tr("View"));
  mnuView->setObjectName(QStringLiteral("mnuView"));
  mnuView4 = addItem(mnuView, "mnuView4", tr("Top"));
  mnuView2 = addItem(mnuView, "mnuView2", tr("Bottom"));
  mnuView3 = addItem(mnuView, "mnuView3", tr("Left"));
  mnuView1 = addItem(mnuView, "mnuView1", tr("Right"));
  mnuView5 = addItem(mnuView, "mnuView5", tr("Front"));
  mnuView6 = addItem(mnuView, "mnuView6", tr("Back"));

  mnuSettings = bar->addMenu(tr("Settings"));
  mnuSettings->setObjectName(QStringLiteral("mnuSettings"));
  mnuWireframe = addItem(mnuSettings, "mnuWireframe", tr("Wireframe"));
  mnuWireframe->setCheckable(true);
  mnuAxes = addItem(mnuSettings, "mnuAxes", tr("Axes"));
  mnuAxes->setCheckable(true);

  mnuPrint2 = bar->addAction(tr("Print Setup"));
  mnuPrint2->setObjectName(QStringLiteral("mnuPrint2"));
  mnuMeasure = bar->addMenu(tr("Measure"));
  mnuMeasure->setObjectName(QStringLiteral("mnuMeasure"));
  mnuTrueSizePrint = addItem(mnuMeasure, "mnuTrueSizePrint", tr("True-Size Print..."));
  mnuTrueSizeExport = addItem(mnuMeasure, "mnuTrueSizeExport", tr("Export True-Size PDF..."));
  mnuMeasurements = addItem(mnuMeasure, "mnuMeasurements", tr("Measurements..."));
  mnuExportAligned = addItem(mnuMeasure, "mnuExportAligned", tr("Export Aligned Scan..."));

  connect(mnuClose, &QAction::triggered, this, &Form1::mnuClose_Click);
  connect(mnuView1, &QAction::triggered, this, &Form1::mnuView1_Click);
  connect(mnuView2, &QAction::triggered, this, &Form1::mnuView2_Click);
  connect(mnuView3, &QAction::triggered, this, &Form1::mnuView3_Click);
  connect(mnuView4, &QAction::triggered, this, &Form1::mnuView4_Click);
  connect(mnuView5, &QAction::triggered, this, &Form1::mnuView5_Click);
  connect(mnuView6, &QAction::triggered, this, &Form1::mnuView6_Click);
  connect(mnuWireframe, &QAction::triggered, this, &Form1::mnuWireframe_Click);
  connect(mnuAxes, &QAction::triggered, this, &Form1::mnuAxes_Click);
  connect(mnuPrint1, &QAction::triggered, this, &Form1::mnuPrint1_Click);
  connect(mnuPrint2, &QAction::triggered, this, &Form1::mnuPrint2_Click);
  connect(mnuAlign, &QAction::triggered, this, &Form1::mnuAlign_Click);
  connect(mnuTrueSizePrint, &QAction::triggered, this, &Form1::mnuTrueSizePrint_Click);
  connect(mnuTrueSizeExport, &QAction::triggered, this, &Form1::mnuTrueSizeExport_Click);
  connect(mnuMeasurements, &QAction::triggered, this, [] { measure::showMeasurements(); });
  connect(mnuExportAligned, &QAction::triggered, this, &Form1::mnuExportAligned_Click);
}

void Form1::Form_Load() {
  app::AppState& s = app::state();
  s.ModelRef = KernelCAD1->Model();
  s.ShadedFlag = true;
  KernelCAD1->setShaded(true);
  KernelCAD1->setShowAxes(true);
  mnuAxes->setChecked(true);
  // Light intensity and wireframe line width 1.0, passed as the bits of single floats.
  KernelCAD1->View()->SetParameters(0, std::bit_cast<std::int32_t>(1.0f), 0, 0,
                                    std::bit_cast<std::int32_t>(1.0f));
  showToolbar(footview::Toolbar::Reference, false);
  showToolbar(footview::Toolbar::Navigation, false);
  mnuView2_Click();
  KernelCAD1->Redraw();
}

void Form1::Form_Resize() {
  KernelCAD1->move(platform::twipsToPixelsX(120), platform::twipsToPixelsY(120));
  const QRect outer = frameGeometry();
  // Whole twips, half to even, as the old runtime assigned a Single to a Long.
  // The status bar below the client area is not the view's to cover.
  const double h = std::nearbyint(
      platform::pixelsToTwipsY(outer.height() - statusBar()->sizeHint().height()) - 1000);
  const double w = std::nearbyint(platform::pixelsToTwipsX(outer.width()) - 420);
  // A minimised or tiny window would give the view no area: keep the size it had.
  if (h > 0) KernelCAD1->resize(KernelCAD1->width(), platform::twipsToPixelsY(h));
  if (w > 0) KernelCAD1->resize(platform::twipsToPixelsX(w), KernelCAD1->height());
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Form_Resize();
}

void Form1::Form_QueryUnload() {
  app::state().ModelRef.reset();
  app::Forms::unload(this);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (KernelCAD1->isLoading()) {
    // The load is a call further down this thread's stack, working on this very control: it
    // is cancelled, and the window closes once that call has returned.
    KernelCAD1->cancelLoad();
    closeAfterLoad_ = true;
    event->ignore();
    return;
  }
  Form_QueryUnload();
  event->accept();
}

void Form1::mnuClose_Click() { close(); }

void Form1::mnuPrint1_Click() { printing::mnuPrint1_Click(*this); }
void Form1::mnuPrint2_Click() { printing::mnuPrint2_Click(); }
void Form1::Print_FullSize() { printing::Print_FullSize(*this); }
void Form1::Create_Sheet() { printing::Create_Sheet(*this); }
void Form1::mnuTrueSizePrint_Click() { printing::mnuTrueSizePrint_Click(*this); }
void Form1::mnuTrueSizeExport_Click() { printing::mnuTrueSizeExport_Click(*this); }
void Form1::mnuExportAligned_Click() { printing::mnuExportAligned_Click(*this); }

void Form1::mnuAlign_Click() { alignment::mnuAlign_Click(*this); }
void Form1::Toolbar1_ButtonClick(QAction* button) {
  alignment::Toolbar1_ButtonClick(*this, *button);
}
void Form1::KernelCAD1_MouseEvent(short Button, short Shift, float X, float Y) {
  alignment::KernelCAD1_MouseEvent(*KernelCAD1, Button, Shift, X, Y);
}
void Form1::Toolbar2_ButtonClick(QAction* button) { view::Toolbar2_ButtonClick(*this, *button); }
void Form1::Clean_Up_Mesh() { alignment::Clean_Up_Mesh(*this); }
void Form1::Draw_Sphere(const double& Xc, const double& Yc, const double& Zc,
                        const QString& SphereName) {
  alignment::Draw_Sphere(*KernelCAD1->Model(), Xc, Yc, Zc, SphereName.toLatin1().toStdString());
}
void Form1::Move_Sphere(const std::int16_t& SphereNum, const double& Xc, const double& Yc,
                        const double& Zc) {
  alignment::Move_Sphere(*KernelCAD1->Model(), SphereNum, Xc, Yc, Zc);
}

void Form1::mnuWireframe_Click() {
  app::AppState& s = app::state();
  if (s.ShadedFlag) {
    KernelCAD1->setShaded(false);
    s.ShadedFlag = false;
    mnuWireframe->setChecked(true);
  } else {
    KernelCAD1->setShaded(true);
    s.ShadedFlag = true;
    mnuWireframe->setChecked(false);
  }
  KernelCAD1->UpdateModel();
}

void Form1::mnuAxes_Click() {
  // The control draws the change at its next repaint; no redraw is asked for here.
  const bool show = !KernelCAD1->ShowAxes();
  KernelCAD1->setShowAxes(show);
  mnuAxes->setChecked(show);
}

void Form1::mnuView1_Click() { turnTo(footview::StandardView::Right); }
void Form1::mnuView2_Click() { turnTo(footview::StandardView::Bottom); }
void Form1::mnuView3_Click() { turnTo(footview::StandardView::Left); }
void Form1::mnuView4_Click() { turnTo(footview::StandardView::Top); }
void Form1::mnuView5_Click() { turnTo(footview::StandardView::Front); }
void Form1::mnuView6_Click() { turnTo(footview::StandardView::Back); }

std::shared_ptr<kernelcad::Model> Form1::model() const { return KernelCAD1->Model(); }
std::shared_ptr<kernelcad::View> Form1::view() const { return KernelCAD1->View(); }
void Form1::redraw() { KernelCAD1->Redraw(); }
void Form1::updateModel() { KernelCAD1->UpdateModel(); }

void Form1::showToolbar(footview::Toolbar toolbar, bool shown) {
  QToolBar* bar = toolbar == footview::Toolbar::Reference ? Toolbar1 : Toolbar2;
  bar->setEnabled(shown);
  bar->setVisible(shown);
}

void Form1::showStatus(const QString& text) {
  statusText->setText(text);
  // Painted now, as the browser's: the step that follows may hold the event loop.
  statusBar()->repaint();
}

QImage Form1::showPicture(const QImage& picture) {
  Picture1->setPixmap(QPixmap::fromImage(picture));
  Picture1->repaint();
  return Picture1->pixmap(Qt::ReturnByValue).toImage();
}

void Form1::turnTo(footview::StandardView standard) {
  footview::turnCamera(*KernelCAD1->View(), standard);
  KernelCAD1->Redraw();
}

}  // namespace view
