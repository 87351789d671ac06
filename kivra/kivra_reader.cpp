#include "kivra/kivra_reader.h"

#include <algorithm>
#include <string_view>

#include "audiofile/byte_text.h"
#include "kivra/chunk_ids.h"
#include "kivra/crc16.h"

namespace pelorin {
namespace {

// Real files hold about a dozen chunks and tags; the cap keeps the report small whatever a
// damaged file says.
constexpr size_t kMaxEntries = 4096;

// A stretch of the file: [begin, end).
struct Range {
  size_t begin = 0;
  size_t end = 0;
};

// A check-code tag: where its two code characters lie.
struct CodeTag {
  size_t tagOffset = 0;
  size_t codeOffset = 0;
};

// Text that is printable already (see PrintableBytes), in double quotes.
std::string InQuotes(std::string_view printable) {
  std::string quoted = "\"";
  quoted += printable;
  quoted += '"';
  return quoted;
}

bool IsMusicTrack(std::string_view id, char number) {
  return id.substr(0, 3) == kMusicTrackPrefix && id[3] == number;
}

class Parser {
 public:
  Parser(std::span<const uint8_t> file, KivraReport& report) : file_(file), report_(report) {}

  void Run() {
    const size_t size = file_.size();
    if (size < 8) {
      Problem(0, "a file of " + std::to_string(size) + " bytes is too short for a KIVRA header");
      return;
    }
    if (RawId(0) != kFileChunk) {
      Problem(0, "not a KIVRA file: it starts with " + Quoted(RawId(0)) + ", not " +
                     Quoted(kFileChunk));
      return;
    }
    const uint32_t length = U32(4);
    report_.chunks.push_back({PrintableId(0), 0, length, 0});
    report_.length = {true, length, size - 8};
    if (!report_.length.Ok()) {
      Problem(4, "top-level length " + std::to_string(length) +
                     " does not match the file length - 8 (" + std::to_string(size - 8) + ")");
    }
    if (size < 10) {
      Problem(8, "no room for the checksum");
      return;
    }
    // The checksum closes the file whatever the top-level length says.
    const size_t sumAt = size - 2;
    report_.checksum = {true, U16(sumAt), Crc16(file_.first(sumAt))};
    if (!report_.checksum.Ok()) {
      Problem(sumAt, "checksum " + HexNumber(report_.checksum.stored, 4) + " does not match " +
                         HexNumber(report_.checksum.computed, 4) +
                         " computed from the bytes before it");
    }
    Walk({8, sumAt}, kFileChunk, 1);
    Interpret();
  }

 private:
  // Reads the chunks that fill range. Children are only looked for in the chunks that hold
  // them, so the depth stays fixed whatever the file says. Ids are the file's four bytes.
  void Walk(Range range, std::string_view parent, int depth) {
    size_t pos = range.begin;
    while (pos < range.end) {
      const size_t left = range.end - pos;
      if (left < 8) {
        Problem(pos, std::to_string(left) + " bytes at the end of " + Quoted(parent) +
                         " are too few for a chunk header");
        cut_ = true;
        return;
      }
      if (report_.chunks.size() >= kMaxEntries) {
        Problem(pos, "more than " + std::to_string(kMaxEntries) + " chunks");
        return;
      }
      const std::string_view id = RawId(pos);
      const uint32_t length = U32(pos + 4);
      report_.chunks.push_back({PrintableId(pos), pos, length, depth});
      if (length > left - 8) {
        Problem(pos, "chunk " + Quoted(id) + " length " + std::to_string(length) +
                         " runs past the end of its parent (ends at " + std::to_string(range.end) +
                         ")");
        cut_ = true;
        return;
      }
      Visit(id, parent, pos, {pos + 8, pos + 8 + length}, depth);
      pos += 8 + length;
    }
  }

