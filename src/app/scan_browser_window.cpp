#include "app/scan_browser_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <exception>

#include "app/filelists.h"
#include "app/help_module.h"
#include "app/side_dialog.h"
#include "help/about_window.h"
#include "kernelcad/core/units.h"
#include "kernelcad/widget/kernelcad.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "state/app_state.h"
#include "state/status_line.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"

namespace app {

namespace {

const QString kNone = QStringLiteral("None");

// The designed window, 9600 twips wide, and the mesh scans' list to the right of it.
constexpr int kClientWidth = 9600 + 2895;

// The lists' look: bold dark blue on a light orange ground.
void paintList(QWidget* list) {
  list->setFont(platform::designFont(8.25, true));
  QPalette palette = list->palette();
  const QColor ground(255, 224, 192);
  const QColor ink(0, 0, 96);
  for (const auto role : {QPalette::Base, QPalette::Button, QPalette::Window}) {
    palette.setColor(role, ground);
  }
  for (const auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText}) {
    palette.setColor(role, ink);
  }
  list->setPalette(palette);
  list->setAutoFillBackground(true);
}

// Nowhere to write once the program is ending.
void writeStatus(const QString& text) {
  if (MainForm* form = Forms::loaded<MainForm>()) form->Show_Status(text);
}

QString sizeText(double length) {
  return length >= 1 ? QString::number(length, 'f', 1) : QString::number(length, 'g', 3);
}

// A scan whose size is no foot's in millimetres was most likely written in another unit: the
// operator is told its size and chooses between the likely conversion and keeping it.
kernelcad::LengthUnit unitOfScan(const kernelcad::Mesh& mesh) {
  using kernelcad::LengthUnit;
  const double longest = kernelcad::LongestSide(mesh);
  if (kernelcad::PlausibleFootSize(longest)) return LengthUnit::Millimetre;
  const QString size =
      MainForm::tr("The scan is %1 units long: too %2 for a foot in millimetres.")
          .arg(sizeText(longest), longest < kernelcad::kPlausibleFootMinMm ? MainForm::tr("small")
                                                                           : MainForm::tr("large"));
  const LengthUnit guess = kernelcad::GuessUnit(longest);
  if (guess == LengthUnit::Millimetre) {
    platform::MsgBox(
        size + MainForm::tr("\nNo length unit makes it a foot's size; it is kept as it is."),
        platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Exclamation,
        MainForm::tr("Warning"));
    return guess;
  }
  const QString unit = QString::fromStdString(std::string(kernelcad::UnitName(guess)));
  const QString text =
      size + MainForm::tr(
                 "\nIn %1 it would be %2 mm long.\n\nConvert it from %1 to millimetres? "
                 "No keeps it as it is.")
                 .arg(unit, sizeText(longest * kernelcad::MillimetresPer(guess)));
  return platform::MsgBox(text, platform::MsgBoxButtons::YesNo, platform::MsgBoxIcon::Question,
                          MainForm::tr("Scan Size")) == platform::MsgBoxResult::Yes
             ? guess
             : LengthUnit::Millimetre;
}

}  // namespace

QString samplesFolder() {
  const QString folder = platform::shippedPath(QStringLiteral("samples"));
  if (QFileInfo(folder).isDir()) return folder;
  // A broken installation: say why, and open where every user has a folder.
  qWarning("warning: no sample scans in %s", qPrintable(folder));
  return QDir::homePath();
}

