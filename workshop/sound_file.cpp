#include "workshop/sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace pelorin {
namespace {

// At most this many samples (frames × channels) are decoded at a time.
constexpr int64_t kBlockSamples = 65536;
constexpr int64_t kMaxBlockFrames = 4096;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

struct Named {
  int code;
  std::string_view words;
};

// Container and encoding names in this program's own words.
constexpr Named kContainers[] = {
    {SF_FORMAT_WAV, "WAV"},   {SF_FORMAT_WAVEX, "WAV (extensible)"},
    {SF_FORMAT_AIFF, "AIFF"}, {SF_FORMAT_AU, "AU"},
    {SF_FORMAT_RAW, "raw"},   {SF_FORMAT_PAF, "PAF"},
    {SF_FORMAT_SVX, "IFF"},   {SF_FORMAT_NIST, "SPHERE"},
    {SF_FORMAT_VOC, "VOC"},   {SF_FORMAT_IRCAM, "IRCAM"},
    {SF_FORMAT_W64, "W64"},   {SF_FORMAT_MAT4, "MAT4"},
    {SF_FORMAT_MAT5, "MAT5"}, {SF_FORMAT_PVF, "PVF"},
    {SF_FORMAT_XI, "XI"},     {SF_FORMAT_HTK, "HTK"},
    {SF_FORMAT_SDS, "SDS"},   {SF_FORMAT_AVR, "AVR"},
    {SF_FORMAT_SD2, "SD2"},   {SF_FORMAT_FLAC, "FLAC"},
    {SF_FORMAT_CAF, "CAF"},   {SF_FORMAT_WVE, "WVE"},
    {SF_FORMAT_OGG, "Ogg"},   {SF_FORMAT_MPC2K, "MPC2K"},
    {SF_FORMAT_RF64, "RF64"}, {SF_FORMAT_MPEG, "MPEG"},
};
constexpr Named kEncodings[] = {
    {SF_FORMAT_PCM_S8, "8-bit integer"},
    {SF_FORMAT_PCM_16, "16-bit integer"},
    {SF_FORMAT_PCM_24, "24-bit integer"},
    {SF_FORMAT_PCM_32, "32-bit integer"},
    {SF_FORMAT_PCM_U8, "8-bit unsigned integer"},
    {SF_FORMAT_FLOAT, "32-bit float"},
    {SF_FORMAT_DOUBLE, "64-bit float"},
    {SF_FORMAT_ULAW, "8-bit mu-law"},
    {SF_FORMAT_ALAW, "8-bit A-law"},
    {SF_FORMAT_IMA_ADPCM, "4-bit ADPCM"},
    {SF_FORMAT_MS_ADPCM, "coefficient ADPCM"},
    {SF_FORMAT_GSM610, "GSM 6.10"},
    {SF_FORMAT_VOX_ADPCM, "4-bit ADPCM, headerless"},
    {SF_FORMAT_NMS_ADPCM_16, "ADPCM, 16 kbit/s"},
    {SF_FORMAT_NMS_ADPCM_24, "ADPCM, 24 kbit/s"},
    {SF_FORMAT_NMS_ADPCM_32, "ADPCM, 32 kbit/s"},
    {SF_FORMAT_G721_32, "G.721 ADPCM, 32 kbit/s"},
    {SF_FORMAT_G723_24, "G.723 ADPCM, 24 kbit/s"},
    {SF_FORMAT_G723_40, "G.723 ADPCM, 40 kbit/s"},
    {SF_FORMAT_DWVW_12, "12-bit DWVW"},
    {SF_FORMAT_DWVW_16, "16-bit DWVW"},
    {SF_FORMAT_DWVW_24, "24-bit DWVW"},
    {SF_FORMAT_DWVW_N, "DWVW"},
    {SF_FORMAT_DPCM_8, "8-bit DPCM"},
    {SF_FORMAT_DPCM_16, "16-bit DPCM"},
    {SF_FORMAT_VORBIS, "Vorbis"},
    {SF_FORMAT_OPUS, "Opus"},
    {SF_FORMAT_ALAC_16, "ALAC, 16-bit"},
    {SF_FORMAT_ALAC_20, "ALAC, 20-bit"},
    {SF_FORMAT_ALAC_24, "ALAC, 24-bit"},
    {SF_FORMAT_ALAC_32, "ALAC, 32-bit"},
    {SF_FORMAT_MPEG_LAYER_I, "Layer I"},
    {SF_FORMAT_MPEG_LAYER_II, "Layer II"},
    {SF_FORMAT_MPEG_LAYER_III, "Layer III"},
};

std::string_view Find(std::span<const Named> table, int code) {
  for (const Named& n : table) {
    if (n.code == code) return n.words;
  }
  return {};
}

// Integer PCM, plain or lossless: its bits per sample; 0 for anything else.
int IntegerBits(int subtype) {
  constexpr int kDepths[][2] = {
      {SF_FORMAT_PCM_S8, 8},   {SF_FORMAT_PCM_U8, 8},   {SF_FORMAT_PCM_16, 16},
      {SF_FORMAT_PCM_24, 24},  {SF_FORMAT_PCM_32, 32},  {SF_FORMAT_ALAC_16, 16},
      {SF_FORMAT_ALAC_20, 20}, {SF_FORMAT_ALAC_24, 24}, {SF_FORMAT_ALAC_32, 32},
  };
  for (const auto& [code, bits] : kDepths) {
    if (code == subtype) return bits;
  }
  return 0;
}

// `head` is the file's first bytes, enough to tell an AIFF-C from a plain AIFF.
std::string FormatWords(int format, std::span<const uint8_t> head) {
  const int major = format & SF_FORMAT_TYPEMASK;
  const int subtype = format & SF_FORMAT_SUBMASK;
  const std::string_view known = Find(kEncodings, subtype);
  const std::string encoding(known.empty() ? "unknown encoding" : known);
  switch (major) {
    case SF_FORMAT_OGG:
      if (subtype == SF_FORMAT_VORBIS) return "Ogg Vorbis";
      if (subtype == SF_FORMAT_OPUS) return "Ogg Opus";
      break;
    case SF_FORMAT_MPEG:
      if (subtype == SF_FORMAT_MPEG_LAYER_I) return "MP1";
      if (subtype == SF_FORMAT_MPEG_LAYER_II) return "MP2";
      if (subtype == SF_FORMAT_MPEG_LAYER_III) return "MP3";
      break;
    case SF_FORMAT_FLAC:
      // Always lossless integer: the bit depth says it all.
      if (int bits = IntegerBits(subtype); bits > 0) {
        return "FLAC, " + std::to_string(bits) + "-bit";
      }
      break;
    case SF_FORMAT_AIFF:
      if (head.size() >= 12 && std::memcmp(head.data() + 8, "AIFC", 4) == 0) {
        return "AIFF-C, " + encoding;
      }
      break;
    case SF_FORMAT_WAV:
      if ((format & SF_FORMAT_ENDMASK) == SF_ENDIAN_BIG) {
        return "WAV (big-endian), " + encoding;
      }
      break;
    default:
      break;
  }
  const std::string_view container = Find(kContainers, major);
  return std::string(container.empty() ? "sound file" : container) + ", " + encoding;
}

// Whether sf_seek lands on exactly the samples a read from the start gives there. Measured with
// libsndfile 1.2: MP3 seeks are off by whole samples or decode the first frames after the seek
// differently; Vorbis seeks into the last page land on wrong samples; Opus seeks differ in the
// last bits (the pre-roll does not rebuild the decoder's state exactly). Rarer codecs are not
// trusted either: reading from the start costs little for them.
bool SeeksExactly(int format) {
  const int subtype = format & SF_FORMAT_SUBMASK;
  if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC) return true;
  return IntegerBits(subtype) > 0 || subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE ||
         subtype == SF_FORMAT_ULAW || subtype == SF_FORMAT_ALAW;
}

