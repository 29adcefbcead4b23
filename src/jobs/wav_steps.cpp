// SPDX-License-Identifier: MIT
#include "jobs/wav_steps.h"

#include "jobs/bank_reading.h"
#include "platform/file.h"
#include "platform/text.h"
#include "writers/wav_writer.h"

namespace vantrel {
namespace {

bool copyData(JobContext& ctx, OutputFile& file, const WavSource& source) {
  if (!finishWavFile(file, ctx.bank, source, ctx.writeBuffer, [&ctx](int) { checkCancelled(ctx.ui); })) return false;
  ctx.ui.logLine(fileNamePart(file.finalPath()) + " extracted");
  return true;
}

}  // namespace

WavSource wavSource(const JobContext& ctx, bool stereo, std::uint16_t left, std::uint16_t right) {
  WavSource source{stereo, left, right, std::nullopt};
  if (ctx.options.faithful) source.smpl = faithfulSmpl(firstZoneOf(ctx.zones, left));
  return source;
}

void describeOutput(const JobContext& ctx, OutputFileEvent& event) {
  event.bank = &ctx.bank;
  event.faithful = ctx.options.faithful;
  if (event.faithful || (event.kind != FormatId::Mono && event.kind != FormatId::Stereo)) {
    event.zones = &ctx.art;
  }
}

OutputFile WriteWavHeaderMono(JobContext& ctx, const std::string& folder, std::uint16_t index) {
  const std::string path = joinPath(folder, latin1ToUtf8(ctx.bank.outputName[index]));
  return startWavFile(ctx.bank, wavSource(ctx, false, index, index), path, ctx.ui.outputTap(path), ctx.options.overwrite);
}

OutputFile WriteWavHeaderStereo(JobContext& ctx, const std::string& folder, const std::string& fileName,
                                std::uint16_t left, std::uint16_t right) {
  const std::string path = joinPath(folder, latin1ToUtf8(fileName));
  return startWavFile(ctx.bank, wavSource(ctx, true, left, right), path, ctx.ui.outputTap(path), ctx.options.overwrite);
}

bool CopyPCMDataMono(JobContext& ctx, OutputFile& file, std::uint16_t index) {
  return copyData(ctx, file, wavSource(ctx, false, index, index));
}

bool CopyPCMDataStereo(JobContext& ctx, OutputFile& file, std::uint16_t left, std::uint16_t right) {
  return copyData(ctx, file, wavSource(ctx, true, left, right));
}

}  // namespace vantrel
