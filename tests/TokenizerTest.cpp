#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// Where a tokenizer stands after a scan, and what the scan gave.
struct Scan {
  std::vector<std::pair<std::int32_t, std::int32_t>> tokens;  // start and length
  bool more;
  std::int32_t position;
  Tokenizer::Stop stop;
  std::int32_t tokenStart;
  std::int32_t tokenLength;
  bool operator==(const Scan&) const = default;
};

Scan StateAfter(const Tokenizer& tokenizer, std::vector<std::pair<std::int32_t, std::int32_t>> tokens) {
  return {std::move(tokens), tokenizer.HasMore(), tokenizer.GetPosition(), tokenizer.GetStop(),
          tokenizer.GetTokenStart(), tokenizer.GetTokenLength()};
}

// Up to max tokens at once leave the tokenizer as that many single steps do,
// whether their spans are kept or handed out as each token ends.
TEST(TokenizerTest, SeveralTokensAtOnceStepLikeOneAtATime) {
  constexpr TokenClasses kClasses(" ,\t\r\n", ';');
  const std::string texts[] = {
      "MOV A,B\n", "MOV A,B", "  ADD B ,\n", "MVI A,0FFh ; x\n", "RET;x", ";x", "", ",,\n", "A B C D E\n",
      std::string("ADD B\0C\n", 8), "MOV A, B, C D ;e\n", "ZZZ",
  };
  for (const std::string& text : texts) {
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t max = 1; max <= 4; ++max) {
      SCOPED_TRACE(text + " max " + std::to_string(max));
      Tokenizer stepped(text.data(), length, kClasses);
      std::vector<std::pair<std::int32_t, std::int32_t>> steps;
      while (static_cast<std::int32_t>(steps.size()) < max && stepped.HasMore()) {
        stepped.NextTokenInPlace();
        if (stepped.GetTokenLength() == 0) break;
        steps.emplace_back(stepped.GetTokenStart(), stepped.GetTokenLength());
      }
      const Scan expected = StateAfter(stepped, steps);

      Tokenizer spanned(text.data(), length, kClasses);
      TokenSpan spans[4];
      const std::int32_t n = spanned.NextTokens(spans, max);
      std::vector<std::pair<std::int32_t, std::int32_t>> kept;
      for (std::int32_t i = 0; i < n; ++i) kept.emplace_back(spans[i].start, spans[i].length);
      EXPECT_EQ(StateAfter(spanned, kept), expected);

      Tokenizer handed(text.data(), length, kClasses);
      std::vector<std::pair<std::int32_t, std::int32_t>> given;
      const auto take = [&](auto index, const char* token, std::int32_t start, std::int32_t size) {
        EXPECT_EQ(static_cast<std::size_t>(decltype(index)::value), given.size());
        EXPECT_EQ(token, text.data() + start);
        given.emplace_back(start, size);
      };
      std::int32_t count = 0;
      switch (max) {
        case 1: count = handed.NextTokensTo<1>(take); break;
        case 2: count = handed.NextTokensTo<2>(take); break;
        case 3: count = handed.NextTokensTo<3>(take); break;
        default: count = handed.NextTokensTo<4>(take); break;
      }
      EXPECT_EQ(count, static_cast<std::int32_t>(given.size()));
      EXPECT_EQ(StateAfter(handed, given), expected);
    }
  }
}

}  // namespace
}  // namespace mirvo
