// The checks of the listed scripts, made on a worker thread so that a large
// catalogue lists at once; each script's findings reach the window's thread
// as they are found.
#pragma once

#include <QObject>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/program_config.h"
#include "app/program_location.h"
#include "app/script_check.h"

namespace pelvar::ui {

class CatalogueChecks : public QObject {
  Q_OBJECT

 public:
  explicit CatalogueChecks(QObject* parent = nullptr);
  // Stops the checks under way and waits for them.
  ~CatalogueChecks() override;

  // Checks the scripts in order, dropping the checks of an earlier Start.
  // `config` and `location` give the folders scripts expand with.
  void Start(std::vector<std::string> scripts, RunPaths paths, const app::ProgramConfig& config,
             const app::ProgramLocation& location);
  // Waits until the scripts of the last Start are checked and reported.
  void WaitForResults();

 signals:
  // The findings of script `index` of the last Start (window thread).
  void Checked(int index, const std::vector<pelvar::app::Finding>& findings);

 private:
  void Stop();
  void Report(unsigned generation, int index, std::vector<app::Finding> findings);

  std::thread worker_;
  std::atomic<bool> stop_{false};
  unsigned generation_ = 0;
};

}  // namespace pelvar::ui
