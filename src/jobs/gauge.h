// SPDX-License-Identifier: MIT
#pragma once
// A progress gauge: a range and a progress that is kept within it (a value
// outside the range is stored as the nearer bound). Changes are passed on
// to the front end.

#include <algorithm>
#include <cstdint>

#include "jobs/listener.h"

namespace vantrel {

class Gauge {
 public:
  Gauge(GaugeId id, JobListener& ui) : id_(id), ui_(&ui) {}

  void setRange(std::int64_t min, std::int64_t max) {
    min_ = min;
    max_ = std::max(min, max);
    progress_ = std::clamp(progress_, min_, max_);
    notify();
  }
  void setProgress(std::int64_t value) {
    progress_ = std::clamp(value, min_, max_);
    notify();
  }
  void add(std::int64_t delta) {
    if (delta != 0) setProgress(progress_ + delta);
  }

  // Takes the range and progress of `other`, a gauge of the same front end
  // that has told it of them already.
  void follow(const Gauge& other) {
    min_ = other.min_;
    max_ = other.max_;
    progress_ = other.progress_;
  }

  std::int64_t min() const noexcept { return min_; }
  std::int64_t max() const noexcept { return max_; }
  std::int64_t progress() const noexcept { return progress_; }

 private:
  void notify() { ui_->gaugeChanged(id_, min_, max_, progress_); }

  GaugeId id_;
  JobListener* ui_;
  std::int64_t min_ = 0;
  std::int64_t max_ = 100;
  std::int64_t progress_ = 0;
};

}  // namespace vantrel
