// The 16 colours of the settings window's colour grid with the names the
// configuration file stores them under (keys TextColor and BackColor).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvar::app {

// A colour as 0x00BBGGRR.
using BgrColour = uint32_t;

// "No colour": the window keeps the desktop's own colour.
inline constexpr BgrColour kNoColour = 0x1FFFFFFF;
inline constexpr BgrColour kBlack = 0x000000;
inline constexpr BgrColour kWhite = 0xFFFFFF;
inline constexpr int kColourCells = 16;

struct NamedColour {
  const char* name;  // as written; read ignoring case
  BgrColour value;
};

// Cells 0 to 15: row one 0 to 7, row two 8 to 15.
const std::array<NamedColour, kColourCells>& ColourCells();

// The written name of a value ("None" for kNoColour); `fallback` when the
// value is not in the table.
std::string ColourName(BgrColour value, std::string_view fallback);

// The value of a name, ignoring case ("none" is kNoColour); `fallback` when
// the name is not in the table.
BgrColour ColourValue(std::string_view name, BgrColour fallback);

// The saved colours (TextColor, default black; BackColor, default white).
struct SavedColours {
  BgrColour text = kBlack;
  BgrColour back = kWhite;
};

}  // namespace pelvar::app
