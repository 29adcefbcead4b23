// SPDX-License-Identifier: MIT
#pragma once
// The output formats' ids: one per entry of the format table
// (output_formats.cpp), which says everything else about each. An output
// file's event carries the id of the format whose file it is.

namespace vantrel {

enum class FormatId { None, Mono, Stereo, Sf2, Sfz, DsPreset, Multisample, Dls, Sf3 };

}  // namespace vantrel