  void Visit(std::string_view id, std::string_view parent, size_t at, Range body, int depth) {
    const Range whole{at, body.end};
    const std::string_view kind = id.substr(0, 3);
    if (parent == kFileChunk) {
      if (id == kInfoChunk) Keep(info_, whole, id);
      // Sub-chunks are only taken from the first of each kind, so that check-code tags and
      // audio always lie inside the chunk they are checked against.
      if (id == kDataChunk && Keep(data_, whole, id)) Walk(body, id, depth + 1);
      if ((kind == kAudioTrackChunk.substr(0, 3) || kind == kMusicTrackPrefix) &&
          Keep(track_, whole, id)) {
        trackId_ = id;
        VisitTrack(id, body, depth);
      }
    } else if (parent == kDataChunk) {
      if (id == kDataTagsChunk) Keep(dch_, body, id);
      if (id == kProChunk) Keep(pro_, body, id);
    } else if (parent.substr(0, 3) == kAudioTrackChunk.substr(0, 3)) {
      if (id == kAudioSequenceChunk) Keep(sequence_, body, id);
      if (id == kAudioWaveChunk) Keep(wave_, body, id);
    } else if (parent.substr(0, 3) == kMusicTrackPrefix) {
      if (id == kMusicSequenceChunk) Keep(sequence_, body, id);
      if (id == kStreamChunk) Walk(body, id, depth + 1);
    } else if (parent == kStreamChunk) {
      if (id == kMusicWaveChunk) Keep(wave_, body, id);
    }
  }

  // The fields before a track's sub-chunks: variant 0 "00 00 [rate code] 02 02", variants 1
  // and 2 twenty bytes.
  void VisitTrack(std::string_view id, Range body, int depth) {
    size_t header = 20;
    if (id.substr(0, 3) == kAudioTrackChunk.substr(0, 3)) {
      header = 4;
      if (body.end - body.begin >= 4 && file_[body.begin + 2] != 0x02) {
        header = 6;
        const uint8_t code = file_[body.begin + 2];
        if (code == 0x10 || code == 0x11) {
          rateCode_ = code == 0x10 ? 4000 : 8000;
        } else {
          rateCode_ = -1;
          Problem(body.begin + 2, "unknown rate code " + HexNumber(code, 2));
        }
      }
      if (body.end - body.begin >= header &&
          (file_[body.begin + header - 2] != 0x02 || file_[body.begin + header - 1] != 0x02)) {
        Problem(body.begin + header - 2, "tick length code is not 0x02 (4 ms)");
      }
    }
    if (body.end - body.begin < header) {
      Problem(body.begin, "track " + Quoted(id) + " is too short for its " +
                              std::to_string(header) + " header bytes");
      return;
    }
    Walk({body.begin + header, body.end}, id, depth + 1);
  }

  // Records the first chunk of a kind; a second one is a problem.
  bool Keep(std::optional<Range>& slot, Range range, std::string_view id) {
    if (slot) {
      Problem(range.begin, "a second " + Quoted(id) + " chunk");
      return false;
    }
    slot = range;
    return true;
  }

  void Interpret() {
    if (!info_) Missing(8, "no content-info chunk \"CNTI\"");
    if (!track_) {
      Missing(8, "no track chunk (\"ATR\\x00\", \"MTR\\x05\" or \"MTR\\x06\")");
      return;
    }
    if (trackId_ == kAudioTrackChunk) {
      report_.variant = 0;
    } else if (IsMusicTrack(trackId_, kVariant1Track)) {
      report_.variant = 1;
    } else if (IsMusicTrack(trackId_, kVariant2Track)) {
      report_.variant = 2;
    } else {
      Problem(track_->begin, "unknown track chunk " + Quoted(trackId_));
      return;
    }
    std::optional<CodeTag> a0, a2;
    std::optional<Range> tagsHolder;
    if (report_.variant == 0) {
      ReadVariant0(a0, a2);
      tagsHolder = info_;
    } else {
      ReadVariant12(a0, a2);
      tagsHolder = data_;
    }
    ReadWave();
    if (!sequence_) Missing(track_->begin, "no sequence chunk, so no play time");
    if (tagsHolder) CheckCodes(*tagsHolder, a0, a2);
  }

  void ReadVariant0(std::optional<CodeTag>& a0, std::optional<CodeTag>& a2) {
    if (rateCode_ > 0) report_.sampleRate = rateCode_;
    if (rateCode_ == 0) Problem(track_->begin, "the track has no rate code");
    if (info_) {
      const Range body{info_->begin + 8, info_->end};
      if (body.end - body.begin < 5) {
        Problem(info_->begin, "content-info chunk too short for its 5 header bytes");
      } else {
        report_.textCode = file_[body.begin + 2];
        report_.flags = file_[body.begin + 3];
        ReadTextTags({body.begin + 5, body.end}, a0, a2);
      }
    }
    if (sequence_) {
      // Body: 01 00 37 7F 01 01, then the play time in the short number form.
      const size_t at = sequence_->begin + 6;
      if (at < sequence_->end && file_[at] < 0x80) {
        report_.ticks = file_[at];
      } else if (at + 1 < sequence_->end) {
        report_.ticks = (((file_[at] & 0x7Fu) << 7) | file_[at + 1]) + 128;
      } else {
        Problem(sequence_->begin, "sequence chunk too short for its play time");
      }
    }
  }

