#include "printing/truesize.h"

#include <QFile>
#include <QFont>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "kernelcad/core/scene.h"
#include "measure/model_measure.h"
#include "printing/scaling.h"

namespace printing {

namespace {

constexpr double kCrossArmMm = 3.0;
constexpr double kOutlinePenMm = 0.3;
constexpr double kTickPenMm = 0.15;
constexpr int kPdfDpi = 1200;

const QColor kInk(0, 0, 0);
const QColor kPointInk(210, 0, 0);
// Cut marks in a colour of their own, so they are never taken for the outline.
const QColor kCutInk(0, 80, 220);
// The contact region: a light hatch and its thirds' bounds, in colours that are never taken for
// the outline either.
const QColor kContactInk(120, 190, 120);
const QColor kThirdsInk(0, 140, 70);
constexpr double kHatchStepMm = 1.5;

QPen pen(const QColor& colour, double widthMm, Qt::PenStyle style = Qt::SolidLine) {
  QPen p(colour, widthMm, style, Qt::RoundCap, Qt::RoundJoin);
  return p;
}

// Text is set in device pixels so that point sizes stay points, at a place given in millimetres.
void drawText(QPainter& painter, const QRectF& mm, int flags, const QString& text, double points,
              const QColor& colour = kInk) {
  const QRectF box = painter.transform().mapRect(mm);
  painter.save();
  painter.resetTransform();
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(box, flags, text);
  painter.restore();
}

// The 100 mm ruler with millimetre ticks and the square, in the bottom band.
void drawChecks(QPainter& painter, double width, double height) {
  const double top = height - kTrueSizeFooterMm;
  painter.setBrush(Qt::NoBrush);
  painter.setPen(pen(kInk, kTickPenMm));
  // Clear of the printable area's edge, where a printer may already lose ink.
  const QRectF square(1, height - 2 - kTrueSizeSquareMm, kTrueSizeSquareMm, kTrueSizeSquareMm);
  painter.drawRect(square);
  const QString side = QString::number(kTrueSizeSquareMm, 'f', 0);
  drawText(painter, square, Qt::AlignCenter, QStringLiteral("%1 x %1 mm").arg(side), 9);

  const double left = square.right() + 15;
  const double base = height - 12;
  painter.setPen(pen(kInk, kTickPenMm));
  painter.drawLine(QPointF(left, base), QPointF(left + kTrueSizeRulerMm, base));
  for (int mm = 0; mm <= int(kTrueSizeRulerMm); ++mm) {
    const double tick = mm % 10 == 0 ? 6.0 : mm % 5 == 0 ? 3.5 : 2.0;
    painter.drawLine(QPointF(left + mm, base), QPointF(left + mm, base - tick));
    if (mm % 10 == 0)
      drawText(painter, QRectF(left + mm - 5, base - 11, 10, 4.5), Qt::AlignCenter,
               QString::number(mm / 10), 7);
  }
  drawText(painter, QRectF(left + kTrueSizeRulerMm + 3, base - 6, 12, 6),
           Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("cm"), 7);
  drawText(painter, QRectF(left, top + 8, std::max(10.0, width - left), 7),
           Qt::AlignLeft | Qt::AlignVCenter,
           QStringLiteral("Check: this ruler must measure 100 mm"), 11);
  drawText(painter, QRectF(left, top + 15, std::max(10.0, width - left), 6),
           Qt::AlignLeft | Qt::AlignVCenter,
           QStringLiteral("and the square %1 mm each way. Print at 100 %, never \"fit to page\".")
               .arg(side),
           8);
}

// In doubles: a scan in the wrong unit needs more tiles than an int holds.
double tilesFor(double need, double room) {
  if (need <= room) return 1;
  return 1 + std::ceil((need - room) / (room - kTrueSizeOverlapMm));
}

// How the content is laid over the pages of one printable area (millimetres).
struct Tiling {
  QRectF area;     // where the outline goes on each page
  QRectF content;  // the outline and crosses, in model millimetres
  int columns = 1, rows = 1;
};

Tiling tiling(const TrueSizeSheet& sheet, const QRectF& printable) {
  Tiling t;
  const double width = printable.width();
  const double height = printable.height();
  t.area = QRectF(0, kTrueSizeHeaderMm, width, height - kTrueSizeHeaderMm - kTrueSizeFooterMm);
  if (t.area.width() < 3 * kTrueSizeOverlapMm || t.area.height() < 3 * kTrueSizeOverlapMm ||
      width < kTrueSizeSquareMm + 15 + kTrueSizeRulerMm + 15)
    throw std::runtime_error("The printable area of the page is too small for a true-size print.");

  // What must be shown: the outline and the crosses, with a little room around them.
  const PlantarOutline& outline = sheet.outline;
  t.content = QRectF(outline.minX, outline.minY, outline.length(), outline.width());
  for (const auto& p : sheet.points)
    if (p) t.content |= QRectF(*p - QPointF(kCrossArmMm, kCrossArmMm), QSizeF(2, 2) * kCrossArmMm);
  t.content.adjust(-2, -2, 2, 2);

  const double columns = tilesFor(t.content.width(), t.area.width());
  const double rows = tilesFor(t.content.height(), t.area.height());
  if (!(columns * rows <= kTrueSizeMaxPages)) {
    throw TrueSizeTooLarge(
        QStringLiteral("The foot's outline is %1 x %2 mm: at true size it would take %3 pages, and "
                       "a true-size print takes at most %4. Is the scan in another unit than "
                       "millimetres? Nothing was printed.")
            .arg(QString::number(outline.length(), 'f', 1),
                 QString::number(outline.width(), 'f', 1), QString::number(columns * rows, 'f', 0))
            .arg(kTrueSizeMaxPages)
            .toStdString());
  }
  t.columns = int(columns);
  t.rows = int(rows);
  return t;
}

// The contact cells the arch index counts, row by row in runs, as polygons on the model's XY
// plane; and the thirds' bounds, each across the breadth of those cells where it lies.
void contactOnModel(const kernelcad::Model& model, TrueSizeSheet& sheet) {
  const measure::Measurements& m = sheet.measurements;
  const auto at = [&](double x, double y) {
    const kernelcad::Vec3 p = measure::modelPoint(model, m, x, y);
    return QPointF(p.x(), p.y());
  };
  const auto counted = [&](int c, int r) {
    return m.contact[std::size_t(r) * std::size_t(m.columns) + std::size_t(c)] == 1;
  };
  // Runs of neighbouring rows touch: with the winding rule they fill as one region.
  sheet.contact.setFillRule(Qt::WindingFill);
  for (int r = 0; r < m.rows; ++r) {
    const double y = m.y0 + r * m.cell;
    for (int c = 0; c < m.columns;) {
      if (!counted(c, r)) {
        ++c;
        continue;
      }
      const int first = c;
      while (c < m.columns && counted(c, r)) ++c;
      const double x0 = m.x0 + first * m.cell, x1 = m.x0 + c * m.cell;
      sheet.contact.addPolygon(
          QPolygonF({at(x0, y), at(x1, y), at(x1, y + m.cell), at(x0, y + m.cell), at(x0, y)}));
    }
  }
  constexpr double kBeyondMm = 2.0;  // the lines stand out of the hatch a little
  for (std::size_t i = 0; i < m.thirds.size(); ++i) {
    // The column just inside the region, at its two ends too.
    const double inside = i == 0 ? 0.5 : i + 1 == m.thirds.size() ? -0.5 : 0;
    const int c =
        std::clamp(int(std::floor((m.thirds[i] - m.x0) / m.cell + inside)), 0, m.columns - 1);
    int low = m.rows, high = -1;
    for (int r = 0; r < m.rows; ++r)
      if (counted(c, r)) low = std::min(low, r), high = r;
    if (high < 0) continue;
    sheet.thirds[i] = QLineF(at(m.thirds[i], m.y0 + low * m.cell - kBeyondMm),
                             at(m.thirds[i], m.y0 + (high + 1) * m.cell + kBeyondMm));
  }
}

// A light hatch over the contact region, its thirds' bounds dashed over it.
void drawContact(QPainter& painter, const TrueSizeSheet& sheet) {
  if (sheet.contact.isEmpty()) return;
  painter.save();
  painter.setClipPath(sheet.contact, Qt::IntersectClip);
  painter.setPen(pen(kContactInk, 0.15));
  const QRectF box = sheet.contact.boundingRect();
  for (double d = 0; d < box.width() + box.height(); d += kHatchStepMm)
    painter.drawLine(QPointF(box.left() + d, box.top()),
                     QPointF(box.left() + d - box.height(), box.bottom()));
  painter.restore();
  painter.setPen(pen(kThirdsInk, 0.25, Qt::DashLine));
  for (const QLineF& line : sheet.thirds)
    if (!line.isNull()) painter.drawLine(line);
}

}  // namespace

TrueSizeSheet Collect_TrueSize(const kernelcad::Model& model, const QString& side,
                               const QString& scanFile, const QDate& date) {
  TrueSizeSheet sheet;
  sheet.outline = Plantar_Outline(model);
  for (long item = 1; item <= 3 && item < model.GetItemCount(); ++item) {
    const auto sphere = model.GetItem(item);
    if (sphere->kind() != kernelcad::ItemKind::Sphere) continue;
    const kernelcad::Vec3 c = sphere->GetPosition();
    sheet.points[std::size_t(item - 1)] = QPointF(c.x(), c.y());
  }
  sheet.side = side;
  sheet.scanFile = scanFile;
  sheet.date = date;
  sheet.scale = Applied_Scale(model);
  if (side == QLatin1String("Left") || side == QLatin1String("Right")) {
    sheet.measurements = measure::measureModel(
        model, side == QLatin1String("Left") ? footview::Side::Left : footview::Side::Right);
  } else {
    sheet.measurements.reason = "No foot side is chosen.";
  }
  if (sheet.measurements.valid) contactOnModel(model, sheet);
  return sheet;
}

QString TrueSize_Header(const TrueSizeSheet& sheet, int page, int pages) {
  return QStringLiteral(
             "Foot: %1    Scan: %2    Date: %3    Scale factor: %4    Length (X): %5 mm"
             "    Width (Y): %6 mm    page %7 of %8")
      .arg(sheet.side, sheet.scanFile, sheet.date.toString(Qt::ISODate),
           QString::number(sheet.scale, 'f', 3), QString::number(sheet.outline.length(), 'f', 1),
           QString::number(sheet.outline.width(), 'f', 1))
      .arg(page)
      .arg(pages);
}

QString measurementLine(const TrueSizeSheet& sheet) {
  const measure::Measurements& m = sheet.measurements;
  if (!m.valid) return QStringLiteral("Not measured: ") + QString::fromStdString(m.reason);
  QStringList parts;
  for (const measure::Reading& r : measure::readings(m))
    parts << QString::fromStdString(r.brief + " " + r.value);
  return parts.join(QStringLiteral("   "));
}

QPageLayout TrueSize_Layout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                     QPageLayout::Millimeter);
}

