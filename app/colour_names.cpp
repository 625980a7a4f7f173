#include "app/colour_names.h"

#include "engine/text.h"

namespace pelvar::app {

namespace {

constexpr NamedColour kNone{"None", kNoColour};

}  // namespace

const std::array<NamedColour, kColourCells>& ColourCells() {
  static constexpr std::array<NamedColour, kColourCells> kCells{{
      {"Black", 0x000000},
      {"Maroon", 0x000080},
      {"Green", 0x008000},
      {"Olive", 0x008080},
      {"Navy", 0x800000},
      {"Purple", 0x800080},
      {"Teal", 0x808000},
      {"LtGray", 0xC0C0C0},
      {"DkGray", 0x808080},
      {"Red", 0x0000FF},
      {"Lime", 0x00FF00},
      {"Yellow", 0x00FFFF},
      {"Blue", 0xFF0000},
      {"Fuchsia", 0xFF00FF},
      {"Aqua", 0xFFFF00},
      {"White", 0xFFFFFF},
  }};
  return kCells;
}

std::string ColourName(BgrColour value, std::string_view fallback) {
  for (const NamedColour& cell : ColourCells()) {
    if (cell.value == value) return cell.name;
  }
  if (value == kNone.value) return kNone.name;
  return std::string(fallback);
}

BgrColour ColourValue(std::string_view name, BgrColour fallback) {
  for (const NamedColour& cell : ColourCells()) {
    if (IEquals(name, cell.name)) return cell.value;
  }
  if (IEquals(name, kNone.name)) return kNone.value;
  return fallback;
}

}  // namespace pelvar::app
