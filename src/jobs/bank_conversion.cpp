#include "jobs/bank_conversion.h"

#include <string_view>
#include <vector>

#include "jobs/pcm_release.h"
#include "jobs/output_folders.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tti/tti_reader.h"
#include "writers/sf2_writer.h"
#include "writers/wav_writer.h"

namespace vantrel {
namespace {

// The pair keys of two sample names: both cut by 5 characters when the names
// differ and both are longer than 5 (a stem, a channel letter and a
// four-character extension leave the stem), else both cut by 4. A name
// shorter than the cut gives the empty key. Letter case counts.
bool pairKeysEqual(std::string_view a, std::string_view b) {
  const std::size_t cut = a != b && a.size() > 5 && b.size() > 5 ? 5 : 4;
  auto key = [cut](std::string_view s) { return s.substr(0, s.size() > cut ? s.size() - cut : 0); };
  return key(a) == key(b);
}

// The stereo file's name: the left name without its last four characters,
// "__", then the right name whole; made safe as a file name.
std::string stereoNameOf(const std::string& left, const std::string& right) {
  return safeFileName(left.substr(0, left.size() > 4 ? left.size() - 4 : 0) + "__" + right);
}

}  // namespace

void extracttti(JobContext& ctx) {
  const std::string folder = ctx.destinationFolder;
  if (ctx.outputMode == kModeSf2) {
    WriteSF2File(ctx, folder);
  } else {
    intowav(ctx, folder);
  }
}

void intowav(JobContext& ctx, const std::string& folder) {
  SampleBank& bank = ctx.bank;
  const std::uint32_t n = bank.sampleCount;
  ctx.ui.logClear();
  ctx.gauge1.setRange(0, 2 * static_cast<std::int64_t>(n) + 2);
  BusyCursor busy(ctx.ui);
  ctx.gauge1.setProgress(0);
  ReleasePcmOnExit release(bank);

  getttivalues(ctx, 1);

  // Mono output has a folder of its own; stereo output, and output with no
  // mode chosen, goes into the stereo folder.
  const std::string out =
      ctx.outputMode == kModeMono ? CreateWavDirMono(ctx, folder) : CreateWavDirStereo(ctx, folder);

  // pendingSample[i] is 1 until sample i has been taken as a right channel.
  std::vector<std::uint8_t> pendingSample(n, 1);
  ctx.ui.logLine("processing " + fileNamePart(bank.ttiPath));

  const bool searchPairs = ctx.outputMode == kModeStereo;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (!pendingSample[i]) continue;
    const auto left = static_cast<std::uint16_t>(i);
    bool paired = false;

    // The right channel is the first later sample, in index order, that is
    // still pending and matches in pair key, length and loop points.
    if (searchPairs) {
      for (std::uint32_t j = i + 1; j < n && !paired; ++j) {
        if (!pendingSample[j] || bank.pcmLength[i] != bank.pcmLength[j] ||
            bank.loopStart[i] != bank.loopStart[j] || bank.loopEnd[i] != bank.loopEnd[j] ||
            !pairKeysEqual(bank.sampleName[i], bank.sampleName[j])) {
          continue;
        }
        const auto right = static_cast<std::uint16_t>(j);
        ctx.stereoFileName = stereoNameOf(bank.sampleName[i], bank.sampleName[j]);
        if (fileExists(joinPath(out, latin1ToUtf8(ctx.stereoFileName)))) {
          ctx.ui.logLine(latin1ToUtf8(ctx.stereoFileName) + " already extracted");
        } else {
          WriteWavHeaderStereo(ctx, out, left, right);
          ctx.gauge1.add(2);
          CopyPCMDataStereo(ctx, out, left, right);
        }
        // A pair counts as a pair whether its file was written or found:
        // its right sample is done.
        pendingSample[j] = 0;
        paired = true;
      }
    }

    if (!paired && !fileExists(joinPath(out, latin1ToUtf8(bank.outputName[i])))) {
      WriteWavHeaderMono(ctx, out, left);
      ctx.gauge1.add(1);
      CopyPCMDataMono(ctx, out, left);
    } else if (ctx.outputMode == kModeMono) {
      // In the other modes a pair was logged above and an existing mono
      // leftover is skipped without a line.
      ctx.ui.logLine(latin1ToUtf8(bank.outputName[i]) + " already extracted");
    }
  }
}

}  // namespace vantrel
