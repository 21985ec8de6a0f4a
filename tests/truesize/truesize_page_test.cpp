// The true-size page read back from its PDF: the check ruler and square measure true, the
// outline spans exactly the foot's extent seen from below, before and after alignment and
// scaling, a foot too large for the sheet tiles onto pages whose overlaps line up, and a foot
// that would take more pages than any foot needs is refused before a file is written.

#include <gtest/gtest.h>

#include <QDate>
#include <QGuiApplication>
#include <QPdfDocument>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <tuple>

#include "alignment/align.h"
#include "alignment/spheres.h"
#include "kernelcad/core/scan_reader.h"
#include "measure/model_measure.h"
#include "pdf_measure.h"
#include "printing/scaling.h"
#include "printing/truesize.h"

namespace {

// A4 landscape, 10 mm margins; the outline band lies between header and footer.
constexpr double kMargin = 10, kPrintableW = 277, kPrintableH = 190, kOutlinePen = 0.3;
const QRectF kBand(kMargin, kMargin + printing::kTrueSizeHeaderMm, kPrintableW,
                   kPrintableH - printing::kTrueSizeHeaderMm - printing::kTrueSizeFooterMm);

// The sample scan with its three spheres on the known landmarks.
std::shared_ptr<kernelcad::Model> sampleWithSpheres(const QString& side) {
  auto model = std::make_shared<kernelcad::Model>();
  model->setScan(std::make_shared<const kernelcad::Mesh>(
      kernelcad::ReadScanFile(sample::scan(side).toStdString()).mesh));
  const auto at = sample::landmarks(side);
  for (std::size_t i = 0; i < 3; ++i)
    alignment::Draw_Sphere(*model, at[i].x(), at[i].y(), at[i].z(), sample::kSpheres[i]);
  return model;
}

// The mesh's extent on the XY plane, computed from its placed vertices.
QRectF projected(const kernelcad::Model& model) {
  const auto b = model.GetItem(0)->worldBounds();
  return QRectF(QPointF(b[0], b[1]), QPointF(b[3], b[4]));
}

// Writes the PDF, checks every page is A4 landscape and returns the page count.
int print(const kernelcad::Model& model, const QString& path) {
  const int pages = printing::Write_TrueSize_Pdf(
      path, printing::Collect_TrueSize(model, "Left", "LeftFoot.wrl", QDate(2024, 5, 17)));
  QPdfDocument doc;
  EXPECT_EQ(doc.load(path), QPdfDocument::NoError);
  EXPECT_EQ(doc.pageCount(), pages);
  for (int page = 0; page < doc.pageCount(); ++page) {
    const QSizeF mm = doc.pageSize(page) * (25.4 / 72.0);
    EXPECT_NEAR(mm.width(), 297, 0.1);
    EXPECT_NEAR(mm.height(), 210, 0.2);
  }
  return pages;
}

// The outline stroke's centre line, from the black ink of the band.
QRectF outlineOnPage(const QString& pdf, int page) {
  const QRectF ink = measure::inkBox(measure::render(pdf, page, kBand, 10));
  return ink.adjusted(kOutlinePen / 2, kOutlinePen / 2, -kOutlinePen / 2, -kOutlinePen / 2);
}

// Aligned on the lateral axis, rolled and scaled, as the alignment and "Apply" leave it.
void alignAndScale(const std::shared_ptr<kernelcad::Model>& model) {
  const alignment::Scene scene{model, std::make_shared<kernelcad::View>(model), {}};
  alignment::ReferencePoints points{model->GetItem(1)->GetPosition(),
                                    model->GetItem(2)->GetPosition(),
                                    model->GetItem(3)->GetPosition()};
  alignment::FootItems items;
  alignment::Align_To_Axis(scene, alignment::Axis::Lateral, alignment::Side::Left, points, items);
  alignment::Check_Rotation(scene);
  alignment::Roll_Foot(scene, 6.0, items);
  ASSERT_TRUE(printing::Apply_Scale(*model, 1.035));
}

bool redNear(const measure::Region& r, const QPointF& mm, double radius) {
  for (double dy = -radius; dy <= radius; dy += 0.05)
    for (double dx = -radius; dx <= radius; dx += 0.05) {
      const int x = int((mm.x() + dx - r.mm.left()) * r.pxPerMm);
      const int y = int((mm.y() + dy - r.mm.top()) * r.pxPerMm);
      if (r.image.rect().contains(x, y) && measure::red(r.image.pixel(x, y))) return true;
    }
  return false;
}

class TrueSizePage : public ::testing::Test {
 protected:
  QTemporaryDir dir;
};

TEST_F(TrueSizePage, RulerAndSquareMeasureTrue) {
  const auto model = sampleWithSpheres("Left");
  const QString pdf = dir.filePath("ruler.pdf");
  ASSERT_EQ(print(*model, pdf), 1);
  const double footerTop = kMargin + kPrintableH - printing::kTrueSizeFooterMm;
  const measure::Region r = measure::render(
      pdf, 0, QRectF(kMargin, footerTop, kPrintableW, printing::kTrueSizeFooterMm), 20);

  // Strokes whose longest run of ink along `vertical` columns (or rows) lies within [lo, hi] mm.
  const auto strokes = [&](bool vertical, double lo, double hi) {
    const int lines = vertical ? r.image.width() : r.image.height();
    const int along = vertical ? r.image.height() : r.image.width();
    std::vector<double> centres;
    double weight = 0, moment = 0;
    for (int k = 0; k <= lines; ++k) {
      int longest = 0, run = 0;
      double ink = 0;
      for (int a = 0; k < lines && a < along; ++a) {
        const double b = measure::blackness(vertical ? r.image.pixel(k, a) : r.image.pixel(a, k));
        run = b > 0.5 ? run + 1 : 0;
        longest = std::max(longest, run);
        ink += b;
      }
      const double mm = longest / r.pxPerMm;
      if (k < lines && mm >= lo && mm <= hi) {
        weight += ink;
        moment += ink * k;
      } else if (weight > 0) {
        centres.push_back(vertical ? r.x(moment / weight) : r.y(moment / weight));
        weight = moment = 0;
      }
    }
    return centres;
  };
  // The centimetre ticks are the only strokes about 6 mm long.
  const std::vector<double> ticks = strokes(true, 5, 8);
  ASSERT_EQ(ticks.size(), 11u);
  EXPECT_NEAR(ticks.back() - ticks.front(), 100.0, 0.1);
  for (std::size_t i = 1; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i] - ticks[i - 1], 10.0, 0.1);
  for (const bool vertical : {true, false}) {  // the square's two sides, then its two edges
    const double side = printing::kTrueSizeSquareMm;
    const std::vector<double> sides = strokes(vertical, side - 5, side + 5);
    ASSERT_EQ(sides.size(), 2u);
    EXPECT_NEAR(sides[1] - sides[0], side, 0.1);
  }
}

