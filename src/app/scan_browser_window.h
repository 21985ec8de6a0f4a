#pragma once

#include <QMainWindow>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;

namespace app {

// The command line is [-v] [FILE]: "-v" exactly, first, sets the status prefix; anything else
// but one scan path after it has no effect.
struct CommandLine {
  bool ornivueMode = false;
  QString scan;  // empty when none is named
};
CommandLine readCommandLine(QStringList arguments);

class DirList;
class DriveList;
class FileList;

// The scan file browser: the first window and the status line of the whole program. Closing it
// ends the program.
class MainForm : public QMainWindow {
  Q_OBJECT

 public:
  MainForm();

  void Form_Load();
  void Show_Status(const QString& text);
  void Display_File();
  void Load_Foot();
  // A scan named from outside (the command line, a file opened from the desktop): the lists go
  // to its folder with the file selected, then the side is asked and the scan loaded, as a
  // double click does. A path that cannot be loaded is reported as any scan is.
  void Open_Scan(const QString& path);

  DriveList* Drive1 = nullptr;
  DirList* Dir1 = nullptr;
  FileList* File1 = nullptr;
  // The folder's scans in the formats today's scanners write (STL, OBJ, PLY), beside File1,
  // which lists the VRML scans; a click or double click on either works the same.
  FileList* MeshFiles = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* statusPanel1 = nullptr;  // panel 1 of StatusBar1
  // Says the list shows the shipped samples because the lab's folder does not exist, while the
  // lists are on them.
  QLabel* samplesNotice = nullptr;

  QMenu* mnuFiles = nullptr;
  QAction* mnuExit = nullptr;
  QMenu* mnuHelp1 = nullptr;
  QAction* mnuHelp2 = nullptr;
  QAction* mnuAbout = nullptr;

 public slots:
  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void File1_DblClick();
  void MeshFiles_Click();
  void Command1_Click();
  void Command2_Click();
  void mnuExit_Click();
  void mnuHelp2_Click();
  void mnuAbout_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void footButton(const QString& side);
  // The scan called `name` in the file list's folder becomes the chosen one.
  void chooseScan(const QString& name);
  // Both file lists show the folder list's folder; the shared state and the samples notice
  // follow it.
  void listScans();

  // The foot side the scan on view was opened with: a cancelled load gives it back.
  QString viewSide_;
  QString samplesShown_;  // the samples folder, when it was opened for a missing lab folder
};

// The folder the program opens on when the data folder does not exist: the sample scans it
// ships with, or the home folder where they are missing.
QString samplesFolder();

}  // namespace app
