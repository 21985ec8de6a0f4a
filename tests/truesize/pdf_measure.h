#pragma once

// Reading true-size pages back: a region of a PDF page rendered at a known number of pixels
// per millimetre, and the strokes found in it, in millimetres from the page's top-left corner.

#include <QImage>
#include <QProcess>
#include <QRectF>
#include <algorithm>
#include <vector>

namespace measure {

struct Region {
  QImage image;
  QRectF mm;
  double pxPerMm = 0;

  double x(double px) const { return mm.left() + (px + 0.5) / pxPerMm; }
  double y(double px) const { return mm.top() + (px + 0.5) / pxPerMm; }
};

// Rendered by poppler: its crop box is exact at any resolution, where a clipped render through
// Qt Pdf loses the edge of the area.
inline Region render(const QString& pdf, int page, const QRectF& mm, double pxPerMm) {
  const QRect clip(qRound(mm.left() * pxPerMm), qRound(mm.top() * pxPerMm),
                   qRound(mm.width() * pxPerMm), qRound(mm.height() * pxPerMm));
  QProcess poppler;
  poppler.start(QStringLiteral("pdftoppm"),
                {"-r", QString::number(pxPerMm * 25.4), "-f", QString::number(page + 1), "-l",
                 QString::number(page + 1), "-x", QString::number(clip.left()), "-y",
                 QString::number(clip.top()), "-W", QString::number(clip.width()), "-H",
                 QString::number(clip.height()), pdf});
  poppler.waitForFinished(60000);
  QImage image;
  image.loadFromData(poppler.readAllStandardOutput(), "PPM");
  return {image.convertToFormat(QImage::Format_RGB32),
          QRectF(clip.left() / pxPerMm, clip.top() / pxPerMm, clip.width() / pxPerMm,
                 clip.height() / pxPerMm),
          pxPerMm};
}

inline int pages(const QString& pdf) {
  QProcess info;
  info.start(QStringLiteral("pdfinfo"), {pdf});
  info.waitForFinished(30000);
  for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split('\n'))
    if (line.startsWith(QLatin1String("Pages:"))) return line.mid(6).trimmed().toInt();
  return 0;
}

// Black ink: dark and without colour, so the red reference marks and blue cut marks never count.
inline double blackness(QRgb c) {
  const int hi = std::max({qRed(c), qGreen(c), qBlue(c)});
  const int lo = std::min({qRed(c), qGreen(c), qBlue(c)});
  if (hi - lo > 60) return 0;
  return (255 - qGray(c)) / 255.0;
}

inline bool red(QRgb c) { return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120; }

// Bounding box in millimetres of the black ink in the region; empty when there is none.
inline QRectF inkBox(const Region& r) {
  double l = 1e9, t = 1e9, rt = -1e9, b = -1e9;
  for (int y = 0; y < r.image.height(); ++y)
    for (int x = 0; x < r.image.width(); ++x)
      if (blackness(r.image.pixel(x, y)) > 0.5) {
        l = std::min(l, r.x(x));
        rt = std::max(rt, r.x(x));
        t = std::min(t, r.y(y));
        b = std::max(b, r.y(y));
      }
  if (l > rt) return {};
  // Pixel centres to pixel edges.
  const double half = 0.5 / r.pxPerMm;
  return QRectF(QPointF(l - half, t - half), QPointF(rt + half, b + half));
}

// How much black ink a region holds (in pixel units) and where its centre lies, in mm.
struct Ink {
  double mass = 0;
  QPointF centre;
};

inline Ink ink(const Region& r) {
  Ink result;
  double mx = 0, my = 0;
  for (int y = 0; y < r.image.height(); ++y)
    for (int x = 0; x < r.image.width(); ++x) {
      const double b = blackness(r.image.pixel(x, y));
      result.mass += b;
      mx += b * r.x(x);
      my += b * r.y(y);
    }
  if (result.mass > 0) result.centre = QPointF(mx / result.mass, my / result.mass);
  return result;
}

}  // namespace measure
