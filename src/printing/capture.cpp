#include "printing/capture.h"

#include <QDir>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cmath>

#include "kernelcad/widget/kernelcad.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "platform/runtime.h"
#include "state/status_line.h"

namespace printing {

namespace {

// Top of the client area: a form's menu bar is not part of it.
int clientTop(QWidget* window) {
  if (auto* main = qobject_cast<QMainWindow*>(window)) {
    QWidget* bar = main->menuWidget();
    if (bar && bar->isVisible()) return bar->geometry().bottom() + 1;
  }
  return 0;
}

}  // namespace

Picture Picture_From_Bitmap(const QPixmap& bitmap) {
  return bitmap.toImage().convertToFormat(QImage::Format_RGB32);
}

Picture Grab_Window_Area(QWidget* window, bool client, int left, int top, int width, int height) {
  // A 3D view still showing its coarse stand-in after a move draws the full mesh first.
  for (auto* view : window->findChildren<kernelcad::KernelCAD*>()) view->settle();
  // Pixels here are the window's own; on a scaled screen the bitmap keeps every device pixel the
  // window shows, so a printout is as sharp as the screen.
  const qreal ratio = window->devicePixelRatioF();
  QPixmap bitmap(QSize(width, height) * ratio);
  bitmap.setDevicePixelRatio(ratio);
  bitmap.fill(Qt::white);
  QPainter painter(&bitmap);
  // The window's contents come from the window itself, not from the screen: a window lying
  // over it, or one not yet on screen, cannot spoil the picture, and the 3D view renders into
  // it too. Only the frame and title bar are the window manager's, so they come from the
  // screen; under a display without a window manager the frame is empty and the window's own
  // picture is all there is.
  QPoint origin(left, top);  // source point in the window's own coordinates
  if (client) {
    origin.ry() += clientTop(window);
  } else {
    const QRect frame = window->frameGeometry();
    const QPoint inset = window->geometry().topLeft() - frame.topLeft();
    if (!inset.isNull()) {
      if (QScreen* screen = window->screen()) {
        painter.drawPixmap(0, 0,
                           screen->grabWindow(0, frame.x() + left, frame.y() + top, width, height));
      }
    }
    origin -= inset;
  }
  const QRect source = QRect(origin, QSize(width, height)) & window->rect();
  if (!source.isEmpty()) {
    painter.drawPixmap(source.topLeft() - origin, window->grab(source));
  }
  painter.end();
  return Picture_From_Bitmap(bitmap);
}

Picture Grab_Form_Client(QWidget* form) {
  // The client size in twips, back in whole pixels.
  const int top = clientTop(form);
  const double widthTwips = platform::pixelsToTwipsX(form->width());
  const double heightTwips = platform::pixelsToTwipsY(form->height() - top);
  const int width = static_cast<int>(std::lround(widthTwips / platform::twipsPerPixelX()));
  const int height = static_cast<int>(std::lround(heightTwips / platform::twipsPerPixelY()));
  return Grab_Window_Area(form, true, 0, 0, width, height);
}

void Print_Picture_Fit(platform::Printer& p, const Picture& picture) {
  platform::CommonDialog& dialog = platform::CMDialog1();
  dialog.Copies = 1;
  dialog.Orientation = platform::kPortrait;
  dialog.ShowPrinter();  // cancelled or not, the page is printed

  // Tall and square pictures use the long side of a landscape page.
  p.setOrientation(picture.height() >= picture.width() ? platform::kLandscape
                                                       : platform::kPortrait);
  const double picRatio = static_cast<double>(picture.width()) / picture.height();
  const double pw = p.ScaleX(p.ScaleWidth(), p.ScaleMode(), platform::kHiMetric);
  const double ph = p.ScaleY(p.ScaleHeight(), p.ScaleMode(), platform::kHiMetric);
  const double prnRatio = pw / ph;
  double width = 0;
  double height = 0;
  if (picRatio >= prnRatio) {
    width = p.ScaleX(pw, platform::kHiMetric, p.ScaleMode());
    height = p.ScaleY(pw / picRatio, platform::kHiMetric, p.ScaleMode());
  } else {
    height = p.ScaleY(ph, platform::kHiMetric, p.ScaleMode());
    width = p.ScaleX(ph * picRatio, platform::kHiMetric, p.ScaleMode());
  }
  p.PaintPicture(picture, 0, 0, width, height);
}

bool pictureTakenOrSay(const Picture& picture, const QString& title) {
  if (Shows_Something(picture)) return true;
  const QString missing =
      QStringLiteral("The picture of the window could not be taken: nothing was printed.");
  app::Show_Status(missing);
  platform::MsgBox(missing, platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Exclamation,
                   title);
  return false;
}

void Print_Page(platform::Printer& p, const QString& title, const std::function<void()>& draw) {
  try {
    const QString file = p.Print(draw);
    if (!file.isEmpty())
      app::Show_Status(QStringLiteral("Printed to ") + QDir::toNativeSeparators(file));
  } catch (const std::runtime_error& e) {
    platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, title);
  }
}

Picture Grab_Print_Area(QWidget& window) {
  return Grab_Window_Area(&window, false, 15, 65, 350, 500);
}

bool Shows_Something(const Picture& picture) {
  if (picture.isNull()) return false;
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  const QRgb first = rgb.pixel(0, 0);
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x)
      if (line[x] != first) return true;
  }
  return false;
}

void Print_Picture_Ratio(platform::Printer& p, const Picture& picture, double& fraction) {
  platform::CMDialog1().Orientation = platform::kLandscape;
  p.setOrientation(platform::kLandscape);
  const double w = p.ScaleX(p.ScaleWidth(), p.ScaleMode(), platform::kMillimetres);
  const double h = p.ScaleY(p.ScaleHeight(), p.ScaleMode(), platform::kMillimetres);
  const double r = w / h;
  const double pw = p.ScaleX(w, platform::kMillimetres, p.ScaleMode());
  const double ph = p.ScaleY(h * r, platform::kMillimetres, p.ScaleMode());
  p.PaintPicture(picture, 0, 0, pw * fraction, ph * fraction);
}

}  // namespace printing
