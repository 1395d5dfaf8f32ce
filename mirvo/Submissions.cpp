#include "Submissions.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string_view>

#include "Output.h"

namespace mirvo::cli {

namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// "a", "a and b", "a, b and c"; a long list ends with how many more there are.
std::string ListNames(const std::vector<std::string>& names) {
  constexpr std::size_t kListed = 6;
  const std::size_t shown = std::min(names.size(), kListed);
  std::string text;
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += i + 1 == shown && shown == names.size() ? " and " : ", ";
    text += names[i];
  }
  if (names.size() > shown) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// Moodle names each student's folder "Ana Lima_12345_assignsubmission_file_":
// the student, their id, the kind of submission.
bool ReadMoodleName(const std::string& folder, std::string& student, std::string& id) {
  const std::size_t mark = folder.find("_assignsubmission_");
  if (mark == std::string::npos || mark == 0) return false;
  const std::size_t underscore = folder.rfind('_', mark - 1);
  if (underscore == std::string::npos || underscore == 0) return false;
  id = folder.substr(underscore + 1, mark - underscore - 1);
  student = folder.substr(0, underscore);
  return AllDigits(id);
}

// Canvas names each file "limaana_12345_67890_lab1.asm": the student, their
// id, the submission's id and the name they gave it, with "LATE_" after the
// student for a late one.
bool ReadCanvasName(const std::string& file, std::string& student, std::string& id) {
  const std::size_t first = file.find('_');
  if (first == std::string::npos || first == 0) return false;
  std::size_t start = first + 1;
  if (file.compare(start, 5, "LATE_") == 0) start += 5;
  const std::size_t second = file.find('_', start);
  if (second == std::string::npos) return false;
  const std::size_t third = file.find('_', second + 1);
  if (third == std::string::npos || third + 1 >= file.size()) return false;
  if (!AllDigits(std::string_view(file).substr(start, second - start)) ||
      !AllDigits(std::string_view(file).substr(second + 1, third - second - 1))) {
    return false;
  }
  student = file.substr(0, first);
  id = file.substr(start, second - start);
  return true;
}

// A row with nothing to read, and why.
Submission Refused(std::string path, std::string reason, const char* cause) {
  Submission row;
  row.path = std::move(path);
  row.refused = std::move(reason);
  row.cause = cause;
  return row;
}

// One student's files: a folder of theirs, or their files in a flat folder.
struct Group {
  std::string path;  // the student's folder, or their first file, as reports name it
  std::string student;
  std::string studentId;
  // Why there is nothing of theirs to read (their folder cannot be read, or
  // is a link), and the grade's cause.
  std::string refused;
  const char* cause = "unreadable";
  std::vector<std::size_t> files;  // into the walk's entries
};

class Gatherer {
 public:
  Gatherer(const GatherOptions& options, Submissions& out)
      : options(options), out(out), exercise(IdentityOf(AT_FDCWD, options.exercise, true)) {}

  void Named(const std::string& name, const OpenFolder* folder) {
    if (folder == nullptr) {
      // A file named on the command line is followed wherever it links.
      if (const std::string* earlier = Remember(IdentityOf(AT_FDCWD, name, true), name)) {
        Skip(name, *earlier == name ? "named already" : "the same file as " + *earlier);
        return;
      }
      Submission row;
      row.path = row.name = name;
      out.rows.push_back(std::move(row));
      return;
    }
    std::vector<FolderEntry> entries;
    std::string reason;
    if (folder->Walk(entries, reason) != 0) {
      out.rows.push_back(Refused(name, "cannot read the folder " + name + ": " + reason, "unreadable"));
      return;
    }
    const std::string prefix = name.back() == '/' ? name : name + "/";
    if (options.oneSubmission) {
      Group group;
      group.path = name;
      for (std::size_t i = 0; i < entries.size(); ++i) group.files.push_back(i);
      RowOf(group, *folder, prefix, entries);
    } else if (options.byFolder) {
      ByFolder(*folder, prefix, entries);
    } else {
      EachFile(*folder, prefix, entries);
    }
  }

