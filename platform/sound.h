// The system's sounds for the kinds of message a script can signal.
#pragma once

namespace pelvar::platform {

enum class SoundKind { kWarning, kError, kAsterisk, kConfirmation, kOk, kSimple };

class Sound {
 public:
  virtual ~Sound() = default;
  // Plays the sound without waiting for it; silent where no sound is possible.
  virtual void Play(SoundKind kind) = 0;
};

}  // namespace pelvar::platform
