#include "printing/full_size_print.h"

#include "footview/foot_view.h"
#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "platform/runtime.h"
#include "printing/capture.h"
#include "printing/print_commands.h"
#include "state/app_state.h"

namespace printing {

namespace {

QString f1(double value) { return platform::Format(value, QStringLiteral("0.0")); }

QString axisLine(const char* axis, double min, double max) {
  return QStringLiteral("B%1min: %2   B%1max: %3   %1 size: %4")
      .arg(QLatin1String(axis), f1(min), f1(max), f1(max - min));
}

}  // namespace

QString dimensionReport(const kernelcad::Dimensions& box) {
  const QString crlf = QStringLiteral("\r\n");
  return QStringLiteral("iMetrics.GetDimensions:") + crlf +
         axisLine("X", box.min.x(), box.max.x()) + crlf + axisLine("Y", box.min.y(), box.max.y()) +
         crlf + axisLine("Z", box.min.z(), box.max.z());
}

void FullSizePrint::Get_Items() {
  const std::shared_ptr<kernelcad::Model> model = app::state().ModelRef;
  if (!model) throw kernelcad::KernelCADError("No foot is loaded: there is nothing to print.");
  LabelItems = model->FindObject("Items");
}

void FullSizePrint::Set_Item_Name(const std::shared_ptr<kernelcad::LabelEntry>& entry,
                                  const QString& name) {
  entry->SetEntryName(name.toStdString());
}

void FullSizePrint::Place_Item(const std::shared_ptr<kernelcad::LabelEntry>& entry, double x,
                               double y, double z) {
  entry->SetEntryPosition(x, y, z);
}

void FullSizePrint::Name_Label(const std::shared_ptr<kernelcad::LabelEntry>& entry) {
  Set_Item_Name(entry, QStringLiteral("Label%1").arg(LabelCount));
  LabelCount = platform::CInt(LabelCount + 1.0);
}

void FullSizePrint::addCaption(const QString& text, double x, double y) {
  LabelItems->AddEntry(1, true);
  const long n = LabelItems->GetCount();
  const std::shared_ptr<kernelcad::LabelEntry> entry = LabelItems->GetEntry(n - 1);
  entry->SetText(text.toStdString());
  Place_Item(entry, x, y, 0.0);
  Name_Label(entry);
}

void FullSizePrint::Print_FullSize() {
  app::AppState& s = app::state();
  Get_Items();
  LabelCount = 0;
  addCaption(QStringLiteral(" Foot: ") + s.FootSide, -25.0, 80.0);
  addCaption(QStringLiteral(" ") + s.ScanFile, -25.0, 90.0);

  const std::shared_ptr<kernelcad::View> view = foot_.view();
  const auto extentX = view->GetExtent(0);
  view->GetExtent(1);
  view->GetExtent(2);
  const kernelcad::Dimensions box = s.ModelRef->GetDimensions();
  platform::MsgBox(dimensionReport(box));

  PrintRatio = 0.9;
  const double sizeX = box.max.x() - box.min.x();
  if (sizeX == 0) {
    platform::MsgBox(QStringLiteral("The model has no size along X, so it cannot be zoomed to "
                                    "full size. Nothing was printed."),
                     platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Exclamation,
                     QStringLiteral("Print"));
    return;
  }
  const double zoom = (extentX.second - extentX.first) / sizeX * 0.9;
  view->SetZoom(zoom, 297.0, 0.0, 0.0);
  foot_.redraw();

  if (platform::MsgBox(QStringLiteral("Print This Image?"), platform::MsgBoxButtons::YesNo,
                       platform::MsgBoxIcon::Question, QStringLiteral("Print"),
                       platform::MsgBoxResult::No) != platform::MsgBoxResult::Yes)
    return;

  const QString title = QStringLiteral("Print");
  platform::Printer& printer = scanPrinter();
  if (!printer.availableOrSay(title)) return;
  const Picture shown = foot_.showPicture(Grab_Print_Area(foot_.window()));
  if (!pictureTakenOrSay(shown, title)) return;
  Print_Page(printer, title, [&] { Print_Picture_Ratio(printer, shown, PrintRatio); });
}

void Print_FullSize(footview::FootView& foot) { FullSizePrint(foot).Print_FullSize(); }

}  // namespace printing
