#include "printing/measurement_fields.h"

#include <charconv>
#include <string_view>

namespace printing {

std::string fixed(double v, int decimals) {
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
  return std::string(text, r.ptr);
}

std::vector<Field> measurementFields(const measure::Measurements& m) {
  const char* arch = m.archClass == measure::ArchClass::High     ? "high"
                     : m.archClass == measure::ArchClass::Normal ? "normal"
                                                                 : "low";
  return {{"foot_length", fixed(m.footLength, 1)},
          {"ball_width", fixed(m.ballWidth, 1)},
          {"ball_width_across", fixed(m.ballWidthAcross, 1)},
          {"heel_width", fixed(m.heelWidth, 1)},
          {"arch_height", fixed(m.archHeight, 1)},
          {"arch_index", fixed(m.archIndex, 3)},
          {"arch_class", arch, true},
          {"chippaux_smirak", fixed(m.chippauxSmirak, 3)},
          {"mondopoint",
           std::to_string(m.size.mondopointLength) + "/" + std::to_string(m.size.mondopointWidth),
           true},
          {"eu_size", fixed(m.size.eu, 1)},
          {"uk_size", fixed(m.size.uk, 1)},
          {"toe_allowance", fixed(measure::kToeAllowance, 0)}};
}

QJsonObject measurementsJson(const measure::Measurements& m) {
  QJsonObject values;
  for (const Field& f : measurementFields(m)) {
    double number = 0;
    std::from_chars(f.text.data(), f.text.data() + f.text.size(), number);
    values.insert(QString::fromStdString(f.name),
                  f.word ? QJsonValue(QString::fromStdString(f.text)) : QJsonValue(number));
  }
  return values;
}

}  // namespace printing
