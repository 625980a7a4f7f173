#include "ui/catalogue_checks.h"

#include <QCoreApplication>

#include "app/headless_check.h"

namespace pelvar::ui {

CatalogueChecks::CatalogueChecks(QObject* parent) : QObject(parent) {}

CatalogueChecks::~CatalogueChecks() {
  Stop();
}

void CatalogueChecks::Stop() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  stop_ = false;
}

void CatalogueChecks::Start(std::vector<std::string> scripts, RunPaths paths,
                            const app::ProgramConfig& config,
                            const app::ProgramLocation& location) {
  Stop();
  const unsigned generation = ++generation_;
  // The configuration is read again on the worker: the model is not shared.
  worker_ = std::thread([this, generation, scripts = std::move(scripts), paths = std::move(paths),
                         config_path = config.path(), location] {
    const app::ProgramConfig worker_config = app::ProgramConfig::Load(config_path);
    app::CheckServices services(worker_config, location);
    for (size_t i = 0; i < scripts.size() && !stop_; ++i) {
      std::vector<app::Finding> findings =
          app::CheckScriptFile(scripts[i], paths, services.services());
      QMetaObject::invokeMethod(
          this,
          [this, generation, i, findings = std::move(findings)]() mutable {
            Report(generation, static_cast<int>(i), std::move(findings));
          },
          Qt::QueuedConnection);
    }
  });
}

void CatalogueChecks::Report(unsigned generation, int index, std::vector<app::Finding> findings) {
  if (generation != generation_) return;  // of a list that was replaced
  emit Checked(index, findings);
}

void CatalogueChecks::WaitForResults() {
  if (worker_.joinable()) worker_.join();
  QCoreApplication::sendPostedEvents(this);
}

}  // namespace pelvar::ui
