#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Tokenizer.h"

namespace mirvo {
namespace {

// Every token of a line, as its text, its 0-based start and its length.
struct Found {
  std::string text;
  std::size_t start;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& found, std::ostream* os) { *os << "[" << found.text << "] at " << found.start; }

std::vector<Found> Split(const std::string& line) {
  Tokenizer ST(line.c_str());
  std::vector<Found> found;
  for (Token token = ST.NextToken(); token.length > 0 && found.size() < 10; token = ST.NextToken()) {
    found.push_back({line.substr(token.start, token.length), token.start});
  }
  // After the last token every call gives none.
  EXPECT_EQ(ST.NextToken().length, 0U);
  return found;
}

TEST(TokenizerTest, SplitsAtSeparatorsAndStopsAtTheLineFeedACommentOrANul) {
  struct Row {
    std::string line;
    std::vector<Found> tokens;
  };
  const Row rows[] = {
      {"MOV A,B\n", {{"MOV", 0}, {"A", 4}, {"B", 6}}},
      {"ADD   B,,\n", {{"ADD", 0}, {"B", 6}}},
      {"RET \n", {{"RET", 0}}},
      {"RET\r\n", {{"RET", 0}}},
      {"RET;comment\n", {{"RET", 0}}},
      {"RET ;comment, B\n", {{"RET", 0}}},
      {";comment\n", {}},
      {",\n", {}},
      {"\n", {}},
      {"\t MVI  Mem ,  0FFh ; x\n", {{"MVI", 2}, {"Mem", 7}, {"0FFh", 14}}},
      {"MOV\tA\tB\n", {{"MOV", 0}, {"A", 4}, {"B", 6}}},
      {"MOV A, B, C D\n", {{"MOV", 0}, {"A", 4}, {"B", 7}, {"C", 10}, {"D", 12}}},
      {std::string("ADD B\0 C D\n", 11), {{"ADD", 0}, {"B", 4}}},
      {std::string("AD\0D B\n", 7), {{"AD", 0}}},
      {"\x01\x7F\xFFh x\n", {{"\x01\x7F\xFFh", 0}, {"x", 5}}},
      {"ADD" + std::string(520, ' ') + "B\n", {{"ADD", 0}, {"B", 523}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line.substr(0, 30));
    EXPECT_EQ(Split(row.line), row.tokens);
  }
}

}  // namespace
}  // namespace mirvo
