// Parameter strings written for the Windows convention, split into the
// argument list a program receives there: blanks (space, tab) separate
// arguments outside double quotes, double quotes group and are dropped, and
// backslashes count only before a double quote (2n of them give n and the
// quote groups; 2n+1 give n and a literal quote). Inside quotes, "" stands
// for one literal quote.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelvar::platform {

// The arguments of a parameter string; an empty or blank string gives none.
std::vector<std::string> SplitWindowsCommandLine(std::string_view text);

// One argument written so that SplitWindowsCommandLine gives it back whole:
// as it is when it holds no blank or double quote, else in double quotes
// with its quotes and the backslashes before them escaped.
std::string QuoteWindowsArgument(std::string_view argument);

}  // namespace pelvar::platform
