#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FileSource.h"
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

// Every statement of a source, with the line it came from; where its
// tokens stand goes to places, to compare two ways of reading.
std::vector<Read> ReadWith(SourceReader& reader, std::string& places) {
  std::vector<Read> reads;
  Statement statement{};
  for (int guard = 0; guard < 100; ++guard) {
    reader.ReadStatement(&statement);
    if (statement.count == 0) break;
    Read read{{}, reader.GetLineNumber()};
    for (int i = 0; i < statement.count; ++i) {
      read.tokens.emplace_back(statement.tokens[i]);
      places += std::to_string(statement.places[i].column) + "+" + std::to_string(statement.places[i].length) + " ";
    }
    places +=
        "ignored " + std::to_string(statement.ignored.column) + "+" + std::to_string(statement.ignored.length) + "\n";
    reads.push_back(read);
  }
  // The end is sticky.
  reader.ReadStatement(&statement);
  EXPECT_EQ(statement.count, 0);
  return reads;
}

// A stream that hands out its text a few bytes at a time, and notes the
// most that the reader asked for at once.
struct Trickle {
  const std::string* text;
  std::size_t at;
  std::size_t step;
  std::size_t largestAsk;
  static std::size_t Read(void* context, char* buffer, std::size_t size, bool*) {
    auto* const trickle = static_cast<Trickle*>(context);
    trickle->largestAsk = std::max(trickle->largestAsk, size);
    const std::size_t n = std::min({size, trickle->step, trickle->text->size() - trickle->at});
    std::memcpy(buffer, trickle->text->data() + trickle->at, n);
    trickle->at += n;
    return n;
  }
};

// The statements of a source read from memory, which is never read past its
// end; a stream, in blocks of any size, reads the same, places included, and
// its buffer never grows past 64 KiB, however long a line.
std::vector<Read> ReadAll(const std::string& source) {
  const auto exact = std::make_unique<char[]>(source.size());
  std::memcpy(exact.get(), source.data(), source.size());
  SourceReader inMemory(exact.get(), source.size());
  std::string places;
  const std::vector<Read> reads = ReadWith(inMemory, places);
  for (const std::size_t step : {std::size_t{7}, std::size_t{1} << 20}) {
    Trickle trickle{&source, 0, step, 0};
    SourceReader streamed(&Trickle::Read, &trickle);
    std::string streamedPlaces;
    EXPECT_EQ(ReadWith(streamed, streamedPlaces), reads) << "blocks of " << step;
    EXPECT_EQ(streamedPlaces, places) << "blocks of " << step;
    EXPECT_LE(trickle.largestAsk, std::size_t{1} << 16) << "blocks of " << step;
  }
  return reads;
}

// A stream that delivers its text, then fails.
FileSource FailingStream(const std::string* text) {
  struct State {
    const std::string* text;
    std::size_t at;
  };
  static cookie_io_functions_t functions = {[](void* cookie, char* buffer, std::size_t size) -> ssize_t {
                                              auto* const state = static_cast<State*>(cookie);
                                              if (state->at == state->text->size()) return -1;
                                              const std::size_t n = std::min(size, state->text->size() - state->at);
                                              std::memcpy(buffer, state->text->data() + state->at, n);
                                              state->at += n;
                                              return static_cast<ssize_t>(n);
                                            },
                                            nullptr, nullptr,
                                            [](void* cookie) {
                                              delete static_cast<State*>(cookie);
                                              return 0;
                                            }};
  return FileSource(::fopencookie(new State{text, 0}, "r", functions));
}

