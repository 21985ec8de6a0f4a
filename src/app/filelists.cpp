#include "app/filelists.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QScrollBar>
#include <QStorageInfo>
#include <stdexcept>

namespace app {

QString joinPath(const QString& folder, const QString& file) {
  if (folder.endsWith(u'/') || folder.endsWith(u'\\')) return folder + file;
  return folder + u'/' + file;
}

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  QStringList roots;
  for (const QFileInfo& drive : QDir::drives()) roots << drive.absoluteFilePath();
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
  }
  roots.removeDuplicates();
  roots.sort();
  addItems(roots);
}

QString DriveList::drive() const { return currentText(); }

void DriveList::showDriveOf(const QString& path) {
  int best = -1;
  qsizetype bestLength = -1;
  for (int i = 0; i < count(); ++i) {
    const QString root = itemText(i);
    const bool holds = path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
    if (holds && root.size() > bestLength) {
      best = i;
      bestLength = root.size();
    }
  }
  const QSignalBlocker quiet(this);
  setCurrentIndex(best);
}

DirList::DirList(QWidget* parent) : QListWidget(parent) {
  setIconSize(QSize(16, 16));
  connect(this, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { setPath(item->data(Qt::UserRole).toString()); });
}

void DirList::setPath(const QString& path) {
  const QFileInfo info(path);
  if (!info.isDir()) throw std::runtime_error("Path not found: " + path.toStdString());
  const QString clean = QDir::cleanPath(info.absoluteFilePath());
  if (clean == path_) return;
  path_ = clean;
  fill();
  emit Change();
}

void DirList::fill() {
  clear();
  const QFileIconProvider icons;
  const QIcon folderIcon = icons.icon(QFileIconProvider::Folder);
  // The chain of open folders from the root down to the current one.
  QStringList chain;
  for (QDir dir(path_);;) {
    chain.prepend(dir.absolutePath());
    if (dir.isRoot() || !dir.cdUp()) break;
  }
  int depth = 0;
  for (const QString& folder : chain) {
    const QString name = QDir(folder).isRoot() ? folder : QFileInfo(folder).fileName();
    auto* item = new QListWidgetItem(folderIcon, QString(depth * 2, u' ') + name, this);
    item->setData(Qt::UserRole, folder);
    if (folder == path_) setCurrentItem(item);
    ++depth;
  }
  const QFileInfoList subfolders =
      QDir(path_).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& sub : subfolders) {
    auto* item = new QListWidgetItem(folderIcon, QString(depth * 2, u' ') + sub.fileName(), this);
    item->setData(Qt::UserRole, QDir::cleanPath(sub.absoluteFilePath()));
  }
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
  refill_.setSingleShot(true);
  refill_.setInterval(300);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &refill_, qOverload<>(&QTimer::start));
  connect(&refill_, &QTimer::timeout, this, &FileList::fill);
}

void FileList::setPath(const QString& path) {
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  if (path != path_) clear();  // nothing chosen in one folder is chosen in another
  path_ = path;
  if (!path_.isEmpty()) watcher_.addPath(path_);
  fill();
}

void FileList::setPatterns(const QStringList& patterns) {
  patterns_ = patterns;
  fill();
}

void FileList::fill() {
  const QString chosen = currentItem() ? currentItem()->text() : QString();
  const int scrolled = verticalScrollBar()->value();
  clear();
  if (path_.isEmpty()) return;
  // Without QDir::CaseSensitive the name filter ignores letter case: "*.Wrl" lists foot.WRL too.
  const QFileInfoList files = QDir(path_).entryInfoList(
      patterns_, QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
  // Regular files only (or links to them): opening a FIFO or a device named like a scan would
  // block or read without end. Listing only looks at the entries, it opens none.
  for (const QFileInfo& file : files)
    if (file.isFile()) addItem(file.fileName());
  // Refilled for the same folder, the list keeps the operator's choice and place; a click, not
  // this, is what chooses a scan.
  const auto kept = findItems(chosen, Qt::MatchExactly);
  if (!chosen.isEmpty() && !kept.isEmpty()) setCurrentItem(kept.front());
  verticalScrollBar()->setValue(scrolled);
}

}  // namespace app