MainForm::MainForm() {
  setStatusWriter(&writeStatus);
  setWindowTitle(tr("Scan File Printer"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(platform::twipsToPixelsX(kClientWidth), platform::twipsToPixelsY(4155));
  setCentralWidget(client);

  // Created in tab order.
  Drive1 = new DriveList(client);
  platform::placeControl(Drive1, "Drive1", 120, 0, 3735, 315);
  paintList(Drive1);
  Dir1 = new DirList(client);
  platform::placeControl(Dir1, "Dir1", 120, 480, 3735, 3240);
  paintList(Dir1);
  File1 = new FileList(client);
  platform::placeControl(File1, "File1", 3960, 0, 5535, 3405);
  paintList(File1);
  MeshFiles = new FileList(client);
  platform::placeControl(MeshFiles, "MeshFiles", 9600, 0, 2775, 3405);
  paintList(MeshFiles);
  MeshFiles->setToolTip(tr("STL, OBJ and PLY scans"));
  // Named under the list, where File1 has its buttons: the list holds other files than File1.
  auto* meshFilesLabel = new QLabel(tr("STL, OBJ and PLY scans"), client);
  platform::placeControl(meshFilesLabel, "MeshFilesLabel", 9600, 3405, 2775, 330);
  meshFilesLabel->setAlignment(Qt::AlignCenter);
  Command2 = new QPushButton(tr("Right Foot"), client);
  platform::placeControl(Command2, "Command2", 6720, 3360, 2775, 375);
  Command2->setFont(platform::designFont(9.75, false));
  Command1 = new QPushButton(tr("Left Foot"), client);
  platform::placeControl(Command1, "Command1", 3960, 3360, 2775, 375);
  Command1->setFont(platform::designFont(9.75, false));
  StatusBar1 = new QStatusBar(client);
  platform::placeControl(StatusBar1, "StatusBar1", 0, 3780, kClientWidth, 375);
  StatusBar1->setFont(platform::designFont(9.75, false));
  StatusBar1->setSizeGripEnabled(false);
  statusPanel1 = new QLabel(StatusBar1);
  statusPanel1->setObjectName(QStringLiteral("statusPanel1"));
  StatusBar1->addWidget(statusPanel1, 1);
  samplesNotice = new QLabel(StatusBar1);
  samplesNotice->setObjectName(QStringLiteral("samplesNotice"));
  StatusBar1->addPermanentWidget(samplesNotice);
  samplesNotice->hide();

  mnuFiles = menuBar()->addMenu(tr("Files"));
  mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
  mnuExit = mnuFiles->addAction(tr("Exit"));
  mnuExit->setObjectName(QStringLiteral("mnuExit"));
  mnuHelp1 = menuBar()->addMenu(tr("Help"));
  mnuHelp1->setObjectName(QStringLiteral("mnuHelp1"));
  mnuHelp2 = mnuHelp1->addAction(tr("Help"));
  mnuHelp2->setObjectName(QStringLiteral("mnuHelp2"));
  mnuAbout = mnuHelp1->addAction(tr("About"));
  mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
  // Fixed single border: the window takes the size of the client area and the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(Drive1, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainForm::Drive1_Change);
  connect(Dir1, &DirList::Change, this, &MainForm::Dir1_Change);
  connect(File1, &QListWidget::itemClicked, this, &MainForm::File1_Click);
  connect(File1, &QListWidget::itemDoubleClicked, this, &MainForm::File1_DblClick);
  connect(MeshFiles, &QListWidget::itemClicked, this, &MainForm::MeshFiles_Click);
  connect(MeshFiles, &QListWidget::itemDoubleClicked, this, [this] {
    MeshFiles_Click();
    File1_DblClick();
  });
  connect(Command1, &QPushButton::clicked, this, &MainForm::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &MainForm::Command2_Click);
  connect(mnuExit, &QAction::triggered, this, &MainForm::mnuExit_Click);
  connect(mnuHelp2, &QAction::triggered, this, &MainForm::mnuHelp2_Click);
  connect(mnuAbout, &QAction::triggered, this, &MainForm::mnuAbout_Click);
}

void MainForm::Form_Load() {
  AppState& s = state();
  s.DataFolder = defaultDataFolder();
  s.ScanFile = kNone;
  s.FootSide.clear();
  s.AlignRollAngle = 0;
  const CommandLine command = readCommandLine(platform::commandArguments());
  s.OrnivueMode = command.ornivueMode;
  // Without a data folder on this machine the operator still finds scans: the shipped samples,
  // and a word in the status bar saying why these are shown.
  if (QFileInfo(s.DataFolder).isDir()) {
    Dir1->setPath(s.DataFolder);
  } else {
    Dir1->setPath(samplesFolder());
    samplesShown_ = Dir1->path();
    samplesNotice->setText(tr("Sample scans: %1 does not exist")
                               .arg(QDir::toNativeSeparators(QDir::cleanPath(s.DataFolder))));
  }
  Dir1_Change();
  s.CurrentFolder = Dir1->path();
  Show_Status(tr("Ready"));
  // Opened once the window is on screen, so the side dialog and any message stand over it.
  if (!command.scan.isEmpty())
    QTimer::singleShot(0, this, [this, path = command.scan] { Open_Scan(path); });
}

CommandLine readCommandLine(QStringList arguments) {
  CommandLine command;
  command.ornivueMode = arguments.value(0) == QStringLiteral("-v");
  if (command.ornivueMode) arguments.removeFirst();
  if (arguments.size() == 1 && !arguments.front().startsWith(u'-'))
    command.scan = arguments.front();
  return command;
}

void MainForm::Open_Scan(const QString& path) {
  const QFileInfo file(path);
  // A folder that does not exist is reported as the folder list reports it; the lists stay.
  Dir1->setPath(file.absolutePath());
  for (FileList* list : {File1, MeshFiles}) {
    const auto listed = list->findItems(file.fileName(), Qt::MatchExactly);
    list->setCurrentItem(listed.isEmpty() ? nullptr : listed.front());
  }
  // Chosen even when the list does not show it: a compressed scan, say, is still read.
  chooseScan(file.fileName());
  // No file, no side to ask: loading it says why it cannot be read.
  if (file.isFile())
    File1_DblClick();
  else
    Display_File();
}

void MainForm::Show_Status(const QString& text) {
  statusPanel1->setText(text);
  // Painted now: the step that follows (loading a scan) holds the event loop.
  StatusBar1->repaint();
  // The foot window, where the operator works and which covers this one, shows the same line.
  if (view::Form1* foot = Forms::loaded<view::Form1>()) foot->showStatus(text);
}

void MainForm::Drive1_Change() {
  try {
    Dir1->setPath(Drive1->drive());
  } catch (const std::exception&) {
    // A drive that cannot be opened: the lists stay on the folder they showed.
    Drive1->showDriveOf(Dir1->path());
    throw;
  }
  listScans();
}

void MainForm::Dir1_Change() {
  listScans();
  Drive1->showDriveOf(Dir1->path());
}

void MainForm::listScans() {
  File1->setPattern(QStringLiteral("*.Wrl"));
  File1->setPath(Dir1->path());
  MeshFiles->setPatterns(
      {QStringLiteral("*.stl"), QStringLiteral("*.obj"), QStringLiteral("*.ply")});
  MeshFiles->setPath(Dir1->path());
  state().CurrentFolder = Dir1->path();
  samplesNotice->setVisible(!samplesShown_.isEmpty() && Dir1->path() == samplesShown_);
}

void MainForm::File1_Click() {
  if (const QListWidgetItem* item = File1->currentItem()) {
    MeshFiles->setCurrentItem(nullptr);
    chooseScan(item->text());
  }
}

void MainForm::MeshFiles_Click() {
  if (const QListWidgetItem* item = MeshFiles->currentItem()) {
    File1->setCurrentItem(nullptr);
    chooseScan(item->text());
  }
}

void MainForm::chooseScan(const QString& name) {
  AppState& s = state();
  s.ScanFile = name;
  s.ScanPath = joinPath(File1->path(), s.ScanFile);
  setWindowTitle(tr("Scan File: ") + s.ScanPath);
  Show_Status(tr("Scan File: ") + s.ScanPath);
}

void MainForm::File1_DblClick() {
  if (state().ScanFile == kNone) return;
  // Read while the operator answers: Load_Foot takes what was read of the same path.
  kernelcad::KernelCAD::readAhead(joinPath(state().CurrentFolder, state().ScanFile));
  Forms::get<SelectForm>().exec();
  Display_File();
}

void MainForm::footButton(const QString& side) {
  if (state().ScanFile == kNone) return;
  state().FootSide = side;
  Display_File();
}

void MainForm::Command1_Click() { footButton(QStringLiteral("Left")); }
void MainForm::Command2_Click() { footButton(QStringLiteral("Right")); }

void MainForm::Display_File() {
  Show_Status(tr("Opening...") + state().ScanPath);
  Load_Foot();
}

void MainForm::Load_Foot() {
  AppState& s = state();
  if (s.ScanFile == kNone) return;
  // After a folder change this may name a file that is not there; the control then says so
  // and the foot view keeps what it showed.
  const QString path = joinPath(s.CurrentFolder, s.ScanFile);
  const bool viewWasLoaded = Forms::loaded<view::Form1>() != nullptr;
  view::Form1& form1 = Forms::get<view::Form1>();
  const QPointer<view::Form1> footView(&form1);
  try {
    form1.KernelCAD1->setModelFile(path, &unitOfScan);
  } catch (const kernelcad::LoadCancelled&) {
    if (Forms::loaded<MainForm>() != this) return;  // the program is ending
    // Nothing of the request stays: the side the view was opened with comes back, and a foot
    // view made for this load goes again.
    s.FootSide = viewSide_;
    if (!viewWasLoaded && footView) footView->Form_QueryUnload();
    Show_Status(tr("Opening cancelled: ") + path);
    return;
  }
  viewSide_ = s.FootSide;
  form1.setWindowTitle(tr("Foot: ") + path);
  s.ScanPath = path;
  Show_Status((s.OrnivueMode ? tr("Ornivue: Foot  ") : tr("Fotrella: Foot  ")) + path);
  form1.show();
}

void MainForm::mnuExit_Click() { Forms::endProgram(0); }

void MainForm::closeEvent(QCloseEvent* event) {
  // Never cancelled and nothing asked: the program ends with every window.
  event->accept();
  Forms::endProgram(0);
}

void MainForm::mnuHelp2_Click() {
  // HelpAddress := the help page (the bundled pages where none is installed), then the browser
  // is loaded and shown; when it is open already it only comes to the front, keeping its page.
  openHelp();
}

void MainForm::mnuAbout_Click() { help::showAbout(); }

}  // namespace app