TEST_F(TrueSizePage, OutlineSpansTheFootSeenFromBelowBeforeAndAfterAlignmentAndScaling) {
  const auto model = sampleWithSpheres("Left");
  for (const bool aligned : {false, true}) {
    SCOPED_TRACE(aligned ? "aligned and scaled" : "as scanned");
    if (aligned) {
      alignAndScale(model);
      EXPECT_NEAR(printing::Applied_Scale(*model), 1.035, 1e-12);
    }
    const QRectF mesh = projected(*model);
    const printing::PlantarOutline outline = printing::Plantar_Outline(*model);
    EXPECT_NEAR(outline.minX, mesh.left(), 0.1);
    EXPECT_NEAR(outline.maxX, mesh.right(), 0.1);
    EXPECT_NEAR(outline.minY, mesh.top(), 0.1);
    EXPECT_NEAR(outline.maxY, mesh.bottom(), 0.1);

    const QString pdf = dir.filePath("outline.pdf");
    ASSERT_EQ(print(*model, pdf), 1);
    const QRectF paper = outlineOnPage(pdf, 0);
    EXPECT_NEAR(paper.width(), mesh.width(), 0.2);
    EXPECT_NEAR(paper.height(), mesh.height(), 0.2);

    // Seen from below: +X to the right and +Y down, so each sphere's cross sits at its model
    // X and Y from the outline's top-left corner, and not where a view from above puts it.
    const measure::Region band = measure::render(pdf, 0, kBand, 10);
    for (long item = 1; item <= 3; ++item) {
      const kernelcad::Vec3 c = model->GetItem(item)->GetPosition();
      const QPointF below(paper.left() + c.x() - mesh.left(), paper.top() + c.y() - mesh.top());
      const QPointF above(below.x(), paper.top() + mesh.bottom() - c.y());
      EXPECT_TRUE(redNear(band, below, 0.3)) << "sphere " << item;
      if (std::abs(above.y() - below.y()) > 4) {
        EXPECT_FALSE(redNear(band, above, 1.0)) << "sphere " << item;
      }
    }
  }
}

