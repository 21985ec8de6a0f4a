// The scan file browser and the foot side dialog, driven through their controls.

#include "app/mainform.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <memory>
#include <stdexcept>

#include "app/appstate.h"
#include "app/filelists.h"
#include "app/selectform.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "view/form1.h"
#include "window_test_support.h"

using app::Forms;
using app::MainForm;
using testing_support::chooseMenu;
using testing_support::clickItem;

namespace {

QStringList listed(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

QString statusText(const MainForm& form) { return form.statusPanel1->text(); }

void writeFile(const QString& path, const QByteArray& content = "#VRML V2.0 utf8\n") {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(content);
}

// Double-clicks the folder list entry that stands for `folder`.
bool openFolder(app::DirList* list, const QString& folder) {
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (item->data(Qt::UserRole).toString() == QDir::cleanPath(folder)) {
      list->scrollToItem(item);
      const QPoint at = list->visualItemRect(item).center();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
      return true;
    }
  }
  return false;
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

  MainForm& start() {
    MainForm& form = Forms::get<MainForm>();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) qWarning("browser not exposed");
    return form;
  }

  QString dataFolder() const { return QDir::cleanPath(app::defaultDataFolder()); }

 private slots:
  void init() {
    Forms::destroyAll();
    app::state() = app::AppState{};
    platform::setCommandLine(QString());
    messages_ = std::make_unique<platform::MsgBoxScript>();
  }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
    QDir(dataFolder()).removeRecursively();
  }

  void startsOnSampleScansWithoutDataFolder() {
    MainForm& form = start();
    QCOMPARE(form.windowTitle(), QStringLiteral("Scan File Printer"));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.Dir1->path(), QDir::cleanPath(app::samplesFolder()));
    QCOMPARE(listed(form.File1), (QStringList{"LeftFoot.wrl", "RightFoot.wrl"}));
    QCOMPARE(statusText(form), QStringLiteral("Ready"));
    const app::AppState& s = app::state();
    QCOMPARE(s.ScanFile, QStringLiteral("None"));
    QVERIFY(s.FootSide.isEmpty());
    QCOMPARE(s.CurrentFolder, form.Dir1->path());
    QVERIFY(!s.ModelRef);
    QVERIFY(!s.OrnivueMode);
    QVERIFY(!s.PlaceHeelArmed && !s.PlaceBallArmed && !s.PlaceAdjacentArmed);
    QVERIFY(!s.MoveHeelArmed && !s.MoveBallArmed && !s.MoveAdjacentArmed);
    QCOMPARE(s.AlignRollAngle, 0.0);
  }

  void walksDataFolderAndChoosesScan() {
    const QString data = dataFolder();
    writeFile(data + "/a.WRL");
    writeFile(data + "/b.wrl");
    writeFile(data + "/notes.txt");
    writeFile(data + "/old.wrl.bak");
    writeFile(data + "/sub/c.Wrl");
    MainForm& form = start();
    QCOMPARE(form.Dir1->path(), data);
    QCOMPARE(listed(form.File1), (QStringList{"a.WRL", "b.wrl"}));

    QVERIFY(clickItem(form.File1, "b.wrl"));
    QCOMPARE(app::state().ScanFile, QStringLiteral("b.wrl"));
    QCOMPARE(app::state().ScanPath, data + "/b.wrl");
    QCOMPARE(form.windowTitle(), "Scan File: " + data + "/b.wrl");
    QCOMPARE(statusText(form), "Scan File: " + data + "/b.wrl");

    QVERIFY(openFolder(form.Dir1, data + "/sub"));
    QCOMPARE(form.Dir1->path(), data + "/sub");
    QCOMPARE(app::state().CurrentFolder, data + "/sub");
    QCOMPARE(listed(form.File1), QStringList{"c.Wrl"});
    // A folder change keeps the chosen scan.
    QCOMPARE(app::state().ScanFile, QStringLiteral("b.wrl"));

    QVERIFY(openFolder(form.Dir1, data));
    QCOMPARE(app::state().CurrentFolder, data);
    QCOMPARE(listed(form.File1), (QStringList{"a.WRL", "b.wrl"}));
  }

  void footButtonsNeedAChosenScan() {
    MainForm& form = start();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QVERIFY(app::state().FootSide.isEmpty());
    QVERIFY(!Forms::loaded<view::Form1>());
    QCOMPARE(statusText(form), QStringLiteral("Ready"));
    QVERIFY(messages_->shown().empty());
  }

  void statusPrefixFollowsCommandLine_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("none") << ""
                          << "Fotrella: Foot  ";
    QTest::newRow("-v") << "-v"
                        << "Ornivue: Foot  ";
    QTest::newRow("-V") << "-V"
                        << "Fotrella: Foot  ";
    QTest::newRow("-v and more") << "-v x"
                                 << "Fotrella: Foot  ";
  }

  void statusPrefixFollowsCommandLine() {
    QFETCH(QString, commandLine);
    QFETCH(QString, prefix);
    platform::setCommandLine(commandLine);
    MainForm& form = start();
    QVERIFY(clickItem(form.File1, "RightFoot.wrl"));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    const QString path = form.Dir1->path() + "/RightFoot.wrl";
    QCOMPARE(statusText(form), prefix + path);
    QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
    QCOMPARE(app::state().ScanPath, path);
    view::Form1* footView = Forms::loaded<view::Form1>();
    QVERIFY(footView);
    QCOMPARE(footView->windowTitle(), "Foot: " + path);
    QVERIFY(footView->isVisible());
    QVERIFY(messages_->shown().empty());
  }

  void doubleClickAsksForSideEveryTimeFromLeft() {
    MainForm& form = start();
    bool openedOnLeft = false;
    bool modal = false;
    // Right chosen, then the dialog closed with its close box: the close counts as Accept.
    QTimer::singleShot(0, [&] {
      auto* dialog = Forms::loaded<app::SelectForm>();
      if (!dialog) return;
      modal = QApplication::activeModalWidget() == dialog;
      openedOnLeft = dialog->Option1->isChecked() && !dialog->Option2->isChecked();
      QTest::mouseClick(dialog->Option2, Qt::LeftButton);
      dialog->close();
    });
    QVERIFY(clickItem(form.File1, "LeftFoot.wrl", true));
    QVERIFY(modal);
    QVERIFY(openedOnLeft);
    QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
    view::Form1* footView = Forms::loaded<view::Form1>();
    QVERIFY(footView);
    QCOMPARE(footView->windowTitle(), "Foot: " + form.Dir1->path() + "/LeftFoot.wrl");
    QTRY_VERIFY(!Forms::loaded<app::SelectForm>());

    openedOnLeft = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = Forms::loaded<app::SelectForm>();
      if (!dialog) return;
      openedOnLeft = dialog->Option1->isChecked();
      QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    });
    QVERIFY(clickItem(form.File1, "RightFoot.wrl", true));
    QVERIFY(openedOnLeft);
    QCOMPARE(app::state().FootSide, QStringLiteral("Left"));
    // The same foot view window, loaded afresh with the other scan.
    QCOMPARE(Forms::loaded<view::Form1>(), footView);
    QCOMPARE(footView->windowTitle(), "Foot: " + form.Dir1->path() + "/RightFoot.wrl");
  }

  void unreadableScanIsReportedAndViewKept() {
    MainForm& form = start();
    QVERIFY(clickItem(form.File1, "LeftFoot.wrl"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    view::Form1* footView = Forms::loaded<view::Form1>();
    QVERIFY(footView);
    const QString caption = footView->windowTitle();
    const auto mesh = footView->KernelCAD1->Model()->GetItem(0)->mesh();

    QTemporaryDir folder;
    const QString bad = folder.path() + "/bad.wrl";
    writeFile(bad,
              "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n"
              "  coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
              "  coordIndex [ 0, 1, 9, -1 ] } }\n");
    form.Dir1->setPath(folder.path());
    // LeftFoot.wrl stays chosen but is not in this folder.
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QCOMPARE(messages_->shown().size(), size_t{1});
    QCOMPARE(messages_->shown()[0].title, QStringLiteral("Error"));
    QVERIFY2(messages_->shown()[0].text.contains(folder.path() + "/LeftFoot.wrl"),
             qPrintable(messages_->shown()[0].text));

    QVERIFY(clickItem(form.File1, "bad.wrl"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(messages_->shown().size(), size_t{2});
    const platform::ShownMessage& shown = messages_->shown()[1];
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QVERIFY2(shown.text.contains(bad), qPrintable(shown.text));
    // The reason follows the file name.
    QVERIFY2(shown.text.size() > bad.size() + 10, qPrintable(shown.text));

    QCOMPARE(footView->windowTitle(), caption);
    QCOMPARE(footView->KernelCAD1->Model()->GetItem(0)->mesh(), mesh);
    QVERIFY(footView->isVisible());
    // And the program carries on.
    form.Dir1->setPath(app::samplesFolder());
    QVERIFY(clickItem(form.File1, "RightFoot.wrl"));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QCOMPARE(footView->windowTitle(), "Foot: " + form.Dir1->path() + "/RightFoot.wrl");
  }

  void endingClosesEveryWindowAtOnce_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("Files/Exit") << true;
    QTest::newRow("close box") << false;
  }

  void endingClosesEveryWindowAtOnce() {
    QFETCH(bool, byMenu);
    MainForm& form = start();
    QVERIFY(clickItem(form.File1, "LeftFoot.wrl"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY(Forms::loaded<view::Form1>());

    QTimer::singleShot(0, [&] {
      if (byMenu) {
        chooseMenu(&form, form.mnuFiles, form.mnuExit);
      } else {
        form.close();
      }
    });
    // The program's own event loop, as main() runs it; a watchdog in case it never ends.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(20000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!Forms::loaded<MainForm>());
    QVERIFY(!Forms::loaded<view::Form1>());
    // The foot view went without its own close step, which would have emptied the model.
    QVERIFY(app::state().ModelRef);
  }

  void untrappedFailureIsReportedAndProgramGoesOn() {
    QPushButton button("Fail");
    int clicks = 0;
    connect(&button, &QPushButton::clicked, [&] {
      ++clicks;
      throw std::runtime_error("Division by zero");
    });
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
    QCOMPARE(messages_->shown().size(), size_t{2});
    QCOMPARE(messages_->shown()[0].title, QStringLiteral("Error"));
    QCOMPARE(messages_->shown()[0].text, QStringLiteral("Division by zero"));
    QCOMPARE(messages_->shown()[0].icon, platform::MsgBoxIcon::Critical);
  }
};

QUARNEL_WINDOW_TEST_MAIN(MainFormTest)
#include "mainform_test.moc"
