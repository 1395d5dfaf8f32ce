// Text through mirvo's expectation parser. Invariants: a refusal says why;
// what is accepted, written back as a report writes it (NAME=VALUE, the
// outcome word), reads back as the same expectations; comparing them with a
// machine never fails.

#include <memory>
#include <string>
#include <vector>

#include "Expectations.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirvo;
  using namespace mirvo::cli;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<Expectation> expectations;
  std::string error;
  if (ParseExpectations(text, expectations, error) != 0) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(!expectations.empty());
  std::string written;
  for (const Expectation& expectation : expectations) {
    if (expectation.kind == ExpectKind::kOutcome) {
      written += ShowValue(expectation, expectation.value, expectation.outcome) + "\n";
    } else {
      written += expectation.what + "=" + ShowValue(expectation, expectation.value, expectation.outcome) + " ; again\n";
    }
  }
  std::vector<Expectation> again;
  FUZZ_CHECK(ParseExpectations(written, again, error) == 0);
  FUZZ_CHECK(again.size() == expectations.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    FUZZ_CHECK(again[i].kind == expectations[i].kind && again[i].what == expectations[i].what);
    FUZZ_CHECK(again[i].slot == expectations[i].slot && again[i].address == expectations[i].address);
    FUZZ_CHECK(again[i].value == expectations[i].value && again[i].outcome == expectations[i].outcome);
  }
  const auto machine = std::make_unique<VirtualMachine>();
  const std::vector<Mismatch> mismatches = Compare(expectations, *machine, RunOutcome::kHalted);
  FUZZ_CHECK(mismatches.size() <= expectations.size());
  return 0;
}
