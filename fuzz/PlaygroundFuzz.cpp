// The page engine's C functions (web/engine/PlaygroundApi.cpp), called in
// the orders and with the arguments a worker could send: sources, images of
// any size, budgets of any value (NaN, negative, huge), breakpoints at any
// address, and every text the session hands out. Invariants: every JSON text
// parses; an assembly's statements are the image's bytes; a refused image
// leaves the machine alone and is said why; an outcome is one the vocabulary
// names, a breakpoint pause stands at a breakpoint, and a recorded step is
// the current run's last, its changes matching the machine; an exercise
// opens or says why not, and Check grades only with one open, within its
// maximum.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Playground.h"

using mirvo::Playground;
using Json = nlohmann::json;

extern "C" {
Playground* pg_create();
void pg_destroy(Playground* session);
const char* pg_vocabulary(Playground* session);
int pg_assemble(Playground* session, const char* text, std::uint32_t size);
const char* pg_assembly(Playground* session);
const std::uint8_t* pg_image(Playground* session);
std::uint32_t pg_image_size(Playground* session);
int pg_load(Playground* session, const std::uint8_t* bytes, std::uint32_t size);
const char* pg_image_status_text(Playground* session, int status, const char* name);
void pg_restart(Playground* session);
int pg_resume(Playground* session, double budget, int breakpoints, int skipFirst);
void pg_set_breakpoint(Playground* session, int address, int on);
void pg_clear_breakpoints(Playground* session);
const std::uint8_t* pg_registers(Playground* session);
const std::uint8_t* pg_flags(Playground* session);
const std::uint8_t* pg_memory(Playground* session);
int pg_pc(Playground* session);
int pg_sp(Playground* session);
int pg_hl(Playground* session);
int pg_outcome(Playground* session);
double pg_steps(Playground* session);
const char* pg_state_map(Playground* session, const char* imagePath);
const char* pg_disassemble(Playground* session, int address);
const char* pg_outcome_text(Playground* session);
const char* pg_last_step(Playground* session);
const char* pg_checks(Playground* session);
const char* pg_open_exercise(Playground* session, const char* text, std::uint32_t size);
const char* pg_check(Playground* session);
std::uint32_t pg_text_size(Playground* session);
}