  // "NN:text," tags; "\," and "\\" stand for "," and "\".
  void ReadTextTags(Range range, std::optional<CodeTag>& a0, std::optional<CodeTag>& a2) {
    size_t pos = range.begin;
    while (pos < range.end) {
      if (report_.tags.size() >= kMaxEntries) {
        Problem(pos, "more than " + std::to_string(kMaxEntries) + " tags");
        return;
      }
      if (range.end - pos < 3 || file_[pos + 2] != ':') {
        Problem(pos, "malformed tag: two characters and \":\" expected");
        return;
      }
      KivraTag tag{PrintableBytes(file_.subspan(pos, 2)), "", pos};
      size_t i = pos + 3;
      while (i < range.end && file_[i] != ',') {
        if (file_[i] == '\\' && i + 1 < range.end && (file_[i + 1] == ',' || file_[i + 1] == '\\'))
          ++i;
        tag.text += static_cast<char>(file_[i]);
        ++i;
      }
      if (i == range.end) {
        Problem(pos, "tag " + InQuotes(tag.name) + " has no closing \",\"");
        return;
      }
      NoteCodeTag(tag.name, pos, pos + 3, i - (pos + 3), "QN21", a0, a2);
      report_.tags.push_back(std::move(tag));
      pos = i + 1;
    }
  }

  void ReadVariant12(std::optional<CodeTag>& a0, std::optional<CodeTag>& a2) {
    if (!data_) Missing(8, "no data chunk \"OPDA\"");
    if (dch_) {
      // Tags of two characters, a 16-bit length and that many bytes.
      size_t pos = dch_->begin;
      while (pos < dch_->end) {
        if (report_.tags.size() >= kMaxEntries) {
          Problem(pos, "more than " + std::to_string(kMaxEntries) + " tags");
          break;
        }
        if (dch_->end - pos < 4) {
          Problem(pos, "malformed tag: too short for its name and length");
          break;
        }
        const size_t length = U16(pos + 2);
        if (length > dch_->end - pos - 4) {
          Problem(pos, "tag " + InQuotes(PrintableBytes(file_.subspan(pos, 2))) + " length " +
                           std::to_string(length) + " runs past the end of its chunk");
          break;
        }
        const auto text = file_.subspan(pos + 4, length);
        KivraTag tag{PrintableBytes(file_.subspan(pos, 2)), std::string(text.begin(), text.end()),
                     pos};
        NoteCodeTag(tag.name, pos, pos + 4, length, "Qn21", a0, a2);
        report_.tags.push_back(std::move(tag));
        pos += 4 + length;
      }
    } else if (data_) {
      Missing(data_->begin, "no \"Dch\\xFF\" chunk in the data chunk");
    }
    if (sequence_) {
      // Five fixed events (25 bytes), then the note's gate time.
      report_.ticks = ReadVarLen(sequence_->begin + 25, sequence_->end);
    }
    if (report_.variant == 2) {
      if (!pro_ && data_) Missing(data_->begin, "no \"Pro\\x05\" chunk in the data chunk");
      if (pro_ && pro_->end - pro_->begin < 12) Problem(pro_->begin, "\"Pro\\x05\" too short");
      if (pro_ && pro_->end - pro_->begin >= 12) {
        report_.proTicks = U32(pro_->begin + 8);
        if (report_.ticks && *report_.ticks != *report_.proTicks) {
          Problem(pro_->begin + 8, "play time " + std::to_string(*report_.proTicks) +
                                       " differs from the sequence's " +
                                       std::to_string(*report_.ticks));
        }
      }
    }
  }

  std::optional<uint32_t> ReadVarLen(size_t pos, size_t end) {
    uint32_t value = 0;
    // Four bytes hold 28 bits, more than any play time needs.
    for (int n = 0; n < 4 && pos < end; ++n, ++pos) {
      value = (value << 7) | (file_[pos] & 0x7Fu);
      if (file_[pos] < 0x80) return value;
    }
    Problem(std::min(pos, end), "unreadable play time (variable-length number)");
    return std::nullopt;
  }

