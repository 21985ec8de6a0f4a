#include "platform/runtime.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

bool isLeadingBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// "&H1F" / "&O17": integer digits of the given radix, blanks between digits skipped.
double readRadix(const QString& text, int pos, int radix) {
  double value = 0;
  for (; pos < text.size(); ++pos) {
    const QChar c = text.at(pos);
    if (c == u' ') continue;
    const int digit = QString(c).toInt(nullptr, radix);
    const bool isDigit = c.isDigit() || (radix == 16 && QString("abcdefABCDEF").contains(c));
    if (!isDigit || (radix == 8 && c > u'7')) break;
    value = value * radix + digit;
  }
  return value;
}

double logicalDpiX() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double logicalDpiY() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInchY() : 96.0;
}

}  // namespace

double Val(const QString& text) {
  int pos = 0;
  while (pos < text.size() && isLeadingBlank(text.at(pos))) ++pos;
  if (pos + 1 < text.size() && text.at(pos) == u'&') {
    const QChar kind = text.at(pos + 1).toUpper();
    if (kind == u'H') return readRadix(text, pos + 2, 16);
    if (kind == u'O') return readRadix(text, pos + 2, 8);
  }
  // Collect the accepted characters without blanks and let strtod read them; the C library
  // reads "." as the decimal point whatever the operator's locale, as the old runtime did.
  std::string number;
  if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-')) {
    number += static_cast<char>(text.at(pos).unicode());
    ++pos;
  }
  bool seenPoint = false;
  bool seenDigit = false;
  for (; pos < text.size(); ++pos) {
    const QChar c = text.at(pos);
    if (c == u' ') continue;
    if (c.isDigit() && c.unicode() < 128) {
      number += static_cast<char>(c.unicode());
      seenDigit = true;
    } else if (c == u'.' && !seenPoint) {
      number += '.';
      seenPoint = true;
    } else {
      break;
    }
  }
  if (!seenDigit) return 0.0;
  // Exponent: E or D, optional sign, digits; taken only when at least one digit follows.
  if (pos < text.size() && QString("eEdD").contains(text.at(pos))) {
    int p = pos + 1;
    std::string exponent = "e";
    if (p < text.size() && (text.at(p) == u'+' || text.at(p) == u'-')) {
      exponent += static_cast<char>(text.at(p).unicode());
      ++p;
    }
    bool expDigit = false;
    for (; p < text.size(); ++p) {
      const QChar c = text.at(p);
      if (c == u' ') continue;
      if (!c.isDigit() || c.unicode() >= 128) break;
      exponent += static_cast<char>(c.unicode());
      expDigit = true;
    }
    if (expDigit) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

QString Format(double value, const QString& pattern) {
  const int point = pattern.indexOf(u'.');
  const int decimals = point < 0 ? 0 : static_cast<int>(pattern.size() - point - 1);
  // The C locale's '.' always: the operator's printouts and the distance boxes are read back
  // with Val, which knows only '.'.
  return QString::number(value, 'f', decimals);
}

std::int16_t CInt(double value) {
  if (!std::isfinite(value)) throw std::overflow_error("Overflow");
  const double rounded = std::nearbyint(value);  // default rounding mode: half to even
  if (rounded < -32768.0 || rounded > 32767.0) throw std::overflow_error("Overflow");
  return static_cast<std::int16_t>(rounded);
}

namespace {
std::optional<QStringList> argumentsOverride;
}

QStringList commandArguments() {
  if (argumentsOverride) return *argumentsOverride;
  return QCoreApplication::arguments().mid(1);
}

void setCommandArguments(const QStringList& arguments) { argumentsOverride = arguments; }

QString shippedPath(const QString& relative) {
  QString folder = qEnvironmentVariable("QUARNEL_DATA_DIR");
  if (folder.isEmpty()) {
    folder = QCoreApplication::applicationDirPath() + u'/' + QStringLiteral(QUARNEL_DATA_FROM_BIN);
  }
  return QDir::cleanPath(folder + u'/' + relative);
}

double twipsPerPixelX() { return 1440.0 / logicalDpiX(); }
double twipsPerPixelY() { return 1440.0 / logicalDpiY(); }
int twipsToPixelsX(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixelX())); }
int twipsToPixelsY(double twips) { return static_cast<int>(std::lround(twips / twipsPerPixelY())); }
double pixelsToTwipsX(double pixels) { return pixels * twipsPerPixelX(); }
double pixelsToTwipsY(double pixels) { return pixels * twipsPerPixelY(); }

QRect twipsRect(double left, double top, double width, double height) {
  return QRect(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width),
               twipsToPixelsY(height));
}

void placeControl(QWidget* control, const char* name, double left, double top, double width,
                  double height) {
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(twipsRect(left, top, width, height));
}

QFont designFont(double points, bool bold) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

}  // namespace platform
