// The INI model: any bytes load without fault, and what a model renders
// loads back into the same model (saving is a fixed point after one pass).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/ini_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const pelvar::IniModel model = pelvar::IniModel::Parse(input);
  const std::string once = model.Render();
  const pelvar::IniModel again = pelvar::IniModel::Parse(once);
  if (again.Render() != once) std::abort();
  if (again.sections().size() != model.sections().size()) std::abort();
  for (size_t i = 0; i < model.sections().size(); ++i) {
    if (model.sections()[i].name != again.sections()[i].name) std::abort();
    if (model.sections()[i].lines != again.sections()[i].lines) std::abort();
  }
  return 0;
}
