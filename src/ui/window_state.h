// SPDX-License-Identifier: MIT
#pragma once
// The window's own state, apart from any conversion run: the output the
// box has chosen, the bank the file list shows (its directory and values,
// read when it is clicked) and the picks in its sample list. Each
// conversion the window starts gets a job context of its own, so nothing
// of one run stays for the next click.

#include "jobs/job_context.h"
#include "jobs/output_formats.h"
#include "jobs/selection.h"
#include "tti/sample_bank.h"

namespace vantrel {

struct WindowState {
  const OutputFormat* format = &noOutputFormat();
  bool faithful = false;  // the output box's "Faithful to the bank"
  SampleBank shown;  // shown.ttiPath is empty while no bank is shown
  StereoPicks picks;

  JobOptions jobOptions() const {
    JobOptions options;
    options.format = format;
    options.faithful = faithful;
    return options;
  }
  bool stereo() const noexcept { return format->id == FormatId::Stereo; }
};

}  // namespace vantrel
