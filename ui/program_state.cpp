#include "ui/program_state.h"

#include <exception>

#include "engine/script_error.h"
#include "ui/dialogs.h"

namespace pelvar::ui {

bool WriteConfigKey(ProgramState& state, QWidget* parent, const app::ConfigKey& key,
                    const std::string& value) {
  try {
    state.config.Write(key, value);
    return true;
  } catch (const std::exception& error) {
    state.dialogs.Message(parent, MessageKind::kError, QString::fromLatin1(kProgramTitle),
                          ToQt(ErrorDisplayText(error.what())));
    return false;
  }
}

}  // namespace pelvar::ui