TEST_F(TrueSizePage, HeaderMeasuresTheFootAndItsContactRegionLiesUnderTheOutline) {
  const auto model = sampleWithSpheres("Left");
  double scanned = 0;
  for (const bool aligned : {false, true}) {
    SCOPED_TRACE(aligned ? "aligned and scaled" : "as scanned");
    if (aligned) alignAndScale(model);
    const QString pdf = dir.filePath("contact.pdf");
    ASSERT_EQ(print(*model, pdf), 1);
    const measure::Measurements m = measure::measureModel(*model, footview::Side::Left);
    ASSERT_TRUE(m.valid) << m.reason;
    // Turned and shifted the foot measures the same; scaled, its lengths follow the factor.
    if (aligned) {
      EXPECT_NEAR(m.footLength, 1.035 * scanned, 1e-6);
    }
    scanned = m.footLength;
    QPdfDocument doc;
    doc.load(pdf);
    const QString length = QStringLiteral("Foot length %1 mm").arg(m.footLength, 0, 'f', 1);
    EXPECT_TRUE(doc.getAllText(0).text().contains(length)) << length.toStdString();

    // The hatch is light green: neither ink nor the marks' red.
    const QRectF outline = outlineOnPage(pdf, 0);
    const measure::Region band = measure::render(pdf, 0, kBand, 10);
    QRectF hatch;
    int pixels = 0;
    for (int y = 0; y < band.image.height(); ++y)
      for (int x = 0; x < band.image.width(); ++x) {
        const QRgb c = band.image.pixel(x, y);
        if (qGreen(c) - qRed(c) > 30 && qGreen(c) - qBlue(c) > 30) {
          hatch |= QRectF(band.x(x), band.y(y), 0.1, 0.1);
          ++pixels;
        }
      }
    EXPECT_GT(pixels, 5000);
    EXPECT_TRUE(outline.contains(hatch)) << "hatch " << hatch.left() << ", " << hatch.top()
                                         << " to " << hatch.right() << ", " << hatch.bottom();
    // Heel to ball the contact region spans most of the foot.
    EXPECT_GT(hatch.width(), 0.6 * outline.width());
  }
}

