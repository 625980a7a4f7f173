#include "engine/variable_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/script_error.h"

namespace pelvar {
namespace {

// Fills and expands a table the way a run does: each line's value expanded
// against the table as it stands, written back through its name.
VariableTable RunTable(const std::vector<std::string>& lines) {
  VariableTable table;
  table.Assign(lines);
  for (size_t i = 0; i < table.size(); ++i) {
    const std::string name(table.NameAt(i));
    if (!name.empty()) table.SetValue(name, table.Expand(table.Value(name)));
  }
  return table;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "no error";
}

TEST(VariableTableTest, NamesIgnoreCaseAndTheFirstLineWins) {
  VariableTable table;
  table.Assign({"%Dir%=one", "%DIR%=two", "no equals sign", "=empty name"});
  EXPECT_EQ(table.Find("%dir%"), 0);
  EXPECT_EQ(table.Value("%dIR%"), "one");
  EXPECT_EQ(table.Find("no equals sign"), -1);
  EXPECT_EQ(table.Find(""), -1);
  table.SetValue("%dir%", "three");
  EXPECT_EQ(table.Value("%DIR%"), "three");
  table.SetValue("%new%", "4");
  EXPECT_EQ(table.Find("%NEW%"), 4);
  EXPECT_EQ(table.Expand("%DIR%\\%new%"), "three\\4");
}

// Expanding by pieces must give exactly what the pass-by-pass rule gives,
// whatever the names, values and texts: random tables over a small alphabet
// make shared "%", names formed across inserted values, duplicates, self
// references and names of other forms common.
TEST(VariableTableTest, PiecesAgreeWithThePassByPassRule) {
  std::mt19937 random(20261207);
  const std::string alphabet = "%%%aAbx";
  auto random_text = [&](size_t max) {
    std::string s;
    const size_t n = random() % (max + 1);
    for (size_t i = 0; i < n; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  int limited = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::string> lines;
    const size_t count = 1 + random() % 6;
    for (size_t i = 0; i < count; ++i) {
      // Mostly names of the usual form, so that most tables expand by pieces.
      static const char* const kNames[] = {"%a%", "%A%", "%b%", "%ab%", "%x%", "%bA%", "%xx%"};
      std::string name = random() % 8 == 0   ? random_text(3)
                         : random() % 4 == 0 ? "%" + random_text(2) + "%"
                                             : kNames[random() % 7];
      lines.push_back(name + "=" + random_text(7));
    }
    VariableTable by_rule;
    by_rule.Assign(lines);
    VariableTable table;
    table.Assign(lines);
    // A name such as "%%" may grow its text past the limit; where the two
    // ways stop differs, so such a round ends there.
    try {
      for (size_t i = 0; i < table.size(); ++i) {
        const std::string name(table.NameAt(i));
        if (name.empty()) continue;
        by_rule.SetValue(name, by_rule.ExpandPassByPass(by_rule.Value(name)));
        table.SetValue(name, table.Expand(table.Value(name)));
        ASSERT_EQ(table.Value(name), by_rule.Value(name)) << "round " << round;
      }
      for (int t = 0; t < 8; ++t) {
        const std::string text = random_text(12);
        ASSERT_EQ(table.Expand(text), by_rule.ExpandPassByPass(text))
            << "round " << round << " text " << text;
      }
    } catch (const ScriptError&) {
      ++limited;
    }
  }
  EXPECT_LT(limited, 400);
}

TEST(VariableTableTest, ExponentialGrowthEndsWithAnErrorNamingTheVariable) {
  std::vector<std::string> lines = {"%v0%=xx"};
  for (int i = 1; i < 64; ++i) {
    lines.push_back("%v" + std::to_string(i) + "%=%v" + std::to_string(i - 1) + "%%v" +
                    std::to_string(i - 1) + "%");
  }
  EXPECT_EQ(ErrorOf([&] { RunTable(lines); }),
            "Variable \"%v19%\" makes the text longer than 1048576 characters");
  // The same through a command line: the table is fine, the line is not.
  lines.resize(19);
  const VariableTable table = RunTable(lines);
  EXPECT_EQ(table.Value("%v18%").size(), size_t{1} << 19);
  EXPECT_EQ(table.Expand("%v18%%v18%").size(), size_t{1} << 20);
  EXPECT_EQ(ErrorOf([&] { table.Expand("%v18%%v18%x"); }),
            "Variable \"%v18%\" makes the text longer than 1048576 characters");
  EXPECT_EQ(ErrorOf([&] { table.Expand("%v18%%v18%%v0%"); }),
            "Variable \"%v0%\" makes the text longer than 1048576 characters");
  // Names of another form take the pass-by-pass path, bounded the same way.
  EXPECT_EQ(ErrorOf([&] {
              RunTable({"a=" + std::string(2000, 'b'), "b=" + std::string(1000, 'c')});
            }),
            "Variable \"b\" makes the text longer than 1048576 characters");
}

TEST(VariableTableTest, TheValuesTogetherAreBounded) {
  std::vector<std::string> lines = {"%k%=" + std::string(1000000, 'k')};
  for (int i = 0; i < 70; ++i) lines.push_back("%c" + std::to_string(i) + "%=%k%");
  EXPECT_EQ(ErrorOf([&] { RunTable(lines); }),
            "Variable \"%c66%\" makes the variables longer than 67108864 characters");
}

// Each value names the next one down: a quadratic amount of text in all,
// built without rescanning it once per variable.
TEST(VariableTableTest, LongChainsExpandInTimeLinearInTheirText) {
  const int n = 5000;
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    lines.push_back("%v" + std::to_string(i) + "%=<%v" + std::to_string(i + 1) + "%>");
  }
  const VariableTable table = RunTable(lines);
  const std::string first = table.Value("%v0%");
  EXPECT_EQ(first.size(), size_t{2 * n} + 7);
  EXPECT_EQ(first.substr(n - 2, 12), "<<%v5000%>>>");
  EXPECT_EQ(table.Expand("[%V4999%]"), "[<%v5000%>]");
}

}  // namespace
}  // namespace pelvar