  void NoteCodeTag(const std::string& name, size_t tagOffset, size_t textOffset, size_t length,
                   std::string_view prefix, std::optional<CodeTag>& a0,
                   std::optional<CodeTag>& a2) {
    if (name != "A0" && name != "A2") return;
    const bool wellFormed = length == prefix.size() + 2 &&
                            std::equal(prefix.begin(), prefix.end(), file_.begin() + textOffset);
    if (!wellFormed) {
      Problem(tagOffset, "tag " + InQuotes(name) + " does not hold " + InQuotes(prefix) +
                             " and a two-character check code");
      return;
    }
    std::optional<CodeTag>& slot = name == "A0" ? a0 : a2;
    if (slot) {
      Problem(tagOffset, "a second " + InQuotes(name) + " tag");
      return;
    }
    slot = CodeTag{tagOffset, textOffset + prefix.size()};
  }

  void ReadWave() {
    if (!wave_) {
      Missing(track_->begin, "no ADPCM data chunk");
      return;
    }
    size_t begin = wave_->begin;
    if (report_.variant == 0) {
      report_.channels = 1;
    } else {
      if (wave_->end - begin < 3) {
        Problem(begin, "ADPCM data chunk too short for its format byte and rate");
        return;
      }
      const uint8_t format = file_[begin];
      if (format == 0x20 || format == 0xA0) {
        report_.channels = format == 0x20 ? 1 : 2;
      } else {
        Problem(begin, "unknown format byte " + HexNumber(format, 2));
      }
      report_.sampleRate = U16(begin + 1);
      if (report_.sampleRate == 0) Problem(begin + 1, "sampling rate 0");
      begin += 3;
    }
    report_.adpcmOffset = begin;
    report_.adpcmLength = wave_->end - begin;
  }

  // "A2" covers the chunk that holds both tags with both codes read as "00"; "A0" covers the
  // track chunk as it is.
  void CheckCodes(Range holder, const std::optional<CodeTag>& a0,
                  const std::optional<CodeTag>& a2) {
    if (!a0) Missing(holder.begin, "no \"A0\" check-code tag");
    if (!a2) Missing(holder.begin, "no \"A2\" check-code tag");
    if (!a0 || !a2) return;
    std::vector<uint8_t> chunk(file_.begin() + holder.begin, file_.begin() + holder.end);
    for (const size_t at : {a0->codeOffset, a2->codeOffset}) {
      chunk[at - holder.begin] = '0';
      chunk[at - holder.begin + 1] = '0';
    }
    report_.infoCode = {true, U16(a2->codeOffset), CheckCode(chunk)};
    const auto track = file_.subspan(track_->begin, track_->end - track_->begin);
    report_.trackCode = {true, U16(a0->codeOffset), CheckCode(track)};
    if (!report_.infoCode.Ok()) CodeProblem(a2->tagOffset, "A2", report_.infoCode);
    if (!report_.trackCode.Ok()) CodeProblem(a0->tagOffset, "A0", report_.trackCode);
  }

  void CodeProblem(size_t at, std::string_view name, const KivraCheck& check) {
    const auto text = [](uint64_t code) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
      return InQuotes(PrintableBytes(bytes));
    };
    Problem(at, "check code " + InQuotes(name) + " reads " + text(check.stored) + ", computed " +
                    text(check.computed));
  }

  // The four bytes of the id at pos, as they are and as text.
  std::string_view RawId(size_t pos) const {
    return {reinterpret_cast<const char*>(file_.data() + pos), 4};
  }
  std::string PrintableId(size_t pos) const { return PrintableBytes(file_.subspan(pos, 4)); }
  uint16_t U16(size_t pos) const { return static_cast<uint16_t>(file_[pos] << 8 | file_[pos + 1]); }
  uint32_t U32(size_t pos) const { return uint32_t{U16(pos)} << 16 | U16(pos + 2); }

  void Problem(size_t offset, std::string what) {
    report_.problems.push_back({offset, std::move(what)});
  }
  // Something absent; after a chunk that runs past its parent that is only a consequence.
  void Missing(size_t offset, std::string what) {
    if (!cut_) Problem(offset, std::move(what));
  }

  std::span<const uint8_t> file_;
  KivraReport& report_;
  // Whole chunks (header included): info_, data_, track_; bodies: the rest.
  std::optional<Range> info_, data_, track_, dch_, pro_, sequence_, wave_;
  std::string_view trackId_;  // four bytes of the file
  bool cut_ = false;          // a chunk ran past its parent
  int32_t rateCode_ = 0;
};

}  // namespace

KivraReport ReadKivra(std::span<const uint8_t> file) {
  KivraReport report;
  Parser(file, report).Run();
  return report;
}

}  // namespace pelorin
