#include "measure/measurements_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>

#include "measure/model_measure.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace measure {

MeasurementsWindow::MeasurementsWindow() {
  setObjectName(QStringLiteral("MeasurementsWindow"));
  setWindowTitle(tr("Measurements"));
  auto* grid = new QGridLayout(this);
  grid->setColumnStretch(1, 1);
  // The rows are those of any valid measurement; only their values change.
  int row = 0;
  for (const Reading& r : readings(Measurements{})) {
    grid->addWidget(new QLabel(QString::fromStdString(r.label) + ':', this), row, 0);
    auto* value = new QLabel(this);
    value->setObjectName(QString::fromStdString(r.key));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(value, row++, 1);
    values[r.key] = value;
  }
  Reason = new QLabel(this);
  Reason->setObjectName(QStringLiteral("Reason"));
  Reason->setWordWrap(true);
  grid->addWidget(Reason, row, 0, 1, 2);
}

void MeasurementsWindow::Form_Load() { refresh(); }

void MeasurementsWindow::refresh() {
  const app::AppState& s = app::state();
  Measurements m;
  if (!s.ModelRef) {
    m.reason = "No foot is loaded.";
  } else if (!s.footChosen()) {
    m.reason = "No foot side is chosen.";
  } else {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m = measureModel(*s.ModelRef, s.FootSide == QLatin1String("Left") ? footview::Side::Left
                                                                      : footview::Side::Right);
    QApplication::restoreOverrideCursor();
  }
  for (auto& [key, label] : values) label->clear();
  if (m.valid)
    for (const Reading& r : readings(m)) values.at(r.key)->setText(QString::fromStdString(r.value));
  Reason->setText(m.valid ? QString()
                          : tr("Not measured: %1").arg(QString::fromStdString(m.reason)));
  Reason->setVisible(!m.valid);
}

void MeasurementsWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  app::Forms::unload(this);
}

void showMeasurements() {
  // A new window measures as it loads.
  refreshMeasurements();
  MeasurementsWindow& window = app::Forms::get<MeasurementsWindow>();
  window.show();
  window.raise();
  window.activateWindow();
}

void refreshMeasurements() {
  if (auto* window = app::Forms::loaded<MeasurementsWindow>()) window->refresh();
}

}  // namespace measure
