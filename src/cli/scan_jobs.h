#pragma once

#include <QFileInfo>
#include <QJsonObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "alignment/align.h"
#include "cli/arguments.h"
#include "kernelcad/core/scan_reader.h"
#include "kernelcad/core/scene.h"
#include "printing/scaling.h"

class QDir;

// What print and export share: their arguments, the batch of scans they go through, and each
// foot aligned and scaled as the windows do it.
namespace cli {

// One scan of a batch, from the command line or a row of a list.
struct Job {
  std::string file;
  std::optional<alignment::Side> side;
  std::optional<alignment::Axis> axis;
  std::optional<kernelcad::Vec3> heel, ball, adjacent;
  bool suggest = false;  // the suggested points instead of heel, ball and adjacent
  double roll = 0;
  std::optional<printing::DistancePair> truePair;
  double trueDistance = 0;
  // A row that could not be read: the reason, reported when its turn comes.
  std::string refused;
  bool fromList = false;
};

// One scan of a batch cannot be done; the others go on.
class JobError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Batch {
  std::vector<Job> jobs;
  std::string outDir = ".";
  Units units = kernelcad::LengthUnit::Millimetre;
  std::optional<kernelcad::ScanFormat> format;  // export's --format
};

// The scans and options of print (and with `withFormat`, export's --format, then required).
// Throws UsageError.
Batch parseBatch(std::span<char*> args, bool withFormat);

// The foot of one job through the windows' procedures: spheres, alignment, turn, roll, the
// distances and "Apply", and its measurements. Throws with the reason on any fault.
struct AlignedFoot {
  std::shared_ptr<kernelcad::Model> model;  // the foot as item 0, the three spheres 1 to 3
  // side, axis, roll, units, distances, scale factor, measurements, the three placed points
  QJsonObject summary;
};
AlignedFoot alignJob(const Job& job, Units units);

// Creates the output folder and does each job with `one`, whose summary goes to stdout as one
// JSON line; a job that fails gets its error line and the others go on. `notDone` ends those
// lines ("printed"). Returns the exit code.
int runBatch(const Batch& batch, const std::string& command, const char* notDone,
             const std::function<QJsonObject(const Job&, const QDir&, std::set<QString>&)>& one);

// The scan's base name with `suffix`, numbered when a scan of the same name came earlier in the
// batch, so none overwrites another's files.
QString uniqueStem(const QFileInfo& scan, const QString& suffix, std::set<QString>& taken);

}  // namespace cli
