#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "SourceReader.h"

namespace mirvo {
namespace {

struct Read {
  std::vector<std::string> tokens;
  std::int32_t line;
  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& read, std::ostream* os) {
  *os << "line " << read.line << ":";
  for (const std::string& token : read.tokens) *os << " [" << token << "]";
}

// Every statement of a source held in memory, with the line it came from.
std::vector<Read> ReadAll(const std::string& source) {
  std::string copy = source;
  std::FILE* stream = ::fmemopen(copy.data(), copy.size(), "r");
  if (copy.empty()) stream = ::fmemopen(nullptr, 1, "w+");
  SourceReader reader(stream);
  std::vector<Read> reads;
  Statement statement{};
  for (int guard = 0; guard < 100; ++guard) {
    reader.ReadStatement(&statement);
    if (statement.count == 0) break;
    Read read{{}, reader.GetLineNumber()};
    for (int i = 0; i < statement.count; ++i) read.tokens.emplace_back(statement.tokens[i]);
    reads.push_back(read);
  }
  // The end is sticky.
  reader.ReadStatement(&statement);
  EXPECT_EQ(statement.count, 0);
  return reads;
}

TEST(SourceReaderTest, StatementsAndTheirLines) {
  const std::string longToken(300, 'k');
  struct Row {
    const char* name;
    std::string source;
    std::vector<Read> reads;
  };
  const Row rows[] = {
      {"comment first", "; sum\nMVI A,05h\nADD B\n", {{{"MVI", "A", "05h"}, 2}, {{"ADD", "B"}, 3}}},
      {"blank and comment lines count", "\n\r\n;note\n  ; indented note\nRET\n", {{{"RET"}, 5}}},
      {"indented statements", "    MOV A,B\n\tRET\n \t ADD C\n", {{{"MOV", "A", "B"}, 1}, {{"RET"}, 2}, {{"ADD", "C"}, 3}}},
      {"comments after a statement", "RET \nRET;x\nRET ; x\nMOV A, B ; copy\n",
       {{{"RET"}, 1}, {{"RET"}, 2}, {{"RET"}, 3}, {{"MOV", "A", "B"}, 4}}},
      {"crlf line ends", "ADD B\r\nRET\r\n", {{{"ADD", "B"}, 1}, {{"RET"}, 2}}},
      {"fourth token ignored", "MOV A,B,D\n", {{{"MOV", "A", "B"}, 1}}},
      {"lines without tokens are skipped", ",\n, ; note\n,,\nRET\n", {{{"RET"}, 4}}},
      {"last line without line feed", "ADD B\nRET", {{{"ADD", "B"}, 1}, {{"RET"}, 2}}},
      {"only line without line feed", "RET", {{{"RET"}, 1}}},
      {"long token cut to 255", "MVI A," + longToken + "\n", {{{"MVI", "A", std::string(255, 'k')}, 1}}},
      {"empty source", "", {}},
      {"only carriage returns", "\r\r\r", {}},
      {"text ends at a NUL byte", std::string("ADD B\0 C D\nRET\n", 15), {{{"ADD", "B"}, 1}, {{"RET"}, 2}}},
      {"tab inside a line separates", "MOV\tA\tB\n", {{{"MOV", "A", "B"}, 1}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ReadAll(row.source), row.reads);
  }
}

// A physical line of any length is one statement, wherever the reader's
// pieces happen to fall, and line numbers count physical lines.
TEST(SourceReaderTest, LongLinesStayWhole) {
  for (const std::size_t pad : {0UL, 1UL, 500UL, 505UL, 506UL, 507UL, 508UL, 509UL, 510UL, 511UL, 1020UL, 100000UL}) {
    SCOPED_TRACE(pad);
    const std::string spaces(pad, ' ');
    const std::string source = "RET\n" + spaces + "MOV " + spaces + "A," + spaces + "Mem" + spaces + "; c\nADD B\n";
    EXPECT_EQ(ReadAll(source), (std::vector<Read>{{{"RET"}, 1}, {{"MOV", "A", "Mem"}, 2}, {{"ADD", "B"}, 3}}));
  }
  // A token that straddles many pieces is joined, then cut to 255 characters.
  const std::string huge(5000, 'z');
  EXPECT_EQ(ReadAll("MVI " + huge + " B\nRET\n"),
            (std::vector<Read>{{{"MVI", std::string(255, 'z'), "B"}, 1}, {{"RET"}, 2}}));
  // A token split right at a piece boundary keeps both halves.
  const std::string split = std::string(508, ' ') + "ABCDEF\n";
  EXPECT_EQ(ReadAll(split), (std::vector<Read>{{{"ABCDEF"}, 1}}));
}

TEST(SourceReaderTest, MissingFileGivesNoStatements) {
  SourceReader reader("/nonexistent/folder/source.asm");
  Statement statement{};
  statement.count = 2;
  reader.ReadStatement(&statement);
  EXPECT_EQ(statement.count, 0);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.GetLineNumber(), 0);
  reader.ReadStatement(nullptr);
}

TEST(SourceReaderTest, FolderIsAReadError) {
  SourceReader reader(".");
  Statement statement{};
  reader.ReadStatement(&statement);
  EXPECT_EQ(statement.count, 0);
  EXPECT_TRUE(reader.HasReadError());
}

}  // namespace
}  // namespace mirvo
