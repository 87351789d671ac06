#include "cli/convert_command.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "engine/processor_shares.h"
#include "kivra/kivra_writer_v0.h"
#include "pipeline/conversion.h"
#include "pipeline/file_system.h"
#include "pipeline/kivra_decoding.h"
#include "workshop/clip_preparation.h"
#include "workshop/opened_input.h"

namespace pelorin::cli {
namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli convert [OPTION]... FILE...\n"
    "Convert each sound file into a KIVRA file (.mmf), by default beside it under the same\n"
    "base name. An existing file of that name is replaced. A WAV or AIFF file of 8 or 16 bits,\n"
    "1 or 2 channels and 4000 to 48000 Hz is read as the window reads it; any other file\n"
    "libsndfile reads (FLAC, Ogg Vorbis, Opus, MP3, 24-bit or floating-point WAV and AIFF,\n"
    "CAF, W64, ...) is decoded, mixed to mono and rounded to 16 bits. The content decides, not\n"
    "the name. FILE - reads standard input (with -o).\n"
    "\n"
    "  --rate 4000|8000      sampling rate of the file (default: 8000 for inputs of\n"
    "                        8000 Hz or more, 4000 below; 8000 needs an input of 8000 Hz\n"
    "                        or more)\n"
    "  --title TEXT          title (default: the input's base name)\n"
    "  --copyright TEXT      copyright line (default: none)\n"
    "  --no-save             the receiving phone may not save the sound (nor pass it on)\n"
    "  --no-trans            the receiving phone may not pass the sound on\n"
    "  --date YYYYMMDD       creation date (default: today)\n"
    "  --variant 0|1|2       file variant (default 0); a variant 0 file holds at most\n"
    "                        66.04 s\n"
    "  --encoding NAME       text encoding of title and copyright: cp932, cp1252 or\n"
    "                        utf-8 (default: cp932 for a Japanese locale, else cp1252);\n"
    "                        characters it cannot hold become '?', and each text is cut\n"
    "                        to 256 bytes\n"
    "  -o FILE               write to FILE (one input only)\n"
    "  -d DIR                write into DIR\n"
    "  --quality standard|high\n"
    "                        how the ADPCM codes are chosen: high searches for the codes\n"
    "                        the phone will play back closest to the sound (about 1.7 dB\n"
    "                        better, same size, about three times the time); default\n"
    "                        standard\n"
    "  -j, --jobs N          use N processors: convert N files at once, or one file\n"
    "                        on two when N is at least twice the files (default: the\n"
    "                        number of processors); lines still come in the order of\n"
    "                        the files\n"
    "\n"
    "The part of the sound (TIME: seconds as 12.5, or m:ss.fff, or h:mm:ss.fff):\n"
    "  --start TIME          begin there (default: at the beginning)\n"
    "  --length TIME         keep that long (more than 20 ms)\n"
    "  --end TIME            or end there\n"
    "  --trim-silence[=DBFS] first drop the silence before and after the sound: samples\n"
    "                        at or below DBFS (default -50); --start counts from the sound\n"
    "  --fade-in TIME        fade the part in over TIME\n"
    "  --fade-out TIME       fade the part out over TIME; a part longer than a variant 0\n"
    "                        file holds is cut there and ends with a 1 s fade unless\n"
    "                        --fade-out says otherwise (0: none)\n"
    "  --normalize[=LUFS]    bring the part to a loudness (EBU R128, default -16 LUFS);\n"
    "                        the gain is lowered where the true peak would pass -1 dBTP\n"
    "  --preview OUT.wav     also write what the phone will play, as a WAV file (one input\n"
    "                        only)\n"
    "  --dry-run             print what would be done and the file's size; write no .mmf\n"
    "  --help                display this help and exit\n"
    "\n"
    "With any of these, or for a decoded file, the line of each file ends with what was\n"
    "done: the part of the input the file holds, the fades and the loudness.\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when any failed, 2 for a usage error\n"
    "(a --start past the end of a file included).\n";

constexpr OptionSpec kOptions[] = {
    {"--rate", true},
    {"--title", true},
    {"--copyright", true},
    {"--no-save"},
    {"--no-trans"},
    {"--date", true},
    {"--variant", true},
    {"--encoding", true},
    {"-o", true},
    {"-d", true},
    {"-j", true},
    {"--jobs", true},
    {"--quality", true},
    {"--start", true},
    {"--length", true},
    {"--end", true},
    {"--trim-silence", false, true},
    {"--fade-in", true},
    {"--fade-out", true},
    {"--normalize", false, true},
    {"--preview", true},
    {"--dry-run"},
};

// More workers than this only add memory: the machine's processors are the limit.
constexpr unsigned kMaxJobs = 256;

struct Options {
  UserChoices choices;
  ClipChoices clip;
  std::optional<std::string> preview;
  bool dryRun = false;
  std::optional<std::string> output;
  std::optional<std::string> directory;
  unsigned jobs = 0;  // 0: the number of processors
  std::vector<std::string> files;
};

// What converting one file printed, kept until the files before it are printed.
struct FileReport {
  std::string out;
  std::string err;
  int status = kExitRefused;
};

bool IsDate(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// The number of a text, all of it, or nothing.
std::optional<double> Number(const std::string& text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Takes an option of the part of the sound; an error text for a value it cannot take.
std::optional<std::string> TakeClipOption(const ParsedOption& option, ClipChoices& c) {
  const std::string& n = option.name;
  const std::string& v = option.value;
  if (n == "--trim-silence") {
    c.trimDbfs = option.hasValue ? Number(v) : kDefaultTrimDbfs;
    if (!c.trimDbfs || !(*c.trimDbfs < 0 && *c.trimDbfs >= -150))
      return "--trim-silence takes a level below 0 dBFS, as --trim-silence=-50";
    return std::nullopt;
  }
  if (n == "--normalize") {
    c.normalizeLufs = option.hasValue ? Number(v) : kDefaultLoudnessLufs;
    if (!c.normalizeLufs || !(*c.normalizeLufs <= 0 && *c.normalizeLufs >= -70))
      return "--normalize takes a loudness from -70 to 0 LUFS, as --normalize=-14";
    return std::nullopt;
  }
  const std::optional<TypedTime> time = ParseTime(v);
  if (!time) return n + " takes a time: seconds (12.5), m:ss.fff or h:mm:ss.fff";
  if (time->nanoseconds < 0) return n + " cannot be negative";
  if (n == "--start") c.start = time;
  if (n == "--length") c.length = time;
  if (n == "--end") c.end = time;
  if (n == "--fade-in") c.fadeIn = time;
  if (n == "--fade-out") c.fadeOut = time;
  return std::nullopt;
}

// Takes one option's value into the options; an error text for a value it cannot take.
std::optional<std::string> Take(const ParsedOption& option, Options& o) {
  const std::string& n = option.name;
  const std::string& v = option.value;
  UserChoices& c = o.choices;
  if (n == "--start" || n == "--length" || n == "--end" || n == "--trim-silence" ||
      n == "--fade-in" || n == "--fade-out" || n == "--normalize") {
    return TakeClipOption(option, o.clip);
  }
  if (n == "--dry-run") {
    o.dryRun = true;
  } else if (n == "--preview") {
    o.preview = v;
  } else if (n == "--no-save") {
    c.save = false;
  } else if (n == "--no-trans") {
    c.trans = false;
  } else if (n == "--rate") {
    if (v != "4000" && v != "8000") return "--rate must be 4000 or 8000";
    c.targetRate = v == "4000" ? 4000 : 8000;
  } else if (n == "--title") {
    c.title = v;
  } else if (n == "--copyright") {
    c.copyright = v;
  } else if (n == "--date") {
    if (!IsDate(v)) return "--date must be eight digits, YYYYMMDD";
    c.date = v;
  } else if (n == "--variant") {
    if (v != "0" && v != "1" && v != "2") return "--variant must be 0, 1 or 2";
    c.variant = v[0] - '0';
  } else if (n == "--encoding") {
    if (!(c.encoding = TextEncodingFromName(v))) return "--encoding must be cp932, cp1252 or utf-8";
  } else if (n == "--quality") {
    if (v != "standard" && v != "high") return "--quality must be standard or high";
    c.quality = v == "high" ? AdpcmQuality::kHigh : AdpcmQuality::kStandard;
  } else if (n == "-j" || n == "--jobs") {
    unsigned jobs = 0;
    const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), jobs);
    if (error != std::errc() || end != v.data() + v.size() || jobs < 1 || jobs > kMaxJobs)
      return n + " must be a number from 1 to " + std::to_string(kMaxJobs);
    o.jobs = jobs;
  } else if (n == "-o") {
    o.output = v;
  } else {
    o.directory = v;
  }
  return std::nullopt;
}

// The options of the arguments, or a usage error.
std::optional<std::string> Parse(const ParsedArgs& args, Options& o) {
  if (!args.error.empty()) return args.error;
  for (const ParsedOption& option : args.options) {
    if (std::optional<std::string> error = Take(option, o)) return error;
  }
  o.files = args.files;
  if (o.files.empty()) return "no FILE given";
  if (o.output && o.directory) return "-o and -d cannot be used together";
  if (o.output && o.files.size() > 1) return "-o takes one input only";
  if (o.preview && o.files.size() > 1) return "--preview takes one input only";
  for (const std::string& file : o.files) {
    if (!o.output && IsStreamInput(file))
      return (file == "-" ? std::string("standard input") : file) +
             " has no name to follow: use -o FILE";
  }
  const auto same = [](const std::string& a, const std::string& b) {
    std::error_code error;
    return a == b || std::filesystem::equivalent(a, b, error);
  };
  if (o.output && same(*o.output, o.files.front())) return "-o names the input file itself";
  if (o.preview && same(*o.preview, o.files.front()))
    return "--preview names the input file itself";
  if (o.preview && same(*o.preview, o.output.value_or(DefaultOutputPath(o.files.front()))))
    return "--preview names the output file";
  const ClipChoices& clip = o.clip;
  if (clip.length && clip.end) return "--length and --end cannot be used together";
  // The engine needs more than 20 ms of sound.
  constexpr int64_t kShortest = 20'000'000;
  if (clip.length && clip.length->nanoseconds <= kShortest)
    return "--length must be more than 20 ms";
  const int64_t start = clip.start ? clip.start->nanoseconds : 0;
  if (clip.end && clip.end->nanoseconds - start <= kShortest)
    return "--end must be more than 20 ms after --start";
  return std::nullopt;
}

// Where the file of an input goes.
std::string TargetOf(const std::string& input, const Options& options) {
  if (options.output) return *options.output;
  const std::string beside = DefaultOutputPath(input);
  if (!options.directory) return beside;
  return (std::filesystem::path(*options.directory) / std::filesystem::path(beside).filename())
      .string();
}

// The part of the input the options choose, made ready for the engine and loaded into the
// input's conversion; what was done, as " (...)" for the printed line. The report's status and
// lines when it cannot be made.
std::optional<std::string> PrepareInput(OpenedInput& input, const std::string& path,
                                        const std::string& name, const Options& options,
                                        Language language, FileReport& report) {
  PreparedClip clip;
  {
    Conversion& conversion = input.conversion;
    std::unique_ptr<MonoInput> source;
    if (input.decoder == OpenedInput::Decoder::kEngine) {
      source = std::make_unique<HeldInput>(
          conversion.HeldSamples(), conversion.InputFormat().frameCount, conversion.InputRate());
    } else {
      source = std::make_unique<SoundFileInput>(*input.sound);
    }
    const int64_t capMs = options.choices.variant == 0 ? KivraWriterV0::kCapMs : 0;
    clip = PrepareClip(*source, options.clip, capMs);
  }
  for (const std::string& note : clip.notes) report.err += "note: " + path + ": " + note + "\n";
  if (!clip.error.empty()) {
    report.err += std::string(kProgram) + ": " + path + ": " + clip.error + "\n";
    report.status = clip.usageError ? kExitUsage : kExitRefused;
    return std::nullopt;
  }
  input.sound.reset();
  input.image = {};
  const ConversionOutcome outcome =
      input.conversion.OpenClip(name, clip.sampleRate, std::move(clip.samples));
  if (!outcome.Succeeded()) {
    std::ostringstream err;
    ReportRefusal(err, path, outcome, language);
    report.err += err.str();
    return std::nullopt;
  }
  std::string done;
  for (const std::string& item : clip.done) done += (done.empty() ? " (" : ", ") + item;
  return done.empty() ? done : done + ")";
}

// Converts one file as the options say, and keeps what it has to say. Runs on a worker thread:
// nothing may escape it.
FileReport ConvertOne(const std::string& path, const Options& options, bool secondThread,
                      Language language) noexcept {
  FileReport report;
  std::ostringstream err;
  const auto refuse = [&](const ConversionOutcome& outcome) {
    ReportRefusal(err, path, outcome, language);
    report.err += err.str();
    return report;
  };
  try {
    const std::string target = TargetOf(path, options);
    // A stream has no name of its own: the file it becomes names it (its default title).
    const std::string name = IsStreamInput(path) ? target : path;
    const std::unique_ptr<OpenedInput> input =
        OpenedInput::Open(path, name, Conversion::Purpose::kConversion);
    if (input->decoder == OpenedInput::Decoder::kNone) return refuse(input->outcome);
    // A WAV or AIFF file the engine finds damaged may still give sound to libsndfile: the user
    // hears of the damage.
    if (!input->damage.Empty()) {
      report.err += "note: " + path + ": damaged (" + Describe(input->damage) +
                    "); converting what libsndfile decodes of it\n";
    }
    Conversion& conversion = input->conversion;
    conversion.AllowSecondThread(secondThread);
    // Inputs the window would take, without the workshop's options, convert exactly as there.
    std::string done;
    if (options.clip.Any() || input->decoder == OpenedInput::Decoder::kSoundFile) {
      const std::optional<std::string> prepared =
          PrepareInput(*input, path, name, options, language, report);
      if (!prepared) return report;
      done = *prepared;
    }
    const SettingsChoice settings = conversion.Settings(options.choices, language);
    if (!settings.refusal.empty()) {
      report.err +=
          std::string(kProgram) + ": " + path + ": " + settings.refusal + "; use --rate 4000\n";
      return report;
    }
    std::vector<uint8_t> image;
    ConversionOutcome outcome = conversion.Encode(settings.settings, image);
    if (!outcome.Succeeded()) return refuse(outcome);
    if (options.preview) {
      std::vector<uint8_t> wav;
      std::vector<std::string> problems;
      std::string detail;
      if (!DecodeKivraToWav(image, wav, problems) ||
          !WriteFileAtomically(*options.preview, wav, &detail)) {
        report.err += std::string(kProgram) + ": " + *options.preview +
                      ": the preview cannot be written" +
                      (detail.empty() ? "" : " (" + detail + ")") + "\n";
        return report;
      }
    }
    if (!options.dryRun) {
      outcome = Conversion::Write(image, target);
      if (!outcome.Succeeded()) return refuse(outcome);
    }
    report.out = path + " -> " + target + ": " +
                 FileSizeMessage(static_cast<int32_t>(image.size()), language) + done + "\n";
    report.status = kExitOk;
  } catch (const std::exception&) {
    // Memory ran out on a step without a refusal of its own: this file's refusal.
    report = {};
    report.err = std::string(kProgram) + ": " + path + ": out of memory\n";
  }
  return report;
}

// Converts every file on `jobs` processors, `atOnce` files at a time (at most jobs), and prints
// each file's lines in the order of the files as soon as the files before it are done. The exit
// status.
int ConvertAll(const Options& options, unsigned jobs, unsigned atOnce, Language language,
               std::ostream& out, std::ostream& err) {
  const size_t count = options.files.size();
  std::vector<std::optional<FileReport>> reports(count);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next = 0;
  // Each thread keeps to its own share of the processors, so that all start at once. A file's
  // conversion splits itself over two when there is a processor to spare for it.
  const auto threads = static_cast<int>(std::min<size_t>(atOnce, count));
  const bool secondThread = jobs >= 2u * unsigned(threads);
  const auto work = [&] {
    for (size_t i = next++; i < count; i = next++) {
      FileReport report = ConvertOne(options.files[i], options, secondThread, language);
      const std::lock_guard lock(mutex);
      reports[i] = std::move(report);
      finished.notify_all();
    }
  };
  const ProcessorShares shares(threads);
  const ProcessorShares::Stay stay = shares.Enter(0);
  std::vector<std::jthread> workers;
  try {
    for (int w = 1; w < threads; ++w) {
      workers.emplace_back(work);
      shares.Send(workers.back().native_handle(), w);
    }
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the ones there are, and this one, do the work.
  }
  // This thread takes files too, and prints whatever is ready in order.
  int status = kExitOk;
  size_t printed = 0;
  const auto print = [&] {
    for (; printed < count; ++printed) {
      std::optional<FileReport> report;
      {
        const std::lock_guard lock(mutex);
        if (!reports[printed]) return;
        report = std::move(reports[printed]);
      }
      out << report->out;
      err << report->err;
      out.flush();
      status = std::max(status, report->status);
    }
  };
  for (size_t i = next++; i < count; i = next++) {
    FileReport report = ConvertOne(options.files[i], options, secondThread, language);
    {
      const std::lock_guard lock(mutex);
      reports[i] = std::move(report);
    }
    print();
  }
  while (printed < count) {
    {
      std::unique_lock lock(mutex);
      finished.wait(lock, [&] { return reports[printed].has_value(); });
    }
    print();
  }
  return status;
}

}  // namespace

int ConvertMain(std::span<const std::string> args, Language language, std::ostream& out,
                std::ostream& err) {
  const ParsedArgs parsed = ParseArgs(args, kOptions);
  if (parsed.help) {
    out << kHelp;
    return kExitOk;
  }
  Options options;
  if (const std::optional<std::string> error = Parse(parsed, options))
    return ReportUsageError(err, "convert: " + *error);
  // One date for every file of the run.
  if (!options.choices.date) options.choices.date = TodayStamp();
  const unsigned jobs =
      options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  // Files that would go to the same name are converted one after the other, so that the last
  // of them wins as it does without -j.
  unsigned atOnce = jobs;
  std::set<std::string> targets;
  for (const std::string& file : options.files) {
    if (!targets.insert(TargetOf(file, options)).second) atOnce = 1;
  }
  return ConvertAll(options, jobs, atOnce, language, out, err);
}

}  // namespace pelorin::cli
