// The image service of a real run: Debian's xorriso program writes and
// reads the images. A separate program rather than its library in-process:
// Stop ends it at once with a signal (the library offers no way to abandon a
// write half-way from another thread), a failure in it cannot take the
// window down, and its command language is the documented, stable surface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iso_image.h"

namespace pelvar::platform {

class XorrisoIsoImage : public IsoImageTool {
 public:
  // `program`: a name searched in PATH, or a path.
  explicit XorrisoIsoImage(std::string program = "xorriso") : program_(std::move(program)) {}

  IsoOutcome Write(const IsoWriteRequest& request) override;
  IsoOutcome Read(const std::string& image, IsoContents& out) override;
  bool Inside(const std::string& path, const std::string& tree) override;

 private:
  std::string program_;
};

// The pieces, exposed for tests.

// xorriso's arguments (after the program name) that write `request`.
std::vector<std::string> XorrisoWriteArguments(const IsoWriteRequest& request);
// xorriso's arguments that report an image's label, boot catalogue and tree.
std::vector<std::string> XorrisoReadArguments(const std::string& image);
// The bytes written that a message line reports ("... Writing: 1234s ..."),
// or false for another line.
bool ParseXorrisoProgress(std::string_view line, uint64_t& bytes);
// The text of a message line of severity SORRY or above, without its
// "xorriso : SORRY : " head; empty for a lesser line.
std::string XorrisoProblem(std::string_view line);
// Fills `out` from the report of XorrisoReadArguments. False (with the line
// in `bad_line`) when a line of the report cannot be understood.
bool ParseXorrisoReport(std::string_view report, IsoContents& out, std::string& bad_line);

}  // namespace pelvar::platform
