#include "app/script_line_help.h"

#include <gtest/gtest.h>

#include "engine/dispatcher.h"

namespace pelvar::app {
namespace {

std::vector<std::string> Texts(const LineReading& reading) {
  std::vector<std::string> out;
  for (const LineFinding& finding : reading.findings) out.push_back(finding.text);
  return out;
}

TEST(ScriptLineHelpTest, TheTableNamesTheCommandsOfTheSearchChain) {
  ASSERT_EQ(CommandSyntaxTable().size(), kCommandNames.size());
  for (size_t i = 0; i < kCommandNames.size(); ++i) {
    EXPECT_EQ(CommandSyntaxTable()[i].name, kCommandNames[i]);
    EXPECT_LE(CommandSyntaxTable()[i].required, CommandSyntaxTable()[i].arguments.size());
  }
  EXPECT_EQ(FindCommandSyntax("FileCopy"), &CommandSyntaxTable()[3]);
  EXPECT_EQ(FindCommandSyntax("filecop"), nullptr);
}

TEST(ScriptLineHelpTest, FieldsAreNamedByPosition) {
  const LineReading reading = ReadScriptLine("iniwritekey,1,\"a b.ini\",Opt,Key,\"v,w\",extra");
  ASSERT_NE(reading.command, nullptr);
  ASSERT_EQ(reading.fields.size(), 7u);
  EXPECT_EQ(reading.fields[2].value, "a b.ini");
  EXPECT_EQ(reading.fields[2].meaning, "FILE");
  EXPECT_EQ(reading.fields[5].meaning, "VALUE");
  EXPECT_EQ(reading.fields[5].value, "v,w");
  EXPECT_EQ(reading.fields[6].meaning, "not used");
  EXPECT_EQ(Texts(reading), (std::vector<std::string>{"Fields after VALUE are not used."}));
  EXPECT_TRUE(reading.storable);
}

TEST(ScriptLineHelpTest, MissingFieldsNameTheRunsError) {
  EXPECT_EQ(LineFindings("filecopy,1,a").front().text,
            "Missing TO: the run ends with \"List index out of bounds (3)\".");
  EXPECT_EQ(LineFindings("iniwritekey,1,f").front().text,
            "Missing SECTION, KEY, VALUE: the run ends with \"List index out of bounds (3)\".");
  // txtaddline pads its line by two fields first.
  EXPECT_EQ(LineFindings("txtaddline,1,f").front().text,
            "Missing TEXT: the run ends with \"List index out of bounds (5)\".");
  EXPECT_TRUE(LineFindings("message,1,hello").empty());
  EXPECT_TRUE(LineFindings("txtaddline,1,f,t").empty());
  EXPECT_EQ(LineFindings("echo").front().text,
            "The run flag is missing: a line with fewer than two fields does nothing.");
}

TEST(ScriptLineHelpTest, NumbersThatWillNotConvert) {
  EXPECT_TRUE(LineFindings("wait,1,$10").empty());
  EXPECT_EQ(LineFindings("wait,1,ten").front().level, FindingLevel::kWarning);
  EXPECT_EQ(LineFindings("wait,1,90000").size(), 1u);
  EXPECT_EQ(LineFindings("regwritedword,1,HKEY_CURRENT_USER,k,v,12x").front().text,
            "DATA \"12x\" is not integer text: nothing is written.");
  EXPECT_EQ(LineFindings("txtaddline,1,f,t,Place,x").front().text,
            "N \"x\" is not a whole number: the run ends with \"'x' is not a valid integer "
            "value\".");
  EXPECT_TRUE(LineFindings("txtaddline,1,f,t,append,x").empty());
}

TEST(ScriptLineHelpTest, TextTheScriptCannotHoldAsACommand) {
  const LineReading header = ReadScriptLine("[main]");
  EXPECT_FALSE(header.storable);
  EXPECT_TRUE(ReadScriptLine("echo,1,a]").storable);
  EXPECT_EQ(LineFindings("echo,1,a]").front().level, FindingLevel::kWarning);
  EXPECT_EQ(LineFindings(";echo,1,a").front().text,
            "A line that begins with \";\" is a comment: saving the script drops it.");
  EXPECT_EQ(LineFindings(" echo,1,a").front().level, FindingLevel::kNote);
  EXPECT_EQ(LineFindings("ecko,1,a").front().text,
            "Unknown command \"ecko\": the line does nothing.");
  EXPECT_EQ(LineFindings("echo,0,a").front().text, "The run flag is 0: the line is skipped.");
}

}  // namespace
}  // namespace pelvar::app