// Whether an MPEG stream carries a length header (Xing, Info or VBRI) in its first frame. Without
// one, libsndfile estimates the length from the file size and the first frame's bit rate.
bool MpegStatesLength(std::span<const uint8_t> firstFrame) {
  const size_t n = std::min<size_t>(firstFrame.size(), 64);
  for (size_t i = 0; i + 4 <= n; ++i) {
    const auto* p = firstFrame.data() + i;
    if (std::memcmp(p, "Xing", 4) == 0 || std::memcmp(p, "Info", 4) == 0 ||
        std::memcmp(p, "VBRI", 4) == 0) {
      return true;
    }
  }
  return false;
}

// libsndfile's reason for refusing a file, in plain words. Its codes above the four public ones
// are not stable, so they are told apart by text only where their text misleads.
std::string RefusalWords(int code, std::string_view text) {
  switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
      return "not a sound file in a format the decoder knows";
    case SF_ERR_MALFORMED_FILE:
      return "a known sound format, but the file is malformed";
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "a known sound format, but its encoding is not supported";
    default:
      break;
  }
  // "File does not exist or is not a regular file": what libsndfile says of an existing file
  // that only looked like MPEG (an ID3 tag and nothing else, a few zero bytes).
  if (text.starts_with("File does not exist")) {
    return "not a sound file in a format the decoder knows";
  }
  for (std::string_view prefix : {"System error : ", "Error : "}) {
    if (text.starts_with(prefix)) text.remove_prefix(prefix.size());
  }
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.remove_suffix(1);
  if (text.empty()) return "the decoder refused the file";
  std::string words(text);
  words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
  return words;
}