namespace {

// Steps one input may ask for in all: a run can take 2^30 steps.
constexpr double kStepAllowance = 1 << 18;

// A text the session handed out last, as a string of its stated size.
std::string Text(Playground* session, const char* pointer) {
  FUZZ_CHECK(pointer != nullptr);
  const std::uint32_t size = pg_text_size(session);
  FUZZ_CHECK(std::strlen(pointer) <= size);
  return std::string(pointer, size);
}

Json Parse(const std::string& text) {
  FUZZ_CHECK(Json::accept(text));
  return Json::parse(text);
}

struct Names {
  std::size_t outcomes = 0;
  std::size_t breakpointOutcome = 0;
  std::set<int> final;  // the outcomes that end a run
  Json registers;       // [{"name", "slot"}]
  Json flags;
};

Names ReadVocabulary(Playground* session) {
  const Json vocabulary = Parse(Text(session, pg_vocabulary(session)));
  Names names;
  names.outcomes = vocabulary["outcomes"].size();
  for (std::size_t i = 0; i < names.outcomes; ++i) {
    if (vocabulary["outcomes"][i]["name"] == "breakpoint") names.breakpointOutcome = i;
    if (vocabulary["outcomes"][i]["final"] == true) names.final.insert(static_cast<int>(i));
  }
  names.registers = vocabulary["registers"];
  names.flags = vocabulary["flags"];
  FUZZ_CHECK(vocabulary["bytes"].size() == 256);
  return names;
}

void CheckAssembly(Playground* session, int status) {
  const Json assembly = Parse(Text(session, pg_assembly(session)));
  FUZZ_CHECK(assembly["image"].is_null());
  FUZZ_CHECK(assembly["length"] == pg_image_size(session));
  bool error = false;
  for (const Json& diagnostic : assembly["diagnostics"]) error = error || diagnostic["severity"] == "error";
  FUZZ_CHECK(error == (status != 0));
  const std::uint8_t* const image = pg_image(session);
  for (const Json& statement : assembly["statements"]) {
    std::uint32_t address = statement["address"];
    for (const Json& byte : statement["bytes"]) {
      FUZZ_CHECK(address < pg_image_size(session) && image[address] == byte.get<unsigned>());
      ++address;
    }
  }
}

// The last step's record belongs to the current run and agrees with the
// machine: each change's "after" is what the register or flag holds now.
void CheckLastStep(Playground* session, const Names& names) {
  const Json record = Parse(Text(session, pg_last_step(session)));
  if (record.is_null()) return;
  FUZZ_CHECK(record["step"].get<double>() == pg_steps(session));
  for (const auto& [name, change] : record["changes"].items()) {
    if (name == "memory") {
      FUZZ_CHECK(pg_memory(session)[change["address"].get<unsigned>()] == change["after"].get<unsigned>());
      continue;
    }
    bool found = false;
    for (const auto* table : {&names.registers, &names.flags}) {
      for (const Json& entry : *table) {
        if (entry["name"] != name) continue;
        const std::uint8_t* const slots = table == &names.registers ? pg_registers(session) : pg_flags(session);
        FUZZ_CHECK(slots[entry["slot"].get<unsigned>()] == change["after"].get<unsigned>());
        found = true;
      }
    }
    FUZZ_CHECK(found);
  }
}

// The checks' findings so far: steps of this run, in the order they came.
void CheckFindings(Playground* session) {
  const Json findings = Parse(Text(session, pg_checks(session)));
  double last = 0;
  for (const Json& finding : findings) {
    const double step = finding["step"].get<double>();
    FUZZ_CHECK(step >= last && step <= pg_steps(session));
    FUZZ_CHECK(!finding["message"].get<std::string>().empty());
    last = step;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Playground* const session = pg_create();
  FUZZ_CHECK(session != nullptr);
  const Names names = ReadVocabulary(session);
  std::set<int> breakpoints;
  double allowance = kStepAllowance;
  bool mapDone = false;
  bool exerciseOpen = false;

  while (input.remaining_bytes() > 0) {
    switch (input.ConsumeIntegralInRange<int>(0, 11)) {
      case 0: {
        const std::string source = input.ConsumeRandomLengthString(2048);
        const int status = pg_assemble(session, source.data(), static_cast<std::uint32_t>(source.size()));
        FUZZ_CHECK(status == 0 || status == 1);
        CheckAssembly(session, status);
        break;
      }
      case 1: {
        // The last assembly's image, or bytes of any length (past 64 KiB too).
        std::vector<std::uint8_t> bytes;
        if (input.ConsumeBool()) {
          bytes.assign(pg_image(session), pg_image(session) + pg_image_size(session));
        } else {
          bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 4096));
          if (input.ConsumeBool()) bytes.resize(mirvo::kMemorySize + input.ConsumeIntegralInRange<std::size_t>(0, 2));
        }
        const double stepsBefore = pg_steps(session);
        const int pcBefore = pg_pc(session);
        const int status = pg_load(session, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        FUZZ_CHECK((status == 0) == (bytes.size() <= mirvo::kMemorySize));
        if (status == 0) {
          FUZZ_CHECK(pg_steps(session) == 0 && pg_pc(session) == 0);
          FUZZ_CHECK(bytes.empty() || std::memcmp(pg_memory(session), bytes.data(), bytes.size()) == 0);
        } else {
          FUZZ_CHECK(pg_steps(session) == stepsBefore && pg_pc(session) == pcBefore);
          FUZZ_CHECK(!Text(session, pg_image_status_text(session, status, "p.bin")).empty());
        }
        break;
      }
      case 2: {
        double budget = static_cast<double>(input.ConsumeIntegralInRange<int>(-2, 70000));
        switch (input.ConsumeIntegralInRange<int>(0, 7)) {
          case 0:
            budget = std::numeric_limits<double>::quiet_NaN();
            break;
          case 1:
            budget = std::numeric_limits<double>::infinity();
            break;
          case 2:
            budget = 1e300;
            break;
          default:
            break;
        }
        // Budgets past the allowance only once the run has ended, where
        // they take no step.
        const bool ended = names.final.count(pg_outcome(session)) == 1;
        if (budget > allowance && !ended) budget = allowance;
        const bool withBreakpoints = input.ConsumeBool();
        const double stepsBefore = pg_steps(session);
        const int outcome = pg_resume(session, budget, withBreakpoints ? 1 : 0, input.ConsumeBool() ? 1 : 0);
        FUZZ_CHECK(outcome >= 0 && static_cast<std::size_t>(outcome) < names.outcomes);
        FUZZ_CHECK(outcome == pg_outcome(session));
        const double taken = pg_steps(session) - stepsBefore;
        FUZZ_CHECK(taken >= 0 && (std::isnan(budget) ? taken == 0 : taken <= std::max(budget, 0.0)));
        if (!ended) allowance -= taken;
        if (static_cast<std::size_t>(outcome) == names.breakpointOutcome) {
          FUZZ_CHECK(withBreakpoints && breakpoints.count(pg_pc(session)) == 1);
        }
        CheckLastStep(session, names);
        CheckFindings(session);
        break;
      }
      case 3: {
        const int address = input.ConsumeIntegral<int>();
        const bool on = input.ConsumeBool();
        pg_set_breakpoint(session, address, on ? 1 : 0);
        if (on) {
          breakpoints.insert(address & 0xFFFF);
        } else {
          breakpoints.erase(address & 0xFFFF);
        }
        break;
      }
      case 4:
        pg_clear_breakpoints(session);
        breakpoints.clear();
        break;
      case 5:
        pg_restart(session);
        FUZZ_CHECK(pg_steps(session) == 0 && pg_pc(session) == 0);
        FUZZ_CHECK(Parse(Text(session, pg_last_step(session))).is_null());
        break;
      case 6:
        FUZZ_CHECK(!Text(session, pg_disassemble(session, input.ConsumeIntegral<int>())).empty());
        break;
      case 7:
        FUZZ_CHECK(!Text(session, pg_outcome_text(session)).empty());
        break;
      case 8:
        FUZZ_CHECK(pg_hl(session) == pg_registers(session)[mirvo::kRegH] * 256 + pg_registers(session)[mirvo::kRegL]);
        FUZZ_CHECK(pg_sp(session) == 0xFFFF);
        break;
      case 9:
        // The whole report is 2 MB: once an input is enough.
        if (!mapDone) {
          const std::string name = input.ConsumeRandomLengthString(64);
          FUZZ_CHECK(Text(session, pg_state_map(session, name.c_str())).size() > mirvo::kMemorySize);
          mapDone = true;
        }
        break;
      case 10: {
        const std::string text = input.ConsumeRandomLengthString(2048);
        const Json opened =
            Parse(Text(session, pg_open_exercise(session, text.data(), static_cast<std::uint32_t>(text.size()))));
        FUZZ_CHECK(opened.contains("exercise") != opened.contains("error"));
        exerciseOpen = opened.contains("exercise");
        break;
      }
      case 11: {
        const Json grade = Parse(Text(session, pg_check(session)));
        FUZZ_CHECK(grade.is_null() != exerciseOpen);
        if (exerciseOpen) FUZZ_CHECK(grade["score"].get<unsigned>() <= grade["max_score"].get<unsigned>());
        break;
      }
      default:
        break;
    }
  }
  pg_destroy(session);
  return 0;
}