int TrueSize_Pages(const TrueSizeSheet& sheet, const QPageLayout& layout) {
  const Tiling t = tiling(sheet, layout.paintRect(QPageLayout::Millimeter));
  return t.columns * t.rows;
}

int Draw_TrueSize(QPainter& painter, QPagedPaintDevice& device, const TrueSizeSheet& sheet) {
  const QRectF printable = device.pageLayout().paintRect(QPageLayout::Millimeter);
  const double width = printable.width();
  const double height = printable.height();
  const Tiling t = tiling(sheet, printable);
  const QRectF& area = t.area;
  const QRectF& content = t.content;
  const PlantarOutline& outline = sheet.outline;
  const int columns = t.columns;
  const int rows = t.rows;
  const double stepX = area.width() - kTrueSizeOverlapMm;
  const double stepY = area.height() - kTrueSizeOverlapMm;
  // Model XY to paper: a pure shift, since the page is seen as from below with +Y down. The
  // tiles together are centred on the content.
  const QPointF shift((area.width() + (columns - 1) * stepX - content.width()) / 2 - content.left(),
                      (area.height() + (rows - 1) * stepY - content.height()) / 2 - content.top());

  // Millimetres on the device, whatever its resolution: 1 mm = dpi / 25.4 device pixels.
  const QTransform mm =
      QTransform::fromScale(device.logicalDpiX() / 25.4, device.logicalDpiY() / 25.4);
  const int pages = columns * rows;
  for (int page = 0; page < pages; ++page) {
    const int column = page % columns;
    const int row = page / columns;
    if (page > 0 && !device.newPage()) throw std::runtime_error("The printer refused a new page.");
    painter.setTransform(mm);
    painter.setRenderHint(QPainter::Antialiasing);
    drawText(painter, QRectF(0, 0, width, 3.8), Qt::AlignLeft | Qt::AlignVCenter,
             TrueSize_Header(sheet, page + 1, pages), 8);
    drawText(painter, QRectF(0, 3.8, width, 3.4), Qt::AlignLeft | Qt::AlignVCenter,
             measurementLine(sheet), 7);
    drawChecks(painter, width, height);

    painter.save();
    painter.setClipRect(area);
    painter.translate(area.left() - column * stepX + shift.x(),
                      area.top() - row * stepY + shift.y());
    painter.setBrush(Qt::NoBrush);
    drawContact(painter, sheet);
    painter.setPen(pen(kInk, kOutlinePenMm));
    for (const QPolygonF& loop : outline.loops) painter.drawPolygon(loop);
    painter.setPen(pen(kPointInk, 0.2));
    if (sheet.points[0] && sheet.points[1]) painter.drawLine(*sheet.points[0], *sheet.points[1]);
    painter.setPen(pen(kPointInk, 0.25));
    for (const auto& p : sheet.points) {
      if (!p) continue;
      painter.drawLine(*p - QPointF(kCrossArmMm, 0), *p + QPointF(kCrossArmMm, 0));
      painter.drawLine(*p - QPointF(0, kCrossArmMm), *p + QPointF(0, kCrossArmMm));
    }
    painter.restore();

    if (pages == 1) continue;
    // Cut along the area's edges (the corner marks); a neighbour's edge lies on the dashed line
    // 10 mm inside this page, so the strip between is glued under it.
    painter.setPen(pen(kCutInk, 0.2));
    const double l = area.left(), r = area.right(), t = area.top(), b = area.bottom();
    for (const QPointF& corner :
         {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()}) {
      const double out = corner.y() == t ? -4 : 4;
      painter.drawLine(corner, corner + QPointF(0, out));
    }
    painter.setPen(pen(kCutInk, 0.2, Qt::DashLine));
    if (column > 0)
      painter.drawLine(QPointF(l + kTrueSizeOverlapMm, t), QPointF(l + kTrueSizeOverlapMm, b));
    if (column + 1 < columns)
      painter.drawLine(QPointF(r - kTrueSizeOverlapMm, t), QPointF(r - kTrueSizeOverlapMm, b));
    if (row > 0)
      painter.drawLine(QPointF(l, t + kTrueSizeOverlapMm), QPointF(r, t + kTrueSizeOverlapMm));
    if (row + 1 < rows)
      painter.drawLine(QPointF(l, b - kTrueSizeOverlapMm), QPointF(r, b - kTrueSizeOverlapMm));
  }
  return pages;
}

int Write_TrueSize_Pdf(const QString& path, const TrueSizeSheet& sheet) {
  TrueSize_Pages(sheet, TrueSize_Layout());
  int pages = 0;
  {
    QPdfWriter writer(path);
    writer.setResolution(kPdfDpi);
    writer.setCreator(QStringLiteral("QUARNEL"));
    writer.setTitle(QStringLiteral("True-size print of ") + sheet.scanFile);
    writer.setPageLayout(TrueSize_Layout());
    QPainter painter;
    if (!painter.begin(&writer))
      throw std::runtime_error("The PDF file " + path.toStdString() + " cannot be written.");
    try {
      pages = Draw_TrueSize(painter, writer, sheet);
    } catch (...) {
      painter.end();
      QFile::remove(path);
      throw;
    }
    if (!painter.end())
      throw std::runtime_error("The PDF file " + path.toStdString() + " could not be finished.");
  }
  return pages;
}

}  // namespace printing
