#include "help/about_window.h"

#include <QCloseEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "platform/runtime.h"
#include "platform/shell.h"
#include "state/window_registry.h"

namespace help {

namespace {

// Where the picture writes the addresses: a column from x = 224 to 537, one line centred at each
// of these heights. The link areas of the window lie over exactly these lines.
constexpr int addressLeft = 224;
constexpr int addressRight = 537;
constexpr int addressCentres[3] = {125, 150, 174};

void drawFootprint(QPainter& p, const QRectF& box) {
  // A sole seen from below, heel at the bottom, and five toes: the maker's mark.
  const double w = box.width(), h = box.height();
  const auto at = [&](double x, double y) {
    return QPointF(box.left() + x * w, box.top() + y * h);
  };
  QPainterPath sole;
  sole.moveTo(at(0.50, 0.98));
  sole.cubicTo(at(0.22, 0.98), at(0.24, 0.70), at(0.30, 0.55));
  sole.cubicTo(at(0.34, 0.44), at(0.18, 0.36), at(0.22, 0.25));
  sole.cubicTo(at(0.28, 0.14), at(0.80, 0.14), at(0.80, 0.30));
  sole.cubicTo(at(0.80, 0.45), at(0.70, 0.55), at(0.72, 0.70));
  sole.cubicTo(at(0.75, 0.92), at(0.66, 0.98), at(0.50, 0.98));
  p.drawPath(sole);
  const double toes[5][3] = {{0.28, 0.10, 0.13},
                             {0.45, 0.05, 0.10},
                             {0.58, 0.05, 0.09},
                             {0.69, 0.09, 0.08},
                             {0.78, 0.16, 0.07}};
  for (const auto& toe : toes)
    p.drawEllipse(at(toe[0], toe[1]), toe[2] * w * 0.55, toe[2] * h * 0.5);
}

}  // namespace

QPixmap aboutPicture(qreal ratio) {
  QPixmap picture(QSize(568, 431) * ratio);
  picture.setDevicePixelRatio(ratio);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);

  QLinearGradient sky(0, 0, 0, 431);
  sky.setColorAt(0, QColor(232, 242, 252));
  sky.setColorAt(0.45, QColor(250, 250, 246));
  sky.setColorAt(1, QColor(238, 232, 220));
  p.fillRect(QRect(0, 0, 568, 431), sky);

  // Logo: the footprint in a ring, the maker's name beside it.
  p.setPen(QPen(QColor(0, 70, 140), 3));
  p.setBrush(QColor(255, 255, 255));
  p.drawEllipse(QRectF(22, 14, 84, 84));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 90, 170));
  drawFootprint(p, QRectF(38, 22, 52, 70));
  QFont title = platform::designFont(30, true);
  title.setPixelSize(40);
  title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  p.setFont(title);
  p.setPen(QColor(0, 70, 140));
  p.drawText(QRectF(122, 18, 420, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("PEDALOX"));
  QFont tagline = platform::designFont(10);
  tagline.setPixelSize(14);
  tagline.setItalic(true);
  p.setFont(tagline);
  p.setPen(QColor(90, 90, 90));
  p.drawText(QRectF(124, 66, 420, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("foot scanning for the orthotics lab"));
  p.setPen(QPen(QColor(0, 70, 140, 120), 1));
  p.drawLine(QPointF(22, 106), QPointF(546, 106));

  // The three lines: what each address is, then the address in the column of the link areas.
  const QString captions[3] = {QStringLiteral("Web site:"), QStringLiteral("Software updates:"),
                               QStringLiteral("Materials and hardware:")};
  const QString addresses[3] = {QString::fromLatin1(supportSiteAddress),
                                QString::fromLatin1(updatesAddress),
                                QString::fromLatin1(suppliesAddress)};
  QFont captionFont = platform::designFont(9);
  captionFont.setPixelSize(12);
  QFont addressFont = platform::designFont(9);
  addressFont.setPixelSize(13);
  addressFont.setUnderline(true);
  // The longest address must fit the column.
  while (addressFont.pixelSize() > 8 &&
         QFontMetrics(addressFont).horizontalAdvance(addresses[1]) > addressRight - addressLeft)
    addressFont.setPixelSize(addressFont.pixelSize() - 1);
  for (int i = 0; i < 3; ++i) {
    const QRectF line(0, addressCentres[i] - 11, 0, 22);
    p.setFont(captionFont);
    p.setPen(QColor(60, 60, 60));
    p.drawText(line.adjusted(22, 0, addressLeft - 8, 0), Qt::AlignRight | Qt::AlignVCenter,
               captions[i]);
    p.setFont(addressFont);
    p.setPen(QColor(0, 0, 200));
    p.drawText(line.adjusted(addressLeft, 0, addressRight, 0), Qt::AlignLeft | Qt::AlignVCenter,
               addresses[i]);
  }
  p.setPen(QPen(QColor(0, 70, 140, 120), 1));
  p.drawLine(QPointF(22, 200), QPointF(546, 200));
  return picture;
}

void LinkArea::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->pos())) emit clicked();
}

