#pragma once
// The submissions a grading command reads, from the names on its command
// line: a file named is one submission, followed wherever it links; a folder
// is walked to every depth, and each of its entries gets a row or a line
// saying why it got none (it is no program, or the same file as another
// row), so that nothing a class hands in is dropped silently. Rows are read
// only when they are graded, through the folder's descriptor and never by
// following a link the folder holds unless asked.

#include <fcntl.h>

#include <memory>
#include <string>
#include <vector>

#include "Folder.h"
#include "ProgramFile.h"
#include "SubmissionFile.h"

namespace mirvo::cli {

struct GatherOptions {
  std::vector<std::string> names;  // files and folders, as given
  std::string exercise;            // the exercise file: no program, wherever it is
  bool followLinks = false;        // follow the links to files that folders hold
  // Each first-level folder of a folder is one student (Moodle's layout), and
  // so is each student's set of files directly in it (Canvas's).
  bool byFolder = false;
  // Everything named is one student's submission (Gradescope's).
  bool oneSubmission = false;
  std::string pick;  // a glob that chooses among a student's programs
};

// One row of a report: a file to read and grade, or why a student has none.
struct Submission {
  std::string path;       // as reports name it
  int folder = AT_FDCWD;  // the descriptor name is opened through (AT_FDCWD: the working folder)
  std::string name;       // below folder
  NameFrom from = NameFrom::kCommandLine;
  std::string refused;  // when set, there is nothing to read: why, in words
  std::string cause;    // and the grade's cause
  std::string student;
  std::string studentId;
  std::string note;  // what was left aside when a student's program was chosen
};

// A file with no row of its own, and why: "not a program", "a hidden file",
// "the exercise file", "the same file as class/a.asm".
struct Skipped {
  std::string path;
  std::string reason;
};

class Submissions {
 public:
  void Gather(const GatherOptions& options);

  std::vector<Submission> rows;
  std::vector<Skipped> skipped;
  std::vector<std::string> links;  // the skipped entries that are symbolic links

 private:
  std::vector<std::unique_ptr<OpenFolder>> folders;  // open while rows are read through them
};

// Reads a row's file (the whole of it, once) and loads its program. For
// kCannotRead, reason holds the message and cause the grade's cause.
LoadResult LoadSubmission(const Submission& submission, ProgramAs as, Program& program, std::string& reason,
                          std::string& cause);

}  // namespace mirvo::cli
