#pragma once

#include <QWidget>
#include <map>
#include <string>

class QLabel;

namespace measure {

// "Measurements": the foot's measurements on the spheres as they stand, in a small window beside
// the foot view that is not modal. Measured again whenever a sphere is placed or moved, or a
// scale applied; where the foot cannot be measured it says why.
class MeasurementsWindow : public QWidget {
  Q_OBJECT

 public:
  MeasurementsWindow();

  void Form_Load();
  // Measures the foot of the foot view (the shared model and foot side) as it stands now.
  void refresh();

  // The value of each measurement, named by its key ("footLength", "archIndex", ...).
  std::map<std::string, QLabel*> values;
  // Why there are no measurements; hidden when there are.
  QLabel* Reason = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// Opens the window, or brings it to the front measured afresh.
void showMeasurements();
// Measures again if the window is open.
void refreshMeasurements();

}  // namespace measure
