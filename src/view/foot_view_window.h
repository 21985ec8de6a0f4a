#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>

#include "footview/foot_view.h"
#include "kernelcad/widget/kernelcad.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace view {

// The foot view window: the 3D control with the scan, the two toolbars the alignment work shows,
// the picture box of the full-size printout, and the View, Settings, Files and Measure menus
// (the true-size page and the Measurements window).
// The alignment, the distances and the printing work on it through the foot view port.
class Form1 : public QMainWindow, public footview::FootView {
  Q_OBJECT

 public:
  Form1();
  ~Form1() override;

  void Form_Load();
  // Keeps the 3D view filling the window; the toolbars and the picture box stay where they are.
  void Form_Resize();
  void Form_QueryUnload();

  std::shared_ptr<kernelcad::Model> model() const override;
  std::shared_ptr<kernelcad::View> view() const override;
  void redraw() override;
  void updateModel() override;
  void showToolbar(footview::Toolbar toolbar, bool shown) override;
  QImage showPicture(const QImage& picture) override;
  void turnTo(footview::StandardView standard) override;
  QWidget& window() override { return *this; }
  // The status line's texts shown here too, where the operator works: the browser's own status
  // line is under this window most of the time.
  void showStatus(const QString& text);

  void mnuPrint1_Click();
  void mnuPrint2_Click();
  void Print_FullSize();
  void Create_Sheet();
  // "Measure": the foot at true size as vectors, with a check ruler, on the printer or a PDF.
  void mnuTrueSizePrint_Click();
  void mnuTrueSizeExport_Click();
  void mnuExportAligned_Click();

  kernelcad::KernelCAD* KernelCAD1 = nullptr;
  QToolBar* Toolbar1 = nullptr;
  QToolBar* Toolbar2 = nullptr;
  QLabel* Picture1 = nullptr;
  QLabel* statusText = nullptr;  // the one panel of the window's status bar

  QMenu* mnuFiles = nullptr;
  QAction* mnuPrint1 = nullptr;
  QAction* sep0 = nullptr;
  QAction* mnuClose = nullptr;
  QAction* mnuAlign = nullptr;
  QMenu* mnuView = nullptr;
  QAction* mnuView4 = nullptr;
  QAction* mnuView2 = nullptr;
  QAction* mnuView3 = nullptr;
  QAction* mnuView1 = nullptr;
  QAction* mnuView5 = nullptr;
  QAction* mnuView6 = nullptr;
  QMenu* mnuSettings = nullptr;
  QAction* mnuWireframe = nullptr;
  QAction* mnuAxes = nullptr;
  QAction* mnuPrint2 = nullptr;
  QMenu* mnuMeasure = nullptr;
  QAction* mnuTrueSizePrint = nullptr;
  QAction* mnuTrueSizeExport = nullptr;
  QAction* mnuMeasurements = nullptr;
  QAction* mnuExportAligned = nullptr;

 public slots:
  // The standard views: each starts from the reset camera at the origin, so the same command
  // always gives the same picture whatever was done before.
  void mnuView1_Click();  // Right
  void mnuView2_Click();  // Bottom
  void mnuView3_Click();  // Left
  void mnuView4_Click();  // Top
  void mnuView5_Click();  // Front
  void mnuView6_Click();  // Back
  void mnuWireframe_Click();
  void mnuAxes_Click();
  void mnuClose_Click();

 public:
  // Reference points: the alignment library does the work on this window's view and toolbar.
  void mnuAlign_Click();
  void Toolbar1_ButtonClick(QAction* button);
  void KernelCAD1_MouseEvent(short Button, short Shift, float X, float Y);
  // Navigation toolbar: turns and shifts the aligned foot, prints it, or closes.
  void Toolbar2_ButtonClick(QAction* button);
  void Clean_Up_Mesh();
  void Draw_Sphere(const double& Xc, const double& Yc, const double& Zc, const QString& SphereName);
  void Move_Sphere(const std::int16_t& SphereNum, const double& Xc, const double& Yc,
                   const double& Zc);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();

  bool closeAfterLoad_ = false;
};

}  // namespace view
