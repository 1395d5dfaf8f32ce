#include "RunChecks.h"

#include <cstdio>

#include "InstructionEffects.h"
#include "Words.h"

namespace mirvo {

namespace {

// The loop's event that can show each check, in CheckId order.
constexpr StepEvent kEventOf[] = {kAddressUnwritten, kStoresBelowLimit, kAtStopAddress, kAddCarries, kReadsUnwritten};
static_assert(std::size(kEventOf) == kCheckTable.size(), "an event for every check");

constexpr StepEvent EventOf(CheckId id) { return kEventOf[static_cast<std::size_t>(id)]; }

std::string Byte(std::uint8_t value) { return ByteNotation(value).text; }
std::string Address(std::uint16_t address) { return WordNotation(address).text; }

// "A", "H and L", "A, B and C": the registers of mask in report order.
std::string RegisterList(std::uint8_t mask, std::size_t* count) {
  std::vector<std::string_view> names;
  for (const NamedSlot& reg : kRegisterReportOrder) {
    if ((mask & 1U << reg.slot) != 0) names.push_back(reg.name);
  }
  *count = names.size();
  return ListedInWords(names);
}

std::string InstructionText(const StepRecord& record) {
  char text[32];
  Disassemble(record.bytes, record.instruction.length, text, sizeof(text));
  return text;
}

// The words of each finding, from the step that shows it.

std::string PastEndMessage(const StepRecord& record) {
  return "the run went past the program's last statement to " + Address(record.address) + ", which holds " +
         Byte(record.bytes[0]) + ": no RET ended it";
}

// unset: the registers of Mem's address that were never set.
std::string HlUnsetMessage(const StepRecord& record, bool stores, std::uint8_t unset) {
  std::size_t count = 0;
  const std::string names = RegisterList(unset, &count);
  return InstructionText(record) + (stores ? " writes" : " reads") + " the byte at " + Address(record.memoryAddress) +
         ", but " + names + (count == 1 ? " was" : " were") + " never set";
}

// unset: the registers the instruction reads that were never set.
std::string UnsetReadMessage(const StepRecord& record, std::uint8_t unset) {
  std::size_t count = 0;
  const std::string names = RegisterList(unset, &count);
  return InstructionText(record) + " reads " + names + ", which " +
         (count == 1 ? "was never set: it holds " : "were never set: they hold ") + "the reset value 00h";
}

// overwritten: the statement whose byte changed, if one stands there.
std::string CodeWriteMessage(const StepRecord& record, const StatementRecord* overwritten) {
  std::string message = InstructionText(record) + " changes the program's own byte at " +
                        Address(record.memoryAddress) + " from " + Byte(record.memoryBefore) + " to " +
                        Byte(record.memoryAfter);
  if (overwritten != nullptr) message += ", in the statement on line " + std::to_string(overwritten->line);
  return message;
}

// a + value: the sum that wrapped.
std::string CarryLostMessage(const StepRecord& record, std::uint8_t a, std::uint8_t value) {
  char sum[8];
  std::snprintf(sum, sizeof(sum), "%Xh", unsigned{a} + value);
  return InstructionText(record) + " wraps past FFh: " + Byte(a) + " + " + Byte(value) + " = " + sum + ", kept as " +
         Byte(record.registersAfter[kRegA]) + "; the carry is lost and no flag shows it";
}

}  // namespace

CheckedProgram ProgramOf(const Assembler& assembler) {
  CheckedProgram program;
  program.imageLength = assembler.GetLength();
  program.statements = assembler.GetStatements();
  return program;
}

RunChecks::RunChecks(CheckedProgram checkedProgram, CheckMask enabledChecks)
    : program(std::move(checkedProgram)), enabled(enabledChecks), quiet(kMemorySize, 0), reported(kMemorySize, 0) {
  watch.written = program.givenRegisters;
  // Only H decides whether Mem's address is left to chance: with H unset it
  // lies in the first 256 bytes, where the program is; with H set and L not,
  // L's 0 is the start of the page H chose.
  watch.addressRegisters = static_cast<std::uint8_t>(1U << kRegH);
  watch.storeLimit = program.imageLength;
  // A program that fills memory has no address after it.
  watch.stopAddress = program.imageLength > 0 && program.imageLength < kMemorySize ? program.imageLength : kMemorySize;
  watch.ignored = quiet.data();
  // Checks that are off, and those a statement allows, are quiet from the start.
  std::uint8_t off = 0;
  for (const CheckRow& row : kCheckTable) {
    if ((enabled & CheckBit(row.id)) == 0) off = static_cast<std::uint8_t>(off | EventOf(row.id));
  }
  if (off != 0) quiet.assign(kMemorySize, off);
  for (const StatementRecord& statement : program.statements) {
    std::uint8_t allowed = 0;
    for (const CheckRow& row : kCheckTable) {
      if ((statement.allowed & CheckBit(row.id)) != 0) allowed = static_cast<std::uint8_t>(allowed | EventOf(row.id));
    }
    for (std::uint32_t a = statement.address; a < statement.address + statement.length && a < kMemorySize; ++a) {
      quiet[a] = static_cast<std::uint8_t>(quiet[a] | allowed);
    }
  }
  if (watch.stopAddress < kMemorySize && !program.statements.empty() &&
      (program.statements.back().allowed & CheckBit(CheckId::kPastEnd)) != 0) {
    quiet[watch.stopAddress] = static_cast<std::uint8_t>(quiet[watch.stopAddress] | kAtStopAddress);
  }
}

const StatementRecord* RunChecks::StatementAt(std::uint16_t address) const {
  return StatementCovering(program.statements, address);
}

RunOutcome RunChecks::Resume(Run& run, std::uint64_t budget) {
  return run.Resume(budget, watch, &RunChecks::Observe, this);
}

void RunChecks::Observe(void* context, const StepRecord& record) { static_cast<RunChecks*>(context)->Look(record); }

void RunChecks::Report(CheckId id, const StepRecord& record, const StatementRecord* statement, std::string message) {
  CheckFinding finding{id, record.step, record.address, 0, 0, 0, std::move(message)};
  if (statement != nullptr) {
    finding.line = statement->line;
    finding.column = statement->column;
    finding.length = 3;  // every mnemonic has three letters
  }
  findings.push_back(std::move(finding));
}

void RunChecks::Look(const StepRecord& record) {
  const InstructionUse& use = kUseTable[record.bytes[0]];
  const auto unset = static_cast<std::uint8_t>(~watch.written);
  const bool pastEnd = record.address == watch.stopAddress;
  // Past the end no statement stands: the last one is the place to fix.
  const StatementRecord* const statement =
      pastEnd ? (program.statements.empty() ? nullptr : &program.statements.back()) : StatementAt(record.address);
  const std::uint16_t key = pastEnd || statement == nullptr ? record.address : statement->address;
  const CheckMask allowed = statement != nullptr ? statement->allowed : CheckMask{0};
  const auto done = [&](CheckId id) {
    const CheckMask bit = CheckBit(id);
    return (enabled & bit) == 0 || (allowed & bit) != 0 || (reported[key] & bit) != 0;
  };
  // The message is worded only for a finding that is kept.
  const auto report = [&](CheckId id, const auto& message) {
    if (done(id)) return;
    reported[key] = static_cast<CheckMask>(reported[key] | CheckBit(id));
    if (findings.size() >= keep) {
      ++leftOut;
    } else {
      Report(id, record, statement, message());
    }
  };

  if (pastEnd) report(CheckId::kPastEnd, [&] { return PastEndMessage(record); });
  if ((use.address & watch.addressRegisters & unset) != 0) {
    report(CheckId::kHlUnset, [&] { return HlUnsetMessage(record, use.stores, use.address & unset); });
  }
  if ((use.reads & unset) != 0) {
    report(CheckId::kUnsetRead, [&] { return UnsetReadMessage(record, use.reads & unset); });
  }
  if (use.stores && record.memoryAddress < watch.storeLimit && record.memoryBefore != record.memoryAfter) {
    report(CheckId::kCodeWrite, [&] { return CodeWriteMessage(record, StatementAt(record.memoryAddress)); });
  }
  const Instruction& in = record.instruction;
  if (in.operation == Operation::kAdd && in.source != kRegM) {
    const std::uint8_t a = record.registersBefore[kRegA];
    const std::uint8_t value = record.registersBefore[in.source];
    if (AddCarries(a, value)) report(CheckId::kCarryLost, [&] { return CarryLostMessage(record, a, value); });
  }

  // What is done here need not come back from the loop.
  std::uint8_t silenced = 0;
  for (const CheckRow& row : kCheckTable) {
    if (done(row.id)) silenced = static_cast<std::uint8_t>(silenced | EventOf(row.id));
  }
  quiet[record.address] = static_cast<std::uint8_t>(quiet[record.address] | silenced);
  watch.written = static_cast<std::uint8_t>(watch.written | use.writes);
}

}  // namespace mirvo
