#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tokenizer.h"

namespace mirvo {
namespace {

struct Split {
  std::vector<std::string> tokens;  // every token returned, the last empty one included
  std::size_t doneAfter;            // index of the call after which HasMore is false
};

Split SplitAll(const std::string& text, const char* delimiters, char comment) {
  Tokenizer tokenizer(text.c_str(), delimiters);
  if (comment != 0) tokenizer.SetCommentChar(comment);
  Split split{{}, 0};
  EXPECT_TRUE(tokenizer.HasMore());
  while (tokenizer.HasMore() && split.tokens.size() < 10) {
    split.tokens.emplace_back(tokenizer.NextToken());
  }
  split.doneAfter = split.tokens.size() - 1;
  // After the end every call gives the empty token and changes nothing.
  EXPECT_STREQ(tokenizer.NextToken(), "");
  EXPECT_FALSE(tokenizer.HasMore());
  return split;
}

TEST(TokenizerTest, SplitsAtDelimitersAndStopsAtTheComment) {
  struct Row {
    std::string text;
    char comment;
    std::vector<std::string> tokens;
  };
  const Row rows[] = {
      {"MOV A,B\n", ';', {"MOV", "A", "B", ""}},
      {"ADD   B,,\n", ';', {"ADD", "B", ""}},
      {"RET \n", ';', {"RET", ""}},
      {"RET\r\n", ';', {"RET", ""}},
      {"RET;comment\n", ';', {"RET"}},
      {"RET ;comment\n", ';', {"RET", ""}},
      {";comment", ';', {""}},
      {",\n", ';', {""}},
      {"MVI A,0FFh", ';', {"MVI", "A", "0FFh"}},
      {"MOV\tA,B\n", ';', {"MOV\tA", "B", ""}},
      {"", ';', {""}},
      {"A;B\n", 0, {"A;B", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(SplitAll(row.text, " ,\r\n", row.comment).tokens, row.tokens);
  }
}

TEST(TokenizerTest, DelimiterSetIsTheCallersChoice) {
  EXPECT_EQ(SplitAll("\tMOV\tA,B", " ,\t\r\n", ';').tokens, (std::vector<std::string>{"MOV", "A", "B"}));
}

TEST(TokenizerTest, TokenLongerThanTheBufferIsCut) {
  const std::string text = std::string(2000, 'x') + " y";
  const Split split = SplitAll(text, " ", ';');
  ASSERT_EQ(split.tokens.size(), 2U);
  EXPECT_EQ(split.tokens[0], std::string(511, 'x'));
  EXPECT_EQ(split.tokens[1], "y");
}

}  // namespace
}  // namespace mirvo
