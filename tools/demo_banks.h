// SPDX-License-Identifier: MIT
#pragma once
// The demo banks that ./run opens: a few small synthetic banks (sines,
// noise, a left/right pair, loops, several zones and velocity layers).

#include <string>
#include <vector>

#include "bank_builder.h"

namespace vantrel::testing {

struct DemoBank {
  std::string path;  // relative to the demo folder
  BankDesc bank;
};

std::vector<DemoBank> demoBanks();

// The keys and velocities a zone plays on, as a bank stores them: the
// lowest key is one more than its field, and so is the lowest velocity
// unless its field is 0.
struct ZoneSpan {
  int keyLow, keyHigh, velLow, velHigh, rootKey;
};
ZoneSpan zoneSpan(const ZoneDesc& zone);

}  // namespace vantrel::testing