void SetWhy(std::string* why, std::string text) {
  if (why) *why = std::move(text);
}

}  // namespace

struct SoundFile::State {
  // Where the bytes come from: a path, or an image read through the callbacks below.
  std::string path;
  std::span<const uint8_t> image;
  sf_count_t imagePosition = 0;
  SF_VIRTUAL_IO io{};

  SndfileHandle file;
  int sfFormat = 0;
  SoundFileInfo info;
  bool seeksExactly = false;
  // Whether the stated frame count is known to be right, so a stream that ends before it is
  // damaged. False for MPEG without a length header, whose count is an estimate.
  bool countIsStated = true;

  int64_t position = 0;  // the frame the next read gives
  bool ended = false;    // decoding stopped at `position`; nothing follows
  bool damaged = false;
  std::vector<double> block;
  int64_t blockFrames = 1;

  static sf_count_t Length(void* self) {
    return static_cast<sf_count_t>(static_cast<State*>(self)->image.size());
  }
  static sf_count_t Seek(sf_count_t offset, int whence, void* self) {
    auto* s = static_cast<State*>(self);
    const auto size = static_cast<sf_count_t>(s->image.size());
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = s->imagePosition;
    if (whence == SEEK_END) base = size;
    // Both stay within [0, size], so the sum cannot overflow.
    if (offset < -base || offset > size - base) return -1;
    s->imagePosition = base + offset;
    return s->imagePosition;
  }
  static sf_count_t Read(void* to, sf_count_t count, void* self) {
    auto* s = static_cast<State*>(self);
    const auto left = static_cast<sf_count_t>(s->image.size()) - s->imagePosition;
    const sf_count_t n = std::clamp<sf_count_t>(count, 0, left);
    if (n > 0) std::memcpy(to, s->image.data() + s->imagePosition, static_cast<size_t>(n));
    s->imagePosition += n;
    return n;
  }
  static sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t Tell(void* self) { return static_cast<State*>(self)->imagePosition; }

