#pragma once

#include <QDialog>
#include <array>

#include "printing/scaling.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace footview {
class FootView;
}

namespace printing {

// The Distances window: the three distances between the reference spheres as measured on the
// scan, an entry for the true distance of one pair, and the scale factor that "Apply" gives the
// model of the foot view it is opened over. Opened modally; "Apply" and "Quit" unload it.
class DForm : public QDialog {
  Q_OBJECT

 public:
  explicit DForm(footview::FootView& foot);
  ~DForm() override;

  void Form_Load();
  void Calc_Scale();

  double ScaleFactor = 1.0;

  QGroupBox* Frame2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QLineEdit* Text3 = nullptr;
  QLineEdit* Text4 = nullptr;
  QLineEdit* Text5 = nullptr;
  QLineEdit* Text6 = nullptr;
  QLineEdit* Text7 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QPushButton* Command7 = nullptr;

 public slots:
  void Text4_Change();
  void Text5_Change();
  void Text6_Change();
  void Command7_Click();  // Apply
  void Command2_Click();  // Quit
  void Command3_Click();  // Reset
  // Escape and the close box leave like "Quit".
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void entryChanged();
  std::array<QLineEdit*, 3> entryBoxes() const;
  // The pair and factor the entries give, as the measured distances stand.
  ScaleChoice chosenScale() const;
  // A factor that would change the foot's size by more than a quarter is put to the operator
  // first, with the entry as typed and as read and the length it would give the foot.
  bool scaleConfirmed();
  void showDistances();
  void showScale(const QString& pattern);
  void unloadForm();

  footview::FootView& foot_;
};

}  // namespace printing
