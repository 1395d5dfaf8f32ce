// mirvo link: the playground page's link that opens a source (#src=) or an
// exercise (#ex=): the text as UTF-8 in base64url without padding, as the
// page's share button writes it. An exercise's link is the learner's copy,
// without the hidden cases, the solution and the wrong programs, unless the
// teacher asks for the whole file (--with-hidden).

#include <cstdio>
#include <string>

#include "Commands.h"
#include "ExerciseFile.h"
#include "Output.h"
#include "ProgramFile.h"

namespace mirvo::cli {

namespace {

unsigned Byte(char ch) { return static_cast<unsigned char>(ch); }

std::string Base64Url(const std::string& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string text;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = Byte(bytes[i]) << 16 | Byte(bytes[i + 1]) << 8 | Byte(bytes[i + 2]);
    for (unsigned k = 0; k < 4; ++k) text += kAlphabet[(group >> (18 - 6 * k)) & 63U];
  }
  if (i < bytes.size()) {
    const std::size_t left = bytes.size() - i;
    unsigned group = Byte(bytes[i]) << 16;
    if (left == 2) group |= Byte(bytes[i + 1]) << 8;
    for (std::size_t k = 0; k <= left; ++k) text += kAlphabet[(group >> (18 - 6 * k)) & 63U];
  }
  return text;
}

bool IsExerciseName(const std::string& path) {
  std::string end = path.size() >= 5 ? path.substr(path.size() - 5) : path;
  for (char& ch : end) ch = static_cast<char>(ch | 0x20);
  return end == ".toml";
}

}  // namespace

int RunLink(const LinkOptions& options) {
  std::string text;
  std::string reason;
  const bool exercise = IsExerciseName(options.file);
  if (ReadWholeFile(options.file, text, reason) != 0) {
    Report("%s", reason.c_str());
    // An exercise file that cannot be read is the teacher's mistake, as
    // one that does not parse.
    return exercise ? kUsageExit : 1;
  }
  if (exercise) {
    // A link to a broken exercise would only fail in the page.
    Exercise parsed;
    if (const int status = ParseExerciseOrSay(options.file, text, parsed); status != 0) return status;
    if (!options.withHidden && HoldsTeacherParts(parsed)) text = LearnerExerciseText(parsed);
  } else if (!text.empty() && !LooksLikeSourceText(text)) {
    Report("%s is no assembly text: a link holds a source (.asm) or an exercise (.toml)", options.file.c_str());
    return 1;
  }
  Output out;
  out.OpenStandardOutput();
  out.Write(options.base + (exercise ? "#ex=" : "#src=") + Base64Url(text) + "\n");
  return out.Commit();
}

}  // namespace mirvo::cli
