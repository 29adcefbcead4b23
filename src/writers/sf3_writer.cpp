// SPDX-License-Identifier: MIT
#include "writers/sf3_writer.h"

#include <vorbis/vorbisenc.h>

#include <cstring>
#include <limits>
#include <memory>

#include "platform/errors.h"
#include "writers/sf2_writer.h"

namespace vantrel {
namespace {

// The position of chunk `id` among the chunks in [from, to) of `b`; npos
// when none has it.
std::size_t findChunk(const LeBytes& b, std::size_t from, std::size_t to, const char (&id)[5]) {
  for (std::size_t at = from; at + 8 <= to;) {
    if (std::memcmp(b.data() + at, id, 4) == 0) return at;
    const std::uint32_t size = b.data()[at + 4] | b.data()[at + 5] << 8 | b.data()[at + 6] << 16 |
                               static_cast<std::uint32_t>(b.data()[at + 7]) << 24;
    at += 8 + size + (size & 1u);
  }
  return std::string::npos;
}

std::uint32_t u32At(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// libvorbis' encoder state, released in the order it was set up.
struct VorbisEncoder {
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  ogg_stream_state stream;
  VorbisEncoder(int serial) {
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, 44100, kSf3VorbisQuality) != 0) {
      vorbis_info_clear(&info);
      throw std::runtime_error("the Vorbis encoder refuses its settings");
    }
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "ENCODER", "Vantrel " VANTREL_VERSION);
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&stream, serial);
  }
  ~VorbisEncoder() {
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
  }
  VorbisEncoder(const VorbisEncoder&) = delete;
  VorbisEncoder& operator=(const VorbisEncoder&) = delete;
};

void putPage(std::vector<std::uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<std::uint8_t> oggVorbisStream(const std::uint8_t* pcm, std::size_t frames, int serial) {
  VorbisEncoder e(serial);
  std::vector<std::uint8_t> out;
  ogg_packet id, comments, codebooks;
  vorbis_analysis_headerout(&e.dsp, &e.comment, &id, &comments, &codebooks);
  ogg_stream_packetin(&e.stream, &id);
  ogg_stream_packetin(&e.stream, &comments);
  ogg_stream_packetin(&e.stream, &codebooks);
  // The headers stand on pages of their own, before the first audio page.
  ogg_page page;
  while (ogg_stream_flush(&e.stream, &page) != 0) putPage(out, page);

  auto drain = [&] {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&e.dsp, &e.block) == 1) {
      vorbis_analysis(&e.block, nullptr);
      vorbis_bitrate_addblock(&e.block);
      while (vorbis_bitrate_flushpacket(&e.dsp, &packet) == 1) {
        ogg_stream_packetin(&e.stream, &packet);
        while (ogg_stream_pageout(&e.stream, &page) != 0) putPage(out, page);
      }
    }
  };
  constexpr std::size_t kChunk = 4096;
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(kChunk, frames - done);
    float** buffer = vorbis_analysis_buffer(&e.dsp, static_cast<int>(n));
    for (std::size_t k = 0; k < n; ++k) {
      const std::uint8_t* p = pcm + 2 * (done + k);
      buffer[0][k] = static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
    }
    vorbis_analysis_wrote(&e.dsp, static_cast<int>(n));
    drain();
    done += n;
  }
  vorbis_analysis_wrote(&e.dsp, 0);
  drain();
  while (ogg_stream_flush(&e.stream, &page) != 0) putPage(out, page);
  return out;
}

std::string writeSf3(const SampleBank& bank, const std::vector<ZonePlay>& zones, const std::string& finalPath,
                     std::vector<std::uint8_t>& buffer, const Progress& progress, WriteTap* tap,
                     const OpenFolder* folder, bool faithful) {
  Sf2Layout layout = layoutSf2(bank, zones, faithful);
  if (progress) progress(1);
  // Each written sample's stream, one after the other; its header says
  // where.
  std::vector<std::uint8_t> streams;
  std::vector<std::uint8_t> frames;
  std::vector<std::uint32_t> starts;
  for (std::uint32_t r = 0; r < bank.sampleCount; ++r) {
    if (!layout.holds[r]) {
      if (progress) progress(1);
      continue;
    }
    const std::uint32_t n = wholeFrames(bank.pcmLength[r]);
    const SampleSpan span = sampleSpan(bank, r, n);
    frames.assign(n, 0);
    if (span.held) bank.pcm.read(span.start, frames.data(), span.held);
    starts.push_back(static_cast<std::uint32_t>(streams.size()));
    const std::vector<std::uint8_t> ogg = oggVorbisStream(frames.data(), n / 2, static_cast<int>(r) + 1);
    streams.insert(streams.end(), ogg.begin(), ogg.end());
    if (streams.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
      throwInvalidBank(bank.ttiPath, "the samples are too long for one SoundFont file");
    }
    if (progress) progress(1);
  }
  starts.push_back(static_cast<std::uint32_t>(streams.size()));
  if (streams.size() & 1) streams.push_back(0);

  // The sample headers: byte positions of the streams, loop points from
  // the sample's first frame, the compressed flag.
  LeBytes& pdta = layout.pdta;
  const std::size_t shdr = findChunk(pdta, 12, pdta.size(), "shdr");
  if (shdr == std::string::npos) throw std::logic_error("a SoundFont without sample headers");
  for (std::size_t k = 0; k < layout.samples.size(); ++k) {
    const std::size_t at = shdr + 8 + 46 * k;
    const std::uint8_t* header = pdta.data() + at;
    const std::uint32_t start = u32At(header + 20);
    const std::uint32_t linkAndType = u32At(header + 42);
    pdta.setU32(at + 28, u32At(header + 28) - start);
    pdta.setU32(at + 32, u32At(header + 32) - start);
    pdta.setU32(at + 20, starts[k]);
    pdta.setU32(at + 24, starts[k + 1]);
    pdta.setU32(at + 42, linkAndType | 0x10u << 16);
  }

  // The head: version 3.0, and the sizes of "smpl", "sdta" and the form.
  LeBytes& head = layout.head;
  const std::size_t info = findChunk(head, 12, head.size(), "LIST");
  const std::size_t ifil = findChunk(head, info + 12, head.size(), "ifil");
  if (ifil == std::string::npos) throw std::logic_error("a SoundFont without a version");
  head.setU32(ifil + 8, 3);  // major 3, minor 0
  const std::uint32_t smplSize = static_cast<std::uint32_t>(streams.size());
  head.setU32(head.size() - 4, smplSize);
  head.setU32(head.size() - 16, smplSize + 12);
  head.setU32(4, static_cast<std::uint32_t>(head.size() - 8 + smplSize + pdta.size()));

  OutputFile file(finalPath, tap, folder);
  BlockWriter out(file.file(), buffer, 0, false, &progress, head.size() + streams.size() + pdta.size());
  out.put(head);
  out.put(streams.data(), streams.size());
  out.put(pdta);
  out.finish();
  file.commit();
  return file.finalPath();
}

}  // namespace vantrel
