#pragma once

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace app {

// The drive list: the file-system roots and mounted volumes, the chosen one shown.
class DriveList : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveList(QWidget* parent);
  QString drive() const;
  // Shows the volume that holds `path` without reporting a change.
  void showDriveOf(const QString& path);
};

// The folder list: the path's folders from the root down, then the subfolders of the current
// one. Activating an entry (double click, Enter) opens that folder.
class DirList : public QListWidget {
  Q_OBJECT

 public:
  explicit DirList(QWidget* parent);
  // The current folder, without a closing separator except at the root.
  QString path() const { return path_; }
  // Throws std::runtime_error for a folder that does not exist; the list then keeps its folder.
  void setPath(const QString& path);

 signals:
  void Change();

 private:
  void fill();

  QString path_;
};

// The file list: the files of one folder that match the pattern (or any of the patterns),
// letter case ignored. It follows the folder: scans copied in or removed while the program runs
// appear or go, and the chosen file stays chosen.
class FileList : public QListWidget {
  Q_OBJECT

 public:
  explicit FileList(QWidget* parent);
  QString path() const { return path_; }
  void setPath(const QString& path);
  QString pattern() const { return patterns_.join(u';'); }
  void setPattern(const QString& pattern) { setPatterns({pattern}); }
  void setPatterns(const QStringList& patterns);

 private:
  void fill();

  QString path_;
  QStringList patterns_{QStringLiteral("*.*")};
  QFileSystemWatcher watcher_;
  // A copy of a large scan changes the folder many times: the list is read again once it rests.
  QTimer refill_;
};

// Joins a folder and a file name with exactly one separator.
QString joinPath(const QString& folder, const QString& file);

}  // namespace app