TEST_F(TrueSizePage, LargeFootTilesOntoPagesWhoseOverlapsLineUp) {
  const auto model = sampleWithSpheres("Left");
  ASSERT_TRUE(printing::Apply_Scale(*model, 380.0 / projected(*model).width()));
  const QRectF mesh = projected(*model);
  ASSERT_NEAR(mesh.width(), 380.0, 1e-6);
  const QString pdf = dir.filePath("tiles.pdf");
  // Pages run row by row: 380 mm needs two columns, the scaled width two rows.
  ASSERT_EQ(print(*model, pdf), 4);
  const double stepX = kBand.width() - printing::kTrueSizeOverlapMm;
  const double stepY = kBand.height() - printing::kTrueSizeOverlapMm;

  // The same strip of outline on two neighbouring pages: its ink, and where the ink's centre
  // lies, must agree. The strips keep 1 mm clear of the page's edge and of the dashed glue line.
  for (const auto& [first, second, across] :
       {std::tuple{0, 1, true}, {2, 3, true}, {0, 2, false}, {1, 3, false}}) {
    SCOPED_TRACE(std::to_string(first) + " and " + std::to_string(second));
    const double o = printing::kTrueSizeOverlapMm;
    const QRectF a = across ? QRectF(kBand.right() - o + 1, kBand.top(), o - 2, kBand.height())
                            : QRectF(kBand.left(), kBand.bottom() - o + 1, kBand.width(), o - 2);
    const QRectF b = across ? a.translated(-stepX, 0) : a.translated(0, -stepY);
    const QPointF step = across ? QPointF(stepX, 0) : QPointF(0, stepY);
    const measure::Ink ia = measure::ink(measure::render(pdf, first, a, 20));
    const measure::Ink ib = measure::ink(measure::render(pdf, second, b, 20));
    EXPECT_GT(ia.mass, 20.0) << "the outline does not cross the overlap";
    EXPECT_NEAR(ib.mass / ia.mass, 1.0, 0.02);
    EXPECT_NEAR(ia.centre.x() - step.x(), ib.centre.x(), 0.2);
    EXPECT_NEAR(ia.centre.y() - step.y(), ib.centre.y(), 0.2);
  }

  // Put together, the four pieces span the foot.
  QRectF whole;
  for (int page = 0; page < 4; ++page)
    whole |= outlineOnPage(pdf, page).translated((page % 2) * stepX, (page / 2) * stepY);
  EXPECT_NEAR(whole.width(), mesh.width(), 0.2);
  EXPECT_NEAR(whole.height(), mesh.height(), 0.2);
}

TEST_F(TrueSizePage, PagesStayFewAndAScanInAnotherUnitIsRefusedWithoutAFile) {
  const QPageLayout portrait(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                             QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
  // Foot length in mm; pages on A4 landscape and portrait, 0 when refused. 600 mm is the longest
  // foot still taken for millimetres; 260 m is a scan in micrometres.
  const std::tuple<double, int, int> cases[] = {
      {260, 1, 2}, {350, 2, 2}, {600, 6, 8}, {900, 0, 0}, {260e3, 0, 0}};
  const auto model = sampleWithSpheres("Left");
  // A broad foot, 265 mm long and 130 mm across, keeps to one landscape page.
  {
    kernelcad::Mesh broad = *model->GetItem(0)->mesh();
    const QRectF box = projected(*model);
    for (std::size_t i = 0; i < broad.points.size(); i += 3) {
      broad.points[i] = float(broad.points[i] * 265 / box.width());
      broad.points[i + 1] = float(broad.points[i + 1] * 130 / box.height());
    }
    kernelcad::Model wide;
    wide.setScan(std::make_shared<const kernelcad::Mesh>(std::move(broad)));
    const auto sheet = printing::Collect_TrueSize(wide, "Left", "x.wrl", QDate(2024, 5, 17));
    EXPECT_EQ(printing::TrueSize_Pages(sheet, printing::TrueSize_Layout()), 1);
  }
  for (const auto& [length, landscape, upright] : cases) {
    printing::Apply_Scale(*model, length / projected(*model).width());
    const auto sheet = printing::Collect_TrueSize(*model, "Left", "x.wrl", QDate(2024, 5, 17));
    if (landscape) {
      EXPECT_EQ(printing::TrueSize_Pages(sheet, printing::TrueSize_Layout()), landscape) << length;
      EXPECT_EQ(printing::TrueSize_Pages(sheet, portrait), upright) << length;
    } else {
      EXPECT_THROW(printing::Write_TrueSize_Pdf(dir.filePath("x.pdf"), sheet),
                   printing::TrueSizeTooLarge);
      EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf"))) << length;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Fonts for the page, without a screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
