#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace app {

// Asks which foot the chosen scan shows. Modal; it cannot be cancelled: however it closes, the
// side selected at that moment becomes FootSide.
class SelectForm : public QDialog {
  Q_OBJECT

 public:
  SelectForm();

  void Form_Load();
  void Command1_Click();
  void Form_QueryUnload();

  QRadioButton* Option1 = nullptr;
  QRadioButton* Option2 = nullptr;
  QPushButton* Command1 = nullptr;

 protected:
  // The close box, Alt+F4 and Escape all end up here.
  void reject() override;

 private:
  void takeSideAndUnload();
};

}  // namespace app
