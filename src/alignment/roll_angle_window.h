#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace alignment {

// "Foot Alignment": asks for the roll angle in degrees. Opened modally by the alignment; there
// is no way to cancel it, so however it closes the alignment goes on.
class AlignForm : public QDialog {
  Q_OBJECT

 public:
  AlignForm();
  ~AlignForm() override;

  void Form_Load();
  void Form_QueryUnload();

  QLabel* Label1 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Command1 = nullptr;

 public slots:
  void Command1_Click();  // Accept
  // Escape leaves as the close box does: the roll angle keeps its value.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void unloadForm();
};

}  // namespace alignment
