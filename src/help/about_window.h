#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QPushButton;

namespace help {

// The three web addresses of the About window; the picture writes them out, the link areas open
// them.
inline constexpr const char* supportSiteAddress = "https://www.pedalox-support.example/";
inline constexpr const char* updatesAddress = "https://www.pedalox-support.example/downloads.php";
inline constexpr const char* suppliesAddress = "https://www.orthomaterials-supply.example/";

// The About window's background: logo, the three lines and their addresses, 568 x 431 pixels,
// drawn with `ratio` device pixels to each of them so it stays sharp on a scaled screen.
QPixmap aboutPicture(qreal ratio = 1.0);

// A label that reports a click, for the link areas over the addresses in the picture.
class LinkArea : public QLabel {
  Q_OBJECT

 public:
  explicit LinkArea(QWidget* parent) : QLabel(parent) {}

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class AboutForm : public QWidget {
  Q_OBJECT

 public:
  AboutForm();

  void Form_Load();
  void Open_Link(const QString& address);

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  LinkArea* Label4 = nullptr;
  LinkArea* Label5 = nullptr;
  LinkArea* Label6 = nullptr;
  QPushButton* Command1 = nullptr;

 public slots:
  void Command1_Click();
  void Form_QueryUnload();
  void Label4_Click();
  void Label5_Click();
  void Label6_Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QPixmap picture_;
};

// The About menu's command: the window is loaded and shown, or brought up when already open.
void showAbout();

}  // namespace help
