#include "engine/dispatcher.h"

#include <gtest/gtest.h>

#include <utility>

#include "engine/script_error.h"
#include "support/test_support.h"

namespace pelvar {
namespace {

using testing::ScriptHarness;

// A command set whose every row logs its own name and fields.
std::vector<std::string>* g_calls = nullptr;

template <size_t Row>
void Record(CommandCall& call) {
  std::string s = kCommandNames[Row];
  for (size_t i = 2; i < call.field_count(); ++i) s += "|" + call.fields()[i];
  g_calls->push_back(s);
}

template <size_t... Rows>
CommandSet MakeRecordingSet(std::index_sequence<Rows...>) {
  CommandSet set;
  (set.Set(kCommandNames[Rows], &Record<Rows>), ...);
  return set;
}

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() : set_(MakeRecordingSet(std::make_index_sequence<38>())), h_(&set_) {
    g_calls = &calls_;
  }
  ~DispatcherTest() override { g_calls = nullptr; }

  std::vector<std::string> Run(const std::string& line) {
    calls_.clear();
    h_.RunLine(line);
    return calls_;
  }

  std::vector<std::string> calls_;
  CommandSet set_;
  ScriptHarness h_;
};

TEST_F(DispatcherTest, RunFlagAndFieldCount) {
  EXPECT_TRUE(Run("echo").empty());
  EXPECT_TRUE(Run("echo,0,text").empty());
  EXPECT_EQ(Run("echo,,text"), std::vector<std::string>{"echo|text"});
  EXPECT_EQ(Run("echo,no,text"), std::vector<std::string>{"echo|text"});
  EXPECT_EQ(Run("Echo,1,text"), std::vector<std::string>{"echo|text"});
  EXPECT_EQ(Run("echo,00,text"), std::vector<std::string>{"echo|text"});
}

TEST_F(DispatcherTest, SearchChainEntries) {
  EXPECT_EQ(Run("filecopy,1,a,b"), std::vector<std::string>{"filecopy|a|b"});
  EXPECT_EQ(Run("dirmake,1,a"), std::vector<std::string>{"dirmake|a"});
  EXPECT_EQ(Run("txtdelspaces,1,a"), std::vector<std::string>{"txtdelspaces|a"});
  EXPECT_EQ(Run("extractandrun,1,a,b"), std::vector<std::string>{"extractandrun|a|b"});
  // Quoted names enter at row 23 and reach only rows 23 to 38.
  EXPECT_EQ(Run("\"echo\",1,hi"), std::vector<std::string>{"echo|hi"});
  EXPECT_EQ(Run("\"txtdelline\",1,f,2"), std::vector<std::string>{"txtdelline|f|2"});
  EXPECT_TRUE(Run("\"filecopy\",1,a,b").empty());
  // A name that belongs to no row does nothing.
  EXPECT_TRUE(Run("regfoo,1,x").empty());
  // A name whose first letters belong to another family: "dir" enters at
  // row 1 and walks on through every later row.
  EXPECT_EQ(Run("DIRCOPY,1,a,b"), std::vector<std::string>{"dircopy|a|b"});
}

TEST_F(DispatcherTest, UnknownAndEmptyLinesLogNothing) {
  Run("nosuch,1,x");
  Run("encfoo,1,x");
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(h_.view.lines.empty());
}

TEST(DispatcherBuiltinTest, MissingFieldRaisesTheIndexError) {
  ScriptHarness h;
  try {
    h.Run("[process]\necho,1,first\necho,1\necho,1,never\n");
    FAIL() << "no error";
  } catch (const ScriptError& e) {
    EXPECT_EQ(std::string(e.what()), "List index out of bounds (2)");
  }
  EXPECT_EQ(h.view.Texts(), std::vector<std::string>{"8|first"});
}

TEST(DispatcherBuiltinTest, EchoUnescapesAndLogsKindEight) {
  ScriptHarness h;
  h.Run("[process]\necho,1,a#$cb\necho,1,\"Copying drivers\"\n");
  EXPECT_EQ(h.view.Texts(), (std::vector<std::string>{"8|a,b", "8|Copying drivers"}));
  EXPECT_EQ(h.view.reveals.front(), LogReveal::kSelect);
}

TEST(ErrorDisplayTextTest, FullStopRule) {
  // ")" sorts before ".", so the index error gets no full stop.
  EXPECT_EQ(ErrorDisplayText("List index out of bounds (4)"), "List index out of bounds (4)");
  EXPECT_EQ(ErrorDisplayText("Cannot create file \"a\". Permission denied"),
            "Cannot create file \"a\". Permission denied.");
  EXPECT_EQ(ErrorDisplayText("done."), "done.");
  EXPECT_EQ(ErrorDisplayText("done!"), "done!");  // "!" sorts before "."
  EXPECT_EQ(ErrorDisplayText("x\xC3\xA4"), "x\xC3\xA4.");
  EXPECT_EQ(ErrorDisplayText(""), "");
}

}  // namespace
}  // namespace pelvar