 private:
  // The path of the row that reads this file already, or null once the file
  // is remembered as path's.
  const std::string* Remember(FileId id, const std::string& path) {
    if (id == FileId{}) return nullptr;
    const auto [at, added] = seen.emplace(id, path);
    return added ? nullptr : &at->second;
  }

  void Skip(std::string path, std::string reason) { out.skipped.push_back({std::move(path), std::move(reason)}); }

  // A folder's entry with no row; a link among them stays a name that the
  // report is never written through.
  void SkipEntry(const std::string& prefix, const FolderEntry& entry, std::string reason) {
    if (entry.kind == EntryKind::kLink) out.links.push_back(prefix + entry.path);
    Skip(prefix + entry.path, std::move(reason));
  }

  Submission FileRow(const OpenFolder& folder, const std::string& prefix, const FolderEntry& entry) const {
    Submission row;
    row.path = prefix + entry.path;
    row.folder = folder.Descriptor();
    row.name = entry.path;
    row.from = options.followLinks ? NameFrom::kFolderFollowingLinks : NameFrom::kFolder;
    return row;
  }

  // The file's identity for telling two names of it apart: a link's own,
  // unless links are followed.
  FileId IdOf(const OpenFolder& folder, const FolderEntry& entry) const {
    if (entry.kind != EntryKind::kLink || !options.followLinks) return entry.id;
    const FileId target = IdentityOf(folder.Descriptor(), entry.path, true);
    return target == FileId{} ? entry.id : target;
  }

  // Why an entry that is no folder gets no row, or "" for a program.
  std::string NoProgram(const FolderEntry& entry) const {
    const std::string base = BaseName(entry.path);
    if (base[0] == '.') return "a hidden file";
    if (entry.id == exercise && exercise != FileId{}) return "the exercise file";
    if (!IsProgramName(base)) return "not a program";
    return "";
  }

  // A folder's entry that is a folder: nothing of its own, but a hidden one
  // is not entered and one that cannot be read is said, as a row of its own
  // or, inside a student's folder, on the side. True when it was one.
  bool FolderEntryDone(const std::string& prefix, const FolderEntry& entry, bool rowOfItsOwn) {
    if (entry.kind != EntryKind::kFolder) return false;
    const std::string path = prefix + entry.path + "/";
    if (BaseName(entry.path)[0] == '.') {
      Skip(path, "a hidden folder");
    } else if (!entry.problem.empty() && rowOfItsOwn) {
      out.rows.push_back(
          Refused(path, "cannot read the folder " + prefix + entry.path + ": " + entry.problem, "unreadable"));
    } else if (!entry.problem.empty()) {
      Skip(path, "cannot read the folder: " + entry.problem);
    }
    return true;
  }

  // Every program at any depth is a row of its own.
  void EachFile(const OpenFolder& folder, const std::string& prefix, const std::vector<FolderEntry>& entries) {
    for (const FolderEntry& entry : entries) {
      if (FolderEntryDone(prefix, entry, true)) continue;
      if (const std::string why = NoProgram(entry); !why.empty()) {
        SkipEntry(prefix, entry, why);
      } else if (const std::string* earlier = Remember(IdOf(folder, entry), prefix + entry.path)) {
        SkipEntry(prefix, entry, *earlier == prefix + entry.path ? "named already" : "the same file as " + *earlier);
      } else {
        out.rows.push_back(FileRow(folder, prefix, entry));
      }
    }
  }

