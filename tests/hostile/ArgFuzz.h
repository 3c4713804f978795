// Random command lines for the setup, built from arguments whose meaning is
// known when they are made: each generated case carries what the parser must
// make of it. Arguments mix quotes, "=", "/L" letters, very long values and
// Unicode (never NUL); each is written into the command line in one of the
// ways the runtime's splitting reads back as the same argument. Mutate()
// damages a line at random, for runs where only the parser's invariants hold.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/uInstallOptions.h"

namespace vt::test {

// What the parser must leave behind. Fields the arguments do not touch keep
// the values of a fresh TInstallOptions.
struct TArgExpectation {
  // Every SetProperty call, in order (a later one of the same name updates).
  std::vector<std::pair<std::wstring, std::wstring>> SetCalls;
  std::wstring Unsupported;
  bool Quiet = false, NoReb = false, NoCheck = false, NoDownload = false;
  uint32_t LogMode = 0, LogAttributes = 0;
  std::wstring LogFile;
  bool LogFileIsDefault = false;  // "*": the debug log's default name for "InstallLog"
  std::wstring InstallDir, AltVer, Cenv;
  TInstallerProxyParams Proxy;
  // The property list SetCalls leave: one item per name (A-Z case ignored), first place kept.
  std::vector<std::pair<std::wstring, std::wstring>> Properties() const;
};

struct TArgCase {
  std::vector<std::wstring> Args;  // as the parser sees them
  std::wstring Tail;               // the command line after the program path
  TArgExpectation Want;
};

struct TArgLimits {
  size_t MaxArgs = 12;
  size_t LongValue = 70000;   // the longest value that is sometimes made
  double LongChance = 0.02;   // how often a value is long
  size_t MaxTail = 1u << 20;  // the command line's tail stays below this
  bool ControlChars = true;   // control characters inside quoted values
  // Arguments handed to the parser directly (not through a command line)
  // may carry quotes of their own.
  bool Direct = false;
};

class TArgFuzzer {
public:
  TArgFuzzer(uint32_t Seed, TArgLimits Limits) : FRnd(Seed), FLimits(Limits) {}
  TArgCase Next();
  // Inserts, deletes, repeats and swaps pieces of Line with hostile characters.
  std::wstring Mutate(std::wstring Line);

private:
  size_t Below(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(FRnd) : 0; }
  bool Chance(double p) { return std::bernoulli_distribution(p)(FRnd); }
  wchar_t HostileChar(bool Blanks);
  std::wstring Text(size_t MaxLen, bool Blanks, bool Equals);
  std::wstring Value(bool Blanks);
  std::wstring RandomCase(std::wstring s);
  std::wstring Padded(const std::wstring& Name);
  std::wstring Encode(const std::wstring& Arg, bool Last);
  std::wstring Separator();
  void Unsupported(TArgExpectation& w, const std::wstring& Entry);
  // One or two arguments of a random kind, applied to the expectation.
  void AddRandomArgument(TArgCase& c, bool MayTakeNext);
  std::wstring QuotedForDequote(const std::wstring& Inner, std::wstring& Dequoted);

  std::mt19937 FRnd;
  TArgLimits FLimits;
};

}  // namespace vt::test
