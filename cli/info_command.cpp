#include "cli/info_command.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "audiofile/byte_text.h"
#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "kivra/kivra_reader.h"
#include "pipeline/input_file.h"

namespace pelorin::cli {
namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli info FILE...\n"
    "Show what each KIVRA file (.mmf) holds: its chunks with their offsets and lengths,\n"
    "its content-information tags, flags, sampling rate, channels, play time and ADPCM\n"
    "data, and whether its length, checksum and two check codes are right. Damage is\n"
    "reported on standard error as 'pelorin-cli: FILE: offset N: what'.\n"
    "\n"
    "Chunk identifiers and tag texts show bytes outside printable ASCII, and '\"' and '\\',\n"
    "as \\xNN (\"ATR\\x00\").\n"
    "\n"
    "Exit status: 0 when every file is sound, 1 when any is damaged or unreadable,\n"
    "2 for a usage error.\n";

std::string CodeText(uint64_t code) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
  std::string text = "\"";
  text += PrintableBytes(bytes);
  text += '"';
  return text;
}

// "ok", "WRONG (file X, computed Y)" or "missing".
std::string Verdict(const KivraCheck& check, std::string (*show)(uint64_t)) {
  if (!check.present) return "missing";
  if (check.Ok()) return "ok";
  return "WRONG (file " + show(check.stored) + ", computed " + show(check.computed) + ")";
}

void PrintReport(const std::string& path, const KivraReport& r, std::ostream& out) {
  out << path << ":\n";
  out << "  variant: " << (r.variant < 0 ? "unknown" : std::to_string(r.variant)) << '\n';
  out << "  chunks:\n";
  for (const KivraChunk& c : r.chunks) {
    out << "    " << std::string(2 * size_t(c.depth), ' ') << c.id << " at " << c.offset
        << ", length " << c.length << '\n';
  }
  if (!r.tags.empty()) out << "  tags:\n";
  for (const KivraTag& t : r.tags) {
    const std::span<const uint8_t> text(reinterpret_cast<const uint8_t*>(t.text.data()),
                                        t.text.size());
    out << "    " << t.name << ": \"" << PrintableBytes(text) << "\"\n";
  }
  if (r.textCode) out << "  text code: " << HexNumber(*r.textCode, 2) << '\n';
  if (r.flags) {
    out << "  flags: " << HexNumber(*r.flags, 2) << " (transfer " << ((*r.flags & 1) ? "off" : "on")
        << ", saving " << ((*r.flags & 2) ? "off" : "on") << ")\n";
  }
  out << "  rate: " << (r.sampleRate ? std::to_string(r.sampleRate) + " Hz" : "unknown") << '\n';
  out << "  channels: " << (r.channels ? std::to_string(r.channels) : "unknown") << '\n';
  if (r.ticks) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.Seconds());
    out << "  play time: " << *r.ticks << " ticks (" << seconds << " s)";
    if (r.proTicks) out << ", \"Pro\": " << *r.proTicks << " ticks";
    out << '\n';
  } else {
    out << "  play time: unknown\n";
  }
  if (r.adpcmOffset) {
    out << "  ADPCM: " << r.adpcmLength << " bytes at " << *r.adpcmOffset << '\n';
  } else {
    out << "  ADPCM: none\n";
  }
  const auto decimal = [](uint64_t v) { return std::to_string(v); };
  const auto hex4 = [](uint64_t v) { return HexNumber(v, 4); };
  out << "  length: " << Verdict(r.length, decimal) << '\n';
  out << "  checksum: " << Verdict(r.checksum, hex4) << '\n';
  out << "  info check code: " << Verdict(r.infoCode, CodeText) << '\n';
  out << "  track check code: " << Verdict(r.trackCode, CodeText) << '\n';
}

}  // namespace

int InfoMain(std::span<const std::string> args, Language /*language*/, std::ostream& out,
             std::ostream& err) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (parsed.help) {
    out << kHelp;
    return kExitOk;
  }
  if (!parsed.error.empty()) return ReportUsageError(err, "info: " + parsed.error);
  const std::vector<std::string>& files = parsed.files;
  if (files.empty()) return ReportUsageError(err, "info: no FILE given");

  int status = kExitOk;
  for (const std::string& path : files) {
    const std::optional<std::vector<uint8_t>> file = ReadWholeFile(path);
    if (!file) {
      err << kProgram << ": " << path << ": cannot read the file\n";
      status = kExitRefused;
      continue;
    }
    const KivraReport report = ReadKivra(*file);
    // Something that is not a KIVRA file at all gets its one problem, not an empty report.
    if (!report.chunks.empty()) PrintReport(path, report, out);
    for (const KivraProblem& p : report.problems)
      err << kProgram << ": " << path << ": offset " << p.offset << ": " << p.what << '\n';
    if (!report.Sound()) status = kExitRefused;
  }
  return status;
}

}  // namespace pelorin::cli