  // Each first-level folder is a student; so is each student's set of files
  // named as Canvas names them. Other files there are the teacher's.
  void ByFolder(const OpenFolder& folder, const std::string& prefix, const std::vector<FolderEntry>& entries) {
    std::vector<Group> groups;
    std::map<std::pair<std::string, std::string>, std::size_t> canvas;  // student and id: their group
    std::size_t current = 0;  // the group of the first-level folder being read, plus one
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const FolderEntry& entry = entries[i];
      if (entry.depth > 1) {
        if (current > 0) groups[current - 1].files.push_back(i);
        continue;
      }
      current = 0;
      Group group;
      group.path = prefix + entry.path;
      if (entry.kind == EntryKind::kFolder) {
        if (entry.path[0] == '.') {
          Skip(prefix + entry.path + "/", "a hidden folder");
          continue;
        }
        group.path += "/";
        if (!entry.problem.empty()) group.refused = "cannot read the folder " + group.path + ": " + entry.problem;
        if (!ReadMoodleName(entry.path, group.student, group.studentId)) group.student = entry.path;
        groups.push_back(std::move(group));
        current = groups.size();
      } else if (entry.kind == EntryKind::kLink && entry.path[0] != '.') {
        // A student's folder, perhaps, but not one this folder holds.
        group.refused = DescribeRead({ReadStatus::kSymbolicLink, 0, ""}, group.path, kLongestText);
        group.cause = "symbolic-link";
        if (!ReadMoodleName(entry.path, group.student, group.studentId)) group.student = entry.path;
        groups.push_back(std::move(group));
      } else if (entry.path[0] != '.' && ReadCanvasName(entry.path, group.student, group.studentId)) {
        const auto [at, added] = canvas.emplace(std::pair(group.student, group.studentId), groups.size());
        if (added) groups.push_back(std::move(group));
        groups[at->second].files.push_back(i);
      } else {
        const std::string why = NoProgram(entry);
        SkipEntry(prefix, entry, why.empty() ? "not in a student's folder" : why);
      }
    }
    for (const Group& group : groups) RowOf(group, folder, prefix, entries);
  }

  // One student's row: their one program, or the one chosen among several.
  void RowOf(const Group& group, const OpenFolder& folder, const std::string& prefix,
             const std::vector<FolderEntry>& entries) {
    Submission row = group.refused.empty() ? Choose(group, folder, prefix, entries)
                                           : Refused(group.path, group.refused, group.cause);
    row.student = group.student;
    row.studentId = group.studentId;
    out.rows.push_back(std::move(row));
  }

  // What a student's files hold: the programs (into the walk's entries), and
  // the name of every visible file, below the student's folder.
  struct Holdings {
    std::vector<std::size_t> programs;
    std::vector<std::string> handedIn;
  };

  Holdings Sort(const Group& group, const OpenFolder& folder, const std::string& prefix,
                const std::vector<FolderEntry>& entries, std::size_t below) {
    Holdings held;
    std::set<FileId> ids;
    for (const std::size_t i : group.files) {
      const FolderEntry& entry = entries[i];
      if (FolderEntryDone(prefix, entry, false)) continue;
      if (BaseName(entry.path)[0] != '.') held.handedIn.push_back(entry.path.substr(below));
      if (const std::string why = NoProgram(entry); !why.empty()) {
        SkipEntry(prefix, entry, why);
      } else if (const FileId id = IdOf(folder, entry); id != FileId{} && !ids.insert(id).second) {
        SkipEntry(prefix, entry, "the same file as another of the student's");
      } else {
        held.programs.push_back(i);
      }
    }
    return held;
  }

  Submission Choose(const Group& group, const OpenFolder& folder, const std::string& prefix,
                    const std::vector<FolderEntry>& entries) {
    // Names as the student gave them: below their folder.
    const std::size_t below = options.byFolder && group.path.back() == '/' ? group.path.size() - prefix.size() : 0;
    const auto nameOf = [&](std::size_t i) { return entries[i].path.substr(below); };
    const Holdings held = Sort(group, folder, prefix, entries, below);
    const std::vector<std::size_t> chosen = Candidates(held.programs, entries);
    const std::string whose = options.oneSubmission ? "your submission" : "the folder";
    if (chosen.empty()) return Refused(group.path, NoProgramMessage(whose, held.handedIn), "no-program");
    if (chosen.size() > 1 && options.oneSubmission) {
      // The student must say which: the grader does not guess for them.
      std::vector<std::string> names;
      for (const std::size_t i : chosen) names.push_back(nameOf(i));
      return Refused(
          group.path,
          whose + " holds " + ListNames(names) + " and the grader reads one program: hand in only the one to be graded",
          "several-programs");
    }
    // The newest of several, the first of those as new; a file before a
    // link or anything else that cannot be graded, however new.
    const std::size_t picked = *std::max_element(chosen.begin(), chosen.end(), [&](std::size_t a, std::size_t b) {
      const bool aFile = entries[a].kind == EntryKind::kFile;
      const bool bFile = entries[b].kind == EntryKind::kFile;
      return aFile != bFile ? bFile : entries[a].modified < entries[b].modified;
    });
    Submission row = FileRow(folder, prefix, entries[picked]);
    // The student is told of everything they handed in; the teacher of the
    // programs left aside (the other files are said to be skipped).
    std::vector<std::string> named = held.handedIn;
    if (!options.oneSubmission) {
      named.clear();
      for (const std::size_t i : held.programs) named.push_back(nameOf(i));
    }
    if (named.size() > 1) {
      row.note = whose + " holds " + ListNames(named) + "; the grader read " + nameOf(picked) +
                 (chosen.size() > 1 ? ", the newest" : "");
    }
    return row;
  }

