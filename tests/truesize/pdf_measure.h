#pragma once

// Reading true-size pages back: a region of a PDF page rendered at a known number of pixels
// per millimetre, in millimetres from the page's top-left corner. And the shipped samples with
// their landmarks, as the command line and the windows are given them.

#include <Eigen/Core>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRectF>
#include <algorithm>
#include <array>

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

// Black ink: dark and without colour, so the red reference marks and blue cut marks never count.
inline double blackness(QRgb c) {
  const int hi = std::max({qRed(c), qGreen(c), qBlue(c)});
  const int lo = std::min({qRed(c), qGreen(c), qBlue(c)});
  return hi - lo > 60 ? 0 : (255 - qGray(c)) / 255.0;
}

inline bool red(QRgb c) { return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120; }

// Bounding box in millimetres (pixel edges) of the black ink in the region; empty when none.
inline QRectF inkBox(const Region& r) {
  QRectF box;
  const double px = 1 / r.pxPerMm;
  for (int y = 0; y < r.image.height(); ++y)
    for (int x = 0; x < r.image.width(); ++x)
      if (blackness(r.image.pixel(x, y)) > 0.5)
        box |= QRectF(r.x(x) - px / 2, r.y(y) - px / 2, px, px);
  return box;
}

// How much black ink a region holds (in pixel units) and where its centre lies, in mm.
struct Ink {
  double mass = 0;
  QPointF centre;
};

inline Ink ink(const Region& r) {
  Ink result;
  QPointF moment;
  for (int y = 0; y < r.image.height(); ++y)
    for (int x = 0; x < r.image.width(); ++x) {
      const double b = blackness(r.image.pixel(x, y));
      result.mass += b;
      moment += b * QPointF(r.x(x), r.y(y));
    }
  if (result.mass > 0) result.centre = moment / result.mass;
  return result;
}

}  // namespace measure

namespace sample {

inline const char* const kKeys[] = {"heel", "ball", "adjacent"};
inline const char* const kSpheres[] = {"HeelRef", "BallRef", "AdjRef"};

inline QString scan(const QString& side) {
  return QStringLiteral(QUARNEL_SAMPLES_DIR "/") + side + "Foot.wrl";
}

// The point of a JSON object's "key": [x, y, z].
inline Eigen::Vector3d point(const QJsonObject& o, const char* key) {
  const QJsonArray a = o[key].toArray();
  return {a[0].toDouble(), a[1].toDouble(), a[2].toDouble()};
}

// Heel, ball and adjacent from the landmarks file beside the sample.
inline std::array<Eigen::Vector3d, 3> landmarks(const QString& side) {
  QFile f(QStringLiteral(QUARNEL_SAMPLES_DIR "/") + side + "Foot.landmarks.json");
  f.open(QIODevice::ReadOnly);
  const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
  return {point(o, kKeys[0]), point(o, kKeys[1]), point(o, kKeys[2])};
}

inline QString text(const Eigen::Vector3d& p) {
  return QStringLiteral("%1,%2,%3")
      .arg(p.x(), 0, 'g', 17)
      .arg(p.y(), 0, 'g', 17)
      .arg(p.z(), 0, 'g', 17);
}

// quarnel-scan print on a sample with its landmarks; `more` holds the remaining options.
inline QStringList printArgs(const QString& side, const QStringList& more) {
  const auto at = landmarks(side);
  return QStringList{"print",     scan(side), "--side",    side,         "--heel",
                     text(at[0]), "--ball",   text(at[1]), "--adjacent", text(at[2])} +
         more;
}

#ifdef QUARNEL_SCAN
struct Outcome {
  int exitCode = -1;
  QString out, err;
};

inline Outcome run(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(QUARNEL_SCAN), args);
  p.waitForFinished(120000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}
#endif

}  // namespace sample