TEST(SourceReaderTest, StatementsAndTheirLines) {
  const std::string longToken(300, 'k');
  // Longer than a stream's buffer.
  const std::string hugeToken(200000, 'z');
  const std::string hugeGap(70000, ' ');
  struct Row {
    const char* name;
    std::string source;
    std::vector<Read> reads;
  };
  const Row rows[] = {
      {"comment first", "; sum\nMVI A,05h\nADD B\n", {{{"MVI", "A", "05h"}, 2}, {{"ADD", "B"}, 3}}},
      {"blank and comment lines count", "\n\r\n;note\n  ; indented note\nRET\n", {{{"RET"}, 5}}},
      {"indented statements",
       "    MOV A,B\n\tRET\n \t ADD C\n",
       {{{"MOV", "A", "B"}, 1}, {{"RET"}, 2}, {{"ADD", "C"}, 3}}},
      {"comments after a statement",
       "RET \nRET;x\nRET ; x\nMOV A, B ; copy\n",
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
      {"tokens and gaps longer than a stream's buffer",
       "RET\nMVI" + hugeGap + hugeToken + hugeGap + "B" + hugeGap + hugeToken + hugeGap + "C\nADD B\n",
       {{{"RET"}, 1}, {{"MVI", std::string(255, 'z'), "B"}, 2}, {{"ADD", "B"}, 3}}},
      {"comment, NUL and last line longer than a stream's buffer",
       "RET ;" + hugeToken + std::string("\nRET\0", 5) + hugeToken + "\nMOV " + hugeToken + "," + hugeGap,
       {{{"RET"}, 1}, {{"RET"}, 2}, {{"MOV", std::string(255, 'z')}, 3}}},
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
  // A token split right at a piece boundary keeps both halves, even a
  // one-character rest at the end of the source.
  const std::string split = std::string(508, ' ') + "ABCDEF\n";
  EXPECT_EQ(ReadAll(split), (std::vector<Read>{{{"ABCDEF"}, 1}}));
  EXPECT_EQ(ReadAll(std::string(508, ' ') + "RET"), (std::vector<Read>{{{"RET"}, 1}}));
  // A comment longer than a piece, and text after a NUL byte, stay ignored.
  const std::string long600(600, 'c');
  EXPECT_EQ(ReadAll("RET ;" + long600 + "\nADD B\n"), (std::vector<Read>{{{"RET"}, 1}, {{"ADD", "B"}, 2}}));
  EXPECT_EQ(ReadAll(std::string("RET\0", 4) + long600 + "\nADD B\n"),
            (std::vector<Read>{{{"RET"}, 1}, {{"ADD", "B"}, 2}}));
}

// Columns are 1-based byte positions in the physical line; a token cut to
// 255 characters keeps its whole length; a fourth token is placed too.
TEST(SourceReaderTest, TokensKnowWhereTheyStand) {
  struct Row {
    std::string line;
    std::vector<TokenPlace> places;
    TokenPlace ignored;
  };
  const std::string pad(520, ' ');
  const Row rows[] = {
      {"MOV A,B\n", {{1, 3}, {5, 1}, {7, 1}}, {0, 0}},
      {"\t MVI  Mem ,  0FFh ; x\n", {{3, 3}, {8, 3}, {15, 4}}, {0, 0}},
      {"MOV A, B, C D\n", {{1, 3}, {5, 1}, {8, 1}}, {11, 1}},
      {"ADD" + pad + "B\n", {{1, 3}, {524, 1}}, {0, 0}},
      {"MVI " + std::string(600, 'z') + " B\n", {{1, 3}, {5, 600}, {606, 1}}, {0, 0}},
      {"MOV A, B, C;D\n", {{1, 3}, {5, 1}, {8, 1}}, {11, 1}},
      {"A B C " + std::string(300, 'k') + " E\n", {{1, 1}, {3, 1}, {5, 1}}, {7, 300}},
      {"MOV A, B, C D", {{1, 3}, {5, 1}, {8, 1}}, {11, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line.substr(0, 30));
    SourceReader reader(row.line.data(), row.line.size());
    Statement statement{};
    reader.ReadStatement(&statement);
    ASSERT_EQ(statement.count, static_cast<std::int32_t>(row.places.size()));
    for (std::size_t i = 0; i < row.places.size(); ++i) {
      EXPECT_EQ(statement.places[i].column, row.places[i].column) << i;
      EXPECT_EQ(statement.places[i].length, row.places[i].length) << i;
    }
    EXPECT_EQ(statement.ignored.column, row.ignored.column);
    EXPECT_EQ(statement.ignored.length, row.ignored.length);
  }
}

// A read error after part of a line: the statements before it stand, the
// partial line gives none, and the error is reported.
TEST(SourceReaderTest, ReadErrorDropsThePartialLine) {
  const std::string text = "RET\nMOV A,";
  FileSource stream = FailingStream(&text);
  SourceReader reader(&FileSource::Read, &stream);
  std::string places;
  EXPECT_EQ(ReadWith(reader, places), (std::vector<Read>{{{"RET"}, 1}}));
  EXPECT_TRUE(reader.HasReadError());
}

TEST(SourceReaderTest, UnopenedOrUnreadableFileGivesNoStatements) {
  for (const char* path : {"/nonexistent/folder/source.asm", "."}) {
    FileSource file(path);
    SourceReader reader(&FileSource::Read, &file);
    Statement statement{};
    statement.count = 2;
    reader.ReadStatement(&statement);
    EXPECT_EQ(statement.count, 0) << path;
    EXPECT_TRUE(reader.HasReadError()) << path;
    EXPECT_EQ(reader.GetLineNumber(), 0);
    reader.ReadStatement(nullptr);
  }
  EXPECT_FALSE(FileSource("/nonexistent/folder/source.asm").IsOpen());
}

}  // namespace
}  // namespace mirvo