  // The programs a student's program is chosen from: their sources (.asm or
  // .c) if they have any, else their other programs; --pick narrows them to its matches.
  std::vector<std::size_t> Candidates(const std::vector<std::size_t>& programs,
                                      const std::vector<FolderEntry>& entries) const {
    std::vector<std::size_t> chosen;
    if (!options.pick.empty()) {
      for (const std::size_t i : programs) {
        if (::fnmatch(options.pick.c_str(), BaseName(entries[i].path).c_str(), 0) == 0) chosen.push_back(i);
      }
      if (!chosen.empty()) return chosen;
    }
    for (const std::size_t i : programs) {
      const std::string name = BaseName(entries[i].path);
      if (NamesSource(name) || NamesC(name)) chosen.push_back(i);
    }
    return chosen.empty() ? programs : chosen;
  }

  static std::string NoProgramMessage(const std::string& whose, const std::vector<std::string>& handedIn) {
    if (handedIn.empty()) return whose + " is empty: hand in the program's source (.asm)";
    for (const std::string& name : handedIn) {
      for (const char* archive : {".zip", ".tar", ".gz", ".tgz", ".7z", ".rar"}) {
        if (EndsWith(name, archive)) {
          return whose + " holds " + ListNames(handedIn) + "; " + name +
                 " is an archive the grader does not open: hand in the source (.asm) itself";
        }
      }
    }
    return whose + " holds " + ListNames(handedIn) +
           " and no program: hand in the program's source (.asm) or image (.bin)";
  }

  const GatherOptions& options;
  Submissions& out;
  FileId exercise;
  std::map<FileId, std::string> seen;  // each file with a row, and the row's path
};

const char* CauseOf(ReadStatus status) {
  switch (status) {
    case ReadStatus::kSymbolicLink:
      return "symbolic-link";
    case ReadStatus::kNotAFile:
      return "not-a-file";
    case ReadStatus::kTooLarge:
      return "too-long";
    default:
      return "unreadable";
  }
}

}  // namespace

void Submissions::Gather(const GatherOptions& options) {
  Gatherer gatherer(options, *this);
  std::set<FileId> namedFolders;
  for (const std::string& name : options.names) {
    if (!IsFolder(name.c_str())) {
      gatherer.Named(name, nullptr);
      continue;
    }
    if (!namedFolders.insert(IdentityOf(AT_FDCWD, name, true)).second) {
      skipped.push_back({name, "a folder named already"});
      continue;
    }
    auto folder = std::make_unique<OpenFolder>();
    std::string reason;
    if (folder->Open(name.c_str(), reason) != 0) {
      rows.push_back(Refused(name, "cannot read the folder " + name + ": " + reason, "unreadable"));
      continue;
    }
    gatherer.Named(name, folder.get());
    folders.push_back(std::move(folder));
  }
}

LoadResult LoadSubmission(const Submission& submission, ProgramAs as, Program& program, std::string& reason,
                          std::string& cause) {
  std::string bytes;
  const ReadResult read = ReadSubmission(submission.folder, submission.name, submission.from, kLongestText, bytes);
  if (read.status != ReadStatus::kRead) {
    reason = DescribeRead(read, submission.path, kLongestText);
    cause = CauseOf(read.status);
    return LoadResult::kCannotRead;
  }
  const LoadResult result =
      LoadProgram(submission.path, std::move(bytes), as, program, reason, AssemblyOptions::Submission());
  if (result == LoadResult::kCannotRead) cause = "too-long";
  return result;
}

}  // namespace mirvo::cli