  // Up to n bytes from offset on, from the path or the image.
  std::vector<uint8_t> BytesAt(uint64_t offset, size_t n) const {
    std::vector<uint8_t> bytes;
    if (path.empty()) {
      if (offset < image.size()) {
        const size_t take = std::min<uint64_t>(n, image.size() - offset);
        bytes.assign(image.begin() + static_cast<ptrdiff_t>(offset),
                     image.begin() + static_cast<ptrdiff_t>(offset + take));
      }
      return bytes;
    }
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    bytes.resize(n);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n));
    bytes.resize(in ? n : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
  }

  // The first frame of an MPEG stream, after an ID3v2 tag if there is one.
  std::vector<uint8_t> MpegFirstFrame() const {
    uint64_t start = 0;
    const std::vector<uint8_t> tag = BytesAt(0, 10);
    if (tag.size() == 10 && std::memcmp(tag.data(), "ID3", 3) == 0) {
      // Sizes are 7 bits a byte; a footer adds 10 bytes.
      start = 10 + ((uint64_t{tag[6]} & 0x7f) << 21 | (uint64_t{tag[7]} & 0x7f) << 14 |
                    (uint64_t{tag[8]} & 0x7f) << 7 | (uint64_t{tag[9]} & 0x7f));
      if (tag[5] & 0x10) start += 10;
    }
    std::vector<uint8_t> bytes = BytesAt(start, 4096);
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
      if (bytes[i] == 0xff && (bytes[i + 1] & 0xe0) == 0xe0) {
        return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(i), bytes.end());
      }
    }
    return {};
  }

  // Opens (or opens again, from the start) the decoder. Null when libsndfile refuses.
  SndfileHandle OpenDecoder(SF_INFO& sfInfo) {
    sfInfo = SF_INFO{};
    if (!path.empty()) return SndfileHandle(sf_open(path.c_str(), SFM_READ, &sfInfo));
    imagePosition = 0;
    io = SF_VIRTUAL_IO{&Length, &Seek, &Read, &Write, &Tell};
    return SndfileHandle(sf_open_virtual(&io, SFM_READ, &sfInfo, this));
  }

  // Starts decoding again from frame 0; false (and the stream ended) if the file cannot be opened
  // again as the same stream.
  bool Restart() {
    file.reset();
    SF_INFO sfInfo;
    file = OpenDecoder(sfInfo);
    position = 0;
    ended = false;
    if (!file || sfInfo.format != sfFormat || sfInfo.channels != info.channels ||
        sfInfo.samplerate != info.sampleRate) {
      file.reset();
      ended = true;
      damaged = true;
      return false;
    }
    Normalize();
    return true;
  }

  // Integer PCM as value / 2^(bits-1): 16-bit v then comes out exactly as v in the 16-bit scale.
  void Normalize() { sf_command(file.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE); }

  // Decodes up to n frames into `block`; the number decoded. Marks the end (and damage) when the
  // stream stops short.
  int64_t Decode(int64_t n) {
    if (ended || n <= 0) return 0;
    const sf_count_t got = sf_readf_double(file.get(), block.data(), n);
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) damaged = true;
    if (got < 0 || got > n) {
      ended = true;
      damaged = true;
      return 0;
    }
    position += got;
    if (got < n) {
      ended = true;
      if (countIsStated && position < info.frames) damaged = true;
    }
    return got;
  }

  // Decodes and drops frames up to `target`; false when the stream ends first.
  bool SkipTo(int64_t target) {
    while (position < target) {
      if (Decode(std::min(blockFrames, target - position)) == 0) return false;
    }
    return true;
  }

  // Brings the decoder to frame `first`; false when the stream ends before it.
  bool MoveTo(int64_t first) {
    if (ended) {
      // Past the end nothing follows, unless a seek can go beyond a broken frame.
      if (first >= position && !seeksExactly) return false;
      if (!Restart()) return false;
    }
    if (first == position) return true;
    // Sequential reads and short hops decode on; only a seek is exact everywhere else.
    if (first > position && (!seeksExactly || first - position <= blockFrames)) {
      return SkipTo(first);
    }
    if (seeksExactly) {
      if (sf_seek(file.get(), first, SEEK_SET) == first) {
        position = first;
        return true;
      }
      // A failed seek may leave the decoder anywhere.
      if (!Restart()) return false;
    } else if (!Restart()) {
      return false;
    }
    return SkipTo(first);
  }

  // Opens the decoder and fills in what the file says; false with why when it is refused.
  bool Prepare(std::string* why) {
    SF_INFO sfInfo;
    file = OpenDecoder(sfInfo);
    if (!file) {
      SetWhy(why, RefusalWords(sf_error(nullptr), sf_strerror(nullptr)));
      return false;
    }
    if (sfInfo.channels < 1) {
      SetWhy(why, "the file states no channels");
      return false;
    }
    if (sfInfo.samplerate <= 0) {
      SetWhy(why, "the file states no sample rate");
      return false;
    }
    sfFormat = sfInfo.format;
    const int major = sfInfo.format & SF_FORMAT_TYPEMASK;
    info.format = FormatWords(sfInfo.format,
                              major == SF_FORMAT_AIFF ? BytesAt(0, 12) : std::vector<uint8_t>{});
    info.channels = sfInfo.channels;
    info.sampleRate = sfInfo.samplerate;
    info.bitsPerSample = IntegerBits(sfInfo.format & SF_FORMAT_SUBMASK);
    seeksExactly = SeeksExactly(sfInfo.format) && sfInfo.seekable;
    countIsStated = major != SF_FORMAT_MPEG || MpegStatesLength(MpegFirstFrame());
    blockFrames = std::clamp<int64_t>(kBlockSamples / sfInfo.channels, 1, kMaxBlockFrames);
    block.resize(static_cast<size_t>(blockFrames * sfInfo.channels));
    Normalize();

    if (sfInfo.frames < 0 || sfInfo.frames == SF_COUNT_MAX) {
      // The stream does not state its length (FLAC or Ogg written to a pipe, a cut Ogg file):
      // count it by decoding, a block at a time, so that callers can plan by the length.
      info.frames = INT64_MAX;
      countIsStated = false;
      while (Decode(blockFrames) > 0) {
      }
      info.frames = position;
      if (position > 0 && !Restart()) {
        SetWhy(why, "the file changed while it was read");
        return false;
      }
      // A fault met while counting is met again, and reported, by the reads.
      damaged = false;
    } else {
      info.frames = sfInfo.frames;
    }
    if (info.frames <= 0) {
      SetWhy(why, "the file holds no sound (no frames)");
      return false;
    }
    return true;
  }

  void Append(int64_t frames, std::vector<float>& out) const {
    const int channels = info.channels;
    for (int64_t f = 0; f < frames; ++f) {
      const double* frame = block.data() + f * channels;
      double sum = 0.0;
      for (int c = 0; c < channels; ++c) sum += frame[c];
      double v = sum / channels * 32768.0;
      // A float file may hold NaN or values beyond float's range; converting those is undefined.
      if (std::isnan(v)) v = 0.0;
      out.push_back(static_cast<float>(std::clamp<double>(v, -FLT_MAX, FLT_MAX)));
    }
  }
};

