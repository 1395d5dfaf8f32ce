#include "Reference.h"

#include <algorithm>
#include <array>
#include <memory>
#include <set>

#include "Diagnostic.h"
#include "Program.h"
#include "ProgramImage.h"

namespace mirvo {

std::uint64_t Reference::Combinations() const {
  std::uint64_t count = 1;
  for (const VariedItem& item : vary) count = std::min(count * item.values.size(), kMaxInputs + 1);
  return count;
}

std::uint64_t Reference::Inputs() const {
  return all ? Combinations() : picks.size() / std::max<std::size_t>(vary.size(), 1);
}

void Reference::InputAt(std::uint64_t n, std::uint8_t* values) const {
  for (std::size_t i = 0; i < vary.size(); ++i) {
    const std::vector<std::uint8_t>& choices = vary[i].values;
    if (all) {
      values[i] = choices[n % choices.size()];
      n /= choices.size();
    } else {
      values[i] = choices[picks[static_cast<std::size_t>(n) * vary.size() + i]];
    }
  }
}

std::string Thousands(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

bool InputBefore(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  unsigned sumA = 0;
  unsigned sumB = 0;
  for (const std::uint8_t v : a) sumA += v;
  for (const std::uint8_t v : b) sumB += v;
  if (sumA != sumB) return sumA < sumB;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

namespace {

// Runs one program on input after input from one start (its image and the
// given state) without resetting 64 KiB each time: the watched loop hands
// back every store, whose address is logged, and Undo puts back the bytes
// the run wrote. A run that wraps past FFFFh is run again from the start
// through Run on a machine of its own, for the endless-loop detector.
class InputRunner {
 public:
  InputRunner(std::span<const std::uint8_t> image, const std::vector<Expectation>& given,
              const std::vector<VariedItem>& vary, std::uint64_t maxSteps)
      : vary(vary), maxSteps(maxSteps), machine(std::make_unique<VirtualMachine>()), ignored(kMemorySize) {
    LoadImage(*machine, image.data(), image.size());
    const Expectation* conflict = nullptr;
    if (ApplyGiven(given, image.size(), *machine, &conflict) != 0) {
      error = DescribeConflict(*conflict, image.size());
    }
    for (const VariedItem& item : vary) {
      if (error.empty() && item.target.kind == ExpectKind::kMemory && item.target.address < image.size()) {
        error = DescribeConflict(item.target, image.size(), "varied");
      }
    }
    start = machine->GetProcessor();
    base = std::make_unique<Memory>(machine->GetMemory());
    std::fill(ignored.begin(), ignored.end(), static_cast<std::uint8_t>(0xFF & ~unsigned{kStoresBelowLimit}));
  }

  // Why no input can run (a given or varied byte inside the image), or "".
  const std::string& Error() const { return error; }

  RunOutcome RunInput(const std::uint8_t* values) {
    slowUsed = false;
    written.clear();
    machine->SetProcessor(start);
    Apply(*machine, values);
    StepWatch watch{0xFF, 0, 0x10000, 0x10000, ignored.data()};
    steps = 0;
    while (true) {
      const auto room = static_cast<std::uint32_t>(std::min<std::uint64_t>(maxSteps - steps, UINT32_MAX));
      steps += machine->RunWithoutWrap(room, watch);
      if (steps >= maxSteps) return RunOutcome::kStepLimit;
      const std::uint16_t before = machine->GetProgramCounter();
      if (kDecodeTable[machine->MemoryAt(before)].writesMemory) {
        const RegisterFile& r = machine->GetRegisters();
        written.push_back(HlAddress(r[kRegH], r[kRegL]));
      }
      const StepResult result = machine->Step();
      ++steps;
      const std::uint16_t after = machine->GetProgramCounter();
      if (result == Halt) return RunOutcome::kHalted;
      if (after == before) return RunOutcome::kUndefinedOpcode;
      if (after < before) return RunSlowly(values);
    }
  }

  const VirtualMachine& Machine() const { return slowUsed ? *slow : *machine; }
  // The steps of the last run.
  std::uint64_t Steps() const { return steps; }
  // The addresses the last run stored to (some more than once).
  const std::vector<std::uint16_t>& Written() const { return written; }
  // The byte at address as the last input started.
  std::uint8_t Initial(std::uint16_t address, const std::uint8_t* values) const {
    for (std::size_t i = vary.size(); i-- > 0;) {
      if (vary[i].target.kind == ExpectKind::kMemory && vary[i].target.address == address) return values[i];
    }
    return (*base)[address];
  }

  // Puts back what the last run wrote, and the varied bytes.
  void Undo() {
    if (slowUsed) return;
    for (const std::uint16_t address : written) machine->MemoryAt(address) = (*base)[address];
    for (const VariedItem& item : vary) {
      if (item.target.kind == ExpectKind::kMemory)
        machine->MemoryAt(item.target.address) = (*base)[item.target.address];
    }
  }

 private:
  void Apply(VirtualMachine& into, const std::uint8_t* values) const {
    for (std::size_t i = 0; i < vary.size(); ++i) {
      const Expectation& item = vary[i].target;
      if (item.kind == ExpectKind::kRegister) into.SetRegister(item.slot, values[i]);
      if (item.kind == ExpectKind::kFlag) into.SetFlag(item.slot, values[i]);
      if (item.kind == ExpectKind::kMemory) into.WriteMemory(item.address, values[i]);
    }
  }

  RunOutcome RunSlowly(const std::uint8_t* values) {
    Undo();
    slow = std::make_unique<VirtualMachine>(*machine);
    slow->SetProcessor(start);
    Apply(*slow, values);
    const auto first = std::make_unique<VirtualMachine>(*slow);
    Run run(*slow, maxSteps);
    const RunOutcome outcome = run.Resume(UINT64_MAX);
    steps = run.Steps();
    written.clear();
    for (const ChangedByte& changed : ChangedMemory(*slow, *first)) written.push_back(changed.address);
    slowUsed = true;
    return outcome;
  }

  const std::vector<VariedItem>& vary;
  std::uint64_t maxSteps;
  std::unique_ptr<VirtualMachine> machine;
  std::unique_ptr<Memory> base;
  VirtualMachine::Processor start{};
  std::vector<std::uint8_t> ignored;
  std::vector<std::uint16_t> written;
  std::unique_ptr<VirtualMachine> slow;
  bool slowUsed = false;
  std::uint64_t steps = 0;
  std::string error;
};

// The solution's end of one input: its compared values and, when memory is
// compared, the bytes it wrote (by address, each once, with its last value).
struct SolutionEnd {
  const std::uint16_t* values;
  std::span<const WrittenByte> writes;
};

void CollectWrites(const InputRunner& runner, std::vector<WrittenByte>& out) {
  std::vector<std::uint16_t> addresses = runner.Written();
  std::sort(addresses.begin(), addresses.end());
  addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
  for (const std::uint16_t address : addresses) out.push_back({address, runner.Machine().MemoryAt(address)});
}

bool InWrites(std::span<const WrittenByte> writes, std::uint16_t address) {
  const auto at = std::lower_bound(writes.begin(), writes.end(), address,
                                   [](const WrittenByte& w, std::uint16_t a) { return w.address < a; });
  return at != writes.end() && at->address == address;
}

// The program's last run against the solution's end: every compared item,
// and each byte either wrote at or past limit (outside both images).
bool Matches(const Reference& reference, const InputRunner& runner, RunOutcome outcome, const SolutionEnd& end,
             const std::uint8_t* values, std::size_t limit) {
  if (outcome != RunOutcome::kHalted) return false;
  const VirtualMachine& m = runner.Machine();
  for (std::size_t k = 0; k < reference.compared.items.size(); ++k) {
    if (ValueIn(reference.compared.items[k], m) != end.values[k]) return false;
  }
  if (!reference.compared.memory) return true;
  for (const WrittenByte& w : end.writes) {
    if (w.address >= limit && m.MemoryAt(w.address) != w.value) return false;
  }
  for (const std::uint16_t address : runner.Written()) {
    if (address >= limit && !InWrites(end.writes, address) && m.MemoryAt(address) != runner.Initial(address, values)) {
      return false;
    }
  }
  return true;
}

std::vector<Expectation> InputItems(const Reference& reference, const std::uint8_t* values) {
  std::vector<Expectation> input;
  for (std::size_t i = 0; i < reference.vary.size(); ++i) {
    input.push_back(reference.vary[i].target);
    input.back().value = values[i];
  }
  return input;
}

// Grades one program: the runs, the shrinking and the words of the least failure.
class Grader {
 public:
  Grader(const Reference& reference, std::span<const std::uint8_t> image, std::uint64_t maxSteps)
      : reference(reference),
        program(image, reference.given, reference.vary, maxSteps),
        solution(reference.image, reference.given, reference.vary, maxSteps),
        limit(std::max(image.size(), reference.image.size())) {}

  ReferenceResult Grade() {
    ReferenceResult result;
    result.inputs = reference.Inputs();
    result.error = program.Error();
    if (!result.error.empty()) return result;
    const std::size_t k = reference.vary.size();
    std::vector<std::uint8_t> values(k);
    std::vector<std::uint8_t> best;
    std::vector<std::vector<std::uint8_t>> failures;
    const std::size_t compared = reference.compared.items.size();
    for (std::uint64_t n = 0; n < result.inputs; ++n) {
      const auto at = static_cast<std::size_t>(n);
      reference.InputAt(n, values.data());
      const RunOutcome outcome = program.RunInput(values.data());
      const SolutionEnd end{
          reference.table.data() + at * compared,
          std::span<const WrittenByte>(reference.writes)
              .subspan(reference.writeStart[at], reference.writeStart[at + 1] - reference.writeStart[at])};
      const bool pass = Matches(reference, program, outcome, end, values.data(), limit);
      program.Undo();
      if (pass) {
        ++result.passed;
      } else if (reference.all) {
        if (best.empty() || InputBefore(values, best)) best = values;
      } else {
        failures.push_back(values);
      }
    }
    if (!reference.all) best = LeastShrunk(failures);
    if (!best.empty()) Describe(best, result);
    return result;
  }

 private:
  // The solution's end of an input outside the table.
  SolutionEnd Live(const std::uint8_t* values) {
    solution.RunInput(values);
    liveValues.clear();
    liveWrites.clear();
    for (const Expectation& item : reference.compared.items) {
      liveValues.push_back(static_cast<std::uint16_t>(ValueIn(item, solution.Machine())));
    }
    if (reference.compared.memory) CollectWrites(solution, liveWrites);
    solution.Undo();
    return {liveValues.data(), liveWrites};
  }

  bool Fails(const std::vector<std::uint8_t>& values) {
    const SolutionEnd end = Live(values.data());
    const RunOutcome outcome = program.RunInput(values.data());
    const bool pass = Matches(reference, program, outcome, end, values.data(), limit);
    program.Undo();
    return !pass;
  }

  // Each value lowered, to the lowest of its rule that still fails, until
  // none can be.
  void Shrink(std::vector<std::uint8_t>& values) {
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t i = 0; i < values.size(); ++i) {
        for (const std::uint8_t lower : reference.vary[i].values) {
          if (lower >= values[i]) break;
          std::vector<std::uint8_t> tried = values;
          tried[i] = lower;
          if (Fails(tried)) {
            values = std::move(tried);
            changed = true;
            break;
          }
        }
      }
    }
  }

  std::vector<std::uint8_t> LeastShrunk(std::vector<std::vector<std::uint8_t>>& failures) {
    std::sort(failures.begin(), failures.end(),
              [](const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) { return InputBefore(a, b); });
    if (failures.size() > kShrunkFailures) failures.resize(kShrunkFailures);
    std::vector<std::uint8_t> best;
    for (std::vector<std::uint8_t>& failure : failures) {
      Shrink(failure);
      if (best.empty() || InputBefore(failure, best)) best = failure;
    }
    return best;
  }

  // What differed at values: the solution's values of every compared item
  // and written byte, then the outcome, and the program's mismatches.
  void Describe(const std::vector<std::uint8_t>& values, ReferenceResult& result) {
    const SolutionEnd end = Live(values.data());
    result.smallestFailing = InputItems(reference, values.data());
    result.outcome = program.RunInput(values.data());
    for (std::size_t k = 0; k < reference.compared.items.size(); ++k) {
      result.expected.push_back(reference.compared.items[k]);
      result.expected.back().value = end.values[k];
    }
    if (reference.compared.memory) {
      std::set<std::uint16_t> addresses;
      for (const WrittenByte& w : end.writes) addresses.insert(w.address);
      for (const std::uint16_t address : program.Written()) addresses.insert(address);
      for (const std::uint16_t address : addresses) {
        if (address < limit) continue;
        Expectation item;
        item.kind = ExpectKind::kMemory;
        item.address = address;
        item.value = program.Initial(address, values.data());
        for (const WrittenByte& w : end.writes) item.value = w.address == address ? w.value : item.value;
        result.expected.push_back(item);
      }
    }
    result.expected.push_back(Expectation{});
    result.mismatches = Compare(result.expected, program.Machine(), result.outcome);
    program.Undo();
  }

  const Reference& reference;
  InputRunner program;
  InputRunner solution;
  std::size_t limit;
  std::vector<std::uint16_t> liveValues;
  std::vector<WrittenByte> liveWrites;
};

// The random inputs: each value's corners with the others at their
// lowest, every value at the same corner where its rule holds it, then the
// draws, as value indices.
void DrawInputs(Reference& reference, std::uint64_t seed) {
  const std::size_t k = reference.vary.size();
  std::vector<std::vector<std::uint8_t>> corners;
  constexpr std::array<std::uint8_t, 5> kCorners = {0x00, 0x01, 0x7F, 0x80, 0xFF};
  const auto indexOf = [&](std::size_t i, std::uint8_t value) {
    const std::vector<std::uint8_t>& values = reference.vary[i].values;
    const auto at = std::lower_bound(values.begin(), values.end(), value);
    return at != values.end() && *at == value ? static_cast<int>(at - values.begin()) : -1;
  };
  for (const std::uint8_t corner : kCorners) {
    std::vector<std::uint8_t> same(k, 0);
    for (std::size_t i = 0; i < k; ++i) {
      same[i] = static_cast<std::uint8_t>(std::max(indexOf(i, corner), 0));
      std::vector<std::uint8_t> one(k, 0);
      if (indexOf(i, corner) < 0) continue;
      one[i] = static_cast<std::uint8_t>(indexOf(i, corner));
      corners.push_back(one);
    }
    corners.push_back(same);
  }
  std::sort(corners.begin(), corners.end(), [](const auto& a, const auto& b) { return InputBefore(a, b); });
  corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
  reference.picks.clear();
  for (const std::vector<std::uint8_t>& input : corners)
    reference.picks.insert(reference.picks.end(), input.begin(), input.end());
  // splitmix64: the same seed draws the same inputs everywhere.
  std::uint64_t state = seed;
  const auto next = [&state] {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  };
  for (std::uint64_t n = 0; n < reference.drawn; ++n) {
    for (std::size_t i = 0; i < k; ++i) {
      reference.picks.push_back(static_cast<std::uint8_t>(next() % reference.vary[i].values.size()));
    }
  }
}

}  // namespace

int PrepareReference(Reference& reference, std::uint64_t seed, std::uint64_t maxSteps, bool inC, std::string& why) {
  reference.seed = seed;
  reference.table.clear();
  reference.writes.clear();
  reference.writeStart.assign(1, 0);
  const Program program = Program::FromSource(inC ? "reference.c" : "", reference.solution);
  if (program.HasErrors()) {
    const Diagnostic* const error = program.FirstError();
    why = std::string(inC ? "does not compile" : "does not assemble");
    if (error != nullptr) why += ": line " + std::to_string(error->line) + ": " + DescribeDiagnostic(*error);
    return 1;
  }
  reference.image.assign(program.Image().begin(), program.Image().end());
  if (!reference.all) DrawInputs(reference, seed);
  const std::uint64_t inputs = reference.Inputs();
  if (inputs * reference.compared.items.size() > kMaxTableValues) {
    why = "compares " + Thousands(reference.compared.items.size()) + " items on " + Thousands(inputs) +
          " inputs: more than " + Thousands(kMaxTableValues) + " values in all";
    return 1;
  }
  InputRunner runner(reference.image, reference.given, reference.vary, maxSteps);
  if (!runner.Error().empty()) {
    why = "cannot run: " + runner.Error();
    return 1;
  }
  std::vector<std::uint8_t> values(reference.vary.size());
  std::uint64_t steps = 0;
  for (std::uint64_t n = 0; n < inputs; ++n) {
    reference.InputAt(n, values.data());
    const RunOutcome outcome = runner.RunInput(values.data());
    steps += runner.Steps();
    if (steps > kMaxSolutionSteps) {
      why =
          "takes more than " + Thousands(kMaxSolutionSteps) + " steps over its inputs: give fewer inputs or max_steps";
      return 1;
    }
    if (outcome != RunOutcome::kHalted) {
      why = "does not halt on " + WriteInput(InputItems(reference, values.data())) + ": it ends in " +
            OutcomeName(outcome);
      return 1;
    }
    for (const Expectation& item : reference.compared.items) {
      reference.table.push_back(static_cast<std::uint16_t>(ValueIn(item, runner.Machine())));
    }
    if (reference.compared.memory) CollectWrites(runner, reference.writes);
    if (reference.writes.size() - reference.writeStart.back() > kMaxSolutionWrites) {
      why = "writes more than " + Thousands(kMaxSolutionWrites) + " bytes on " +
            WriteInput(InputItems(reference, values.data()));
      return 1;
    }
    reference.writeStart.push_back(static_cast<std::uint32_t>(reference.writes.size()));
    runner.Undo();
  }
  return 0;
}

ReferenceResult GradeAgainstReference(const Reference& reference, std::span<const std::uint8_t> image,
                                      std::uint64_t maxSteps) {
  Grader grader(reference, image, maxSteps);
  return grader.Grade();
}

std::string DescribeMatches(const ReferenceResult& result) {
  return "matches the solution on " + Thousands(result.passed) + " of " + Thousands(result.inputs) + " inputs";
}

std::string WriteInput(const std::vector<Expectation>& input) {
  std::string text;
  for (const Expectation& item : input) text += (text.empty() ? "" : " ") + WriteItem(item, item.value, item.outcome);
  return text;
}

}  // namespace mirvo
