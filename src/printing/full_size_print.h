#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace kernelcad {
class LabelEntry;
class LabelList;
struct Dimensions;
}  // namespace kernelcad

namespace footview {
class FootView;
}

namespace printing {

// One full-size printout of the foot window: two captions, the bounding-box report, the zoom,
// and on the operator's Yes the print area on a landscape page.
class FullSizePrint {
 public:
  explicit FullSizePrint(footview::FootView& foot) : foot_(foot) {}

  void Print_FullSize();

  void Get_Items();
  void Name_Label(const std::shared_ptr<kernelcad::LabelEntry>& entry);
  static void Set_Item_Name(const std::shared_ptr<kernelcad::LabelEntry>& entry,
                            const QString& name);
  static void Place_Item(const std::shared_ptr<kernelcad::LabelEntry>& entry, double x, double y,
                         double z);

  std::shared_ptr<kernelcad::LabelList> LabelItems;
  std::int16_t LabelCount = 0;
  double PrintRatio = 0;

 private:
  void addCaption(const QString& text, double x, double y);

  footview::FootView& foot_;
};

void Print_FullSize(footview::FootView& foot);

// The bounding-box report: four lines, numbers with one decimal, no line break at the end.
QString dimensionReport(const kernelcad::Dimensions& box);

}  // namespace printing