SoundFile::SoundFile(Key, std::unique_ptr<State> state) : state_(std::move(state)) {}
SoundFile::~SoundFile() = default;

std::unique_ptr<SoundFile> SoundFile::Open(const std::string& path, std::string* why) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) {
    SetWhy(why, "no such file");
    return nullptr;
  }
  if (error) {
    SetWhy(why, "cannot be read: " + error.message());
    return nullptr;
  }
  if (std::filesystem::is_directory(status)) {
    SetWhy(why, "a folder, not a sound file");
    return nullptr;
  }
  // Pipes and devices cannot be read a second time, which seeking back and counting need.
  if (!std::filesystem::is_regular_file(status)) {
    SetWhy(why, "not a regular file (a pipe or a device cannot be read here)");
    return nullptr;
  }
  if (std::filesystem::file_size(path, error) == 0 && !error) {
    SetWhy(why, "the file is empty");
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->path = path;
  if (!state->Prepare(why)) return nullptr;
  return std::make_unique<SoundFile>(Key(), std::move(state));
}

std::unique_ptr<SoundFile> SoundFile::Open(std::span<const uint8_t> image, std::string* why) {
  if (image.empty()) {
    SetWhy(why, "the file is empty");
    return nullptr;
  }
  auto state = std::make_unique<State>();
  state->image = image;
  if (!state->Prepare(why)) return nullptr;
  return std::make_unique<SoundFile>(Key(), std::move(state));
}

const SoundFileInfo& SoundFile::Info() const {
  return state_->info;
}

int64_t SoundFile::ReadMono(int64_t first, int64_t count, std::vector<float>& out) {
  State& s = *state_;
  if (first < 0 || count <= 0 || first >= s.info.frames) return 0;
  if (!s.MoveTo(first)) return 0;
  int64_t appended = 0;
  while (appended < count) {
    const int64_t got = s.Decode(std::min(s.blockFrames, count - appended));
    if (got == 0) break;
    s.Append(got, out);
    appended += got;
  }
  return appended;
}

bool SoundFile::Damaged() const {
  return state_->damaged;
}

}  // namespace pelorin
