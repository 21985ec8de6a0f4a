#pragma once

#include <QDate>
#include <QLineF>
#include <QPageLayout>
#include <QPainterPath>
#include <QPointF>
#include <QString>
#include <array>
#include <optional>
#include <stdexcept>

#include "measure/foot_measure.h"
#include "printing/outline.h"

class QPagedPaintDevice;
class QPainter;

namespace kernelcad {
class Model;
}

// The true-size page: the plantar outline at 1 model unit = 1 mm on paper, seen from below (+X to
// the right, +Y down), with the reference points, the contact region the arch index is taken
// from, a header with the foot's measurements and a ruler to check the print scale.
// Drawn as vectors in millimetres on any paged device, never fitted to the page; an outline
// larger than the printable area is tiled over several pages.
namespace printing {

// Bands of the printable area: the header line on top, the check ruler and square at the
// bottom; the outline goes between them. Neighbouring tiles share a strip this wide.
// The footer is as low as the square allows: on A4 landscape the outline band is then 138 mm
// high, and a broad foot (outline up to about 130 mm across its axis, a 260-280 mm foot turned
// a little on the heel-ball axis) still prints on one page.
inline constexpr double kTrueSizeHeaderMm = 8.0;
inline constexpr double kTrueSizeFooterMm = 44.0;
inline constexpr double kTrueSizeOverlapMm = 10.0;
inline constexpr double kTrueSizeRulerMm = 100.0;
inline constexpr double kTrueSizeSquareMm = 40.0;
// The most pages one true-size print may take. A 350 mm foot on A4 needs 2, and the largest scan
// still taken for a foot in millimetres (600 x 250 mm, scanner margin included) needs 9 on A4 or
// Letter either way round. More than that is a scan in another unit: one in micrometres would
// tile onto hundreds of thousands of pages.
inline constexpr int kTrueSizeMaxPages = 9;

// The outline would take more than kTrueSizeMaxPages pages; the message names its size.
class TrueSizeTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TrueSizeSheet {
  PlantarOutline outline;
  // Heel, ball and adjacent sphere centres on the XY plane, where the spheres exist.
  std::array<std::optional<QPointF>, 3> points;
  QString side;
  QString scanFile;
  QDate date;
  double scale = 1.0;
  // On the spheres as they stand; the reason when they give none.
  measure::Measurements measurements;
  // Where the measurements are valid: the contact region without the toes on the XY plane, and
  // the lines across the foot's axis that bound the arch index's thirds, heel end first.
  QPainterPath contact;
  std::array<QLineF, 4> thirds;
};

// What the model shows now: item 0's outline, items 1 to 3 where they are spheres, the scale
// the mesh carries and the measurements of a `side` foot ("Left" or "Right").
TrueSizeSheet Collect_TrueSize(const kernelcad::Model& model, const QString& side,
                               const QString& scanFile, const QDate& date);

// The header line of page `page` (from 1) of `pages`.
QString TrueSize_Header(const TrueSizeSheet& sheet, int page, int pages);
// The header's second line: the measurements as the Measurements window gives them, or why
// there are none.
QString measurementLine(const TrueSizeSheet& sheet);

// The page a true-size PDF is written on: A4 landscape with 10 mm margins, as the lab's laser
// printer prints it.
QPageLayout TrueSize_Layout();

// The number of pages the sheet takes on pages of `layout`. Throws TrueSizeTooLarge for more
// than kTrueSizeMaxPages, and std::runtime_error when the printable area is too small for a page:
// callers ask before they begin a document, so a refused print leaves nothing behind.
int TrueSize_Pages(const TrueSizeSheet& sheet, const QPageLayout& layout);

// Draws the sheet on `device` through `painter`, already begun on it, starting on the current
// page and adding pages as the tiles need. Returns the number of pages. Throws as
// TrueSize_Pages does, before drawing anything.
int Draw_TrueSize(QPainter& painter, QPagedPaintDevice& device, const TrueSizeSheet& sheet);

// Writes the sheet to a PDF file on TrueSize_Layout's pages; returns the number of pages.
// Throws std::runtime_error when the file cannot be written, and as TrueSize_Pages does before
// the file is created.
int Write_TrueSize_Pdf(const QString& path, const TrueSizeSheet& sheet);

}  // namespace printing
