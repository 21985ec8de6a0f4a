#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

#include "measure/foot_measure.h"

// The foot's measurements as scripts and CAD/CAM programs read them: quarnel-scan's JSON and
// CSV, and the summary beside an exported scan.
namespace printing {

// Fixed decimals with a point whatever the locale: print runs inside a Qt application, which
// takes the user's locale.
std::string fixed(double v, int decimals);

// One measurement: its name and its text (a number, or a word when `word`).
struct Field {
  std::string name, text;
  bool word = false;
};
// The measurements of `m` in the order the JSON and the CSV give them.
std::vector<Field> measurementFields(const measure::Measurements& m);

// The same as one JSON object: numbers as numbers, words as strings.
QJsonObject measurementsJson(const measure::Measurements& m);

}  // namespace printing