AboutForm::AboutForm() : picture_(aboutPicture(devicePixelRatioF())) {
  setWindowTitle(tr("About QUARNEL"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(platform::twipsToPixelsX(8520), platform::twipsToPixelsY(6480));
  setFont(platform::designFont(9.75));

  Command1 = new QPushButton(tr("Close"), this);
  platform::placeControl(Command1, "Command1", 6120, 6000, 2295, 375);
  Command1->setFont(platform::designFont(9.75));

  const auto textLabel = [this](const char* name, double top, const QFont& font) {
    auto* label = new QLabel(this);
    platform::placeControl(label, name, 2520, top, 5535, 375);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
  };
  Label1 = textLabel("Label1", 3600, platform::designFont(12, true));
  Label2 = textLabel("Label2", 4200, platform::designFont(9.75));
  Label3 = textLabel("Label3", 4800, platform::designFont(9.75));

  const auto linkArea = [this](const char* name, double top) {
    auto* area = new LinkArea(this);
    platform::placeControl(area, name, 3360, top, 4695, 375);
    area->setCursor(Qt::PointingHandCursor);
    return area;
  };
  Label4 = linkArea("Label4", 1680);
  Label5 = linkArea("Label5", 2040);
  Label6 = linkArea("Label6", 2400);
  Label4->setToolTip(QString::fromLatin1(supportSiteAddress));
  Label5->setToolTip(QString::fromLatin1(updatesAddress));
  Label6->setToolTip(QString::fromLatin1(suppliesAddress));

  Command1->setFocus();
  connect(Command1, &QPushButton::clicked, this, &AboutForm::Command1_Click);
  connect(Label4, &LinkArea::clicked, this, &AboutForm::Label4_Click);
  connect(Label5, &LinkArea::clicked, this, &AboutForm::Label5_Click);
  connect(Label6, &LinkArea::clicked, this, &AboutForm::Label6_Click);
}

void AboutForm::Form_Load() {
  Label1->setText(QStringLiteral("PEDALOX                Scan File Printer"));
  Label2->setText(tr("Copyright \u00A9 2004-2016 PEDALOX. All rights reserved."));
  Label3->setText(QStringLiteral("Version 1.90               April 2016"));
  Label4->setText(QString());
  Label5->setText(QString());
  Label6->setText(QString());
}

void AboutForm::Open_Link(const QString& address) {
  // Nothing to report when the desktop cannot open it: the click just has no effect.
  (void)platform::ShellOpen(address);
}

void AboutForm::Label4_Click() { Open_Link(QString::fromLatin1(supportSiteAddress)); }
void AboutForm::Label5_Click() { Open_Link(QString::fromLatin1(updatesAddress)); }
void AboutForm::Label6_Click() { Open_Link(QString::fromLatin1(suppliesAddress)); }

void AboutForm::Command1_Click() { close(); }

void AboutForm::Form_QueryUnload() { app::Forms::unload(this); }

void AboutForm::closeEvent(QCloseEvent* event) {
  event->accept();  // never cancelled
  Form_QueryUnload();
}

void AboutForm::paintEvent(QPaintEvent*) {
  // Drawn again when the window has moved to a screen of another scale, to stay sharp.
  if (picture_.devicePixelRatioF() != devicePixelRatioF())
    picture_ = aboutPicture(devicePixelRatioF());
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawPixmap(rect(), picture_);
}

void showAbout() {
  AboutForm& about = app::Forms::get<AboutForm>();
  about.show();
  about.raise();
  about.activateWindow();
}

}  // namespace help
