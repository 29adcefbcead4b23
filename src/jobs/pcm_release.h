// SPDX-License-Identifier: MIT
#pragma once
// A job owns the PCM data it has the reader load and releases it when it
// ends, also when a failure ends it early.

#include "tti/sample_bank.h"

namespace vantrel {

class ReleasePcmOnExit {
 public:
  explicit ReleasePcmOnExit(SampleBank& bank) noexcept : bank_(bank) {}
  ~ReleasePcmOnExit() { bank_.releasePcm(); }
  ReleasePcmOnExit(const ReleasePcmOnExit&) = delete;
  ReleasePcmOnExit& operator=(const ReleasePcmOnExit&) = delete;

 private:
  SampleBank& bank_;
};

}  // namespace vantrel
