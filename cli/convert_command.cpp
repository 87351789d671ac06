#include "cli/convert_command.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_parser.h"
#include "pipeline/conversion.h"

namespace pelorin::cli {
namespace {

constexpr const char* kHelp =
    "Usage: pelorin-cli convert [OPTION]... FILE...\n"
    "Convert each .wav or .aif file into a KIVRA file (.mmf), by default beside it under\n"
    "the same base name. An existing file of that name is replaced.\n"
    "\n"
    "  --rate 4000|8000      sampling rate of the file (default: 8000 for inputs of\n"
    "                        8000 Hz or more, 4000 below; 8000 needs an input of 8000 Hz\n"
    "                        or more)\n"
    "  --title TEXT          title (default: the input's base name)\n"
    "  --copyright TEXT      copyright line (default: none)\n"
    "  --no-save             the receiving phone may not save the sound (nor pass it on)\n"
    "  --no-trans            the receiving phone may not pass the sound on\n"
    "  --date YYYYMMDD       creation date (default: today)\n"
    "  --variant 0|1|2       file variant (default 0)\n"
    "  --encoding NAME       text encoding of title and copyright: cp932, cp1252 or\n"
    "                        utf-8 (default: cp932 for a Japanese locale, else cp1252);\n"
    "                        characters it cannot hold become '?', and each text is cut\n"
    "                        to 256 bytes\n"
    "  -o FILE               write to FILE (one input only)\n"
    "  -d DIR                write into DIR\n"
    "  --quality standard|high\n"
    "                        how the ADPCM codes are chosen: high searches for the codes\n"
    "                        the phone will play back closest to the sound (about 1.7 dB\n"
    "                        better, same size, about twice the time); default standard\n"
    "  -j, --jobs N          convert N files at once (default: the number of\n"
    "                        processors); lines still come in the order of the files\n"
    "  --help                display this help and exit\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when any failed, 2 for a usage error.\n";

constexpr OptionSpec kOptions[] = {
    {"--rate", true}, {"--title", true},   {"--copyright", true}, {"--no-save"}, {"--no-trans"},
    {"--date", true}, {"--variant", true}, {"--encoding", true},  {"-o", true},  {"-d", true},
    {"-j", true},     {"--jobs", true},    {"--quality", true},
};

// More workers than this only add memory: the machine's processors are the limit.
constexpr unsigned kMaxJobs = 256;

struct Options {
  UserChoices choices;
  std::optional<std::string> output;
  std::optional<std::string> directory;
  unsigned jobs = 0;  // 0: the number of processors
  std::vector<std::string> files;
};

// What converting one file printed, kept until the files before it are printed.
struct FileReport {
  std::string out;
  std::string err;
  bool converted = false;
};

bool IsDate(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Takes one option's value into the options; an error text for a value it cannot take.
std::optional<std::string> Take(const ParsedOption& option, Options& o) {
  const std::string& n = option.name;
  const std::string& v = option.value;
  UserChoices& c = o.choices;
  if (n == "--no-save") {
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
  if (o.output) {
    std::error_code error;
    if (*o.output == o.files.front() ||
        std::filesystem::equivalent(*o.output, o.files.front(), error))
      return "-o names the input file itself";
  }
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

// Converts one file as the options say, and keeps what it has to say. Runs on a worker thread:
// nothing may escape it.
FileReport ConvertOne(const std::string& path, const Options& options, bool secondThread,
                      Language language) noexcept {
  FileReport report;
  std::ostringstream out;
  std::ostringstream err;
  try {
    Conversion conversion;
    conversion.AllowSecondThread(secondThread);
    ConversionOutcome outcome = conversion.Open(path);
    if (outcome.messageId != 0) {
      ReportRefusal(err, path, outcome, language);
      report.err = err.str();
      return report;
    }
    const SettingsChoice settings = conversion.Settings(options.choices, language);
    if (!settings.refusal.empty()) {
      report.err =
          std::string(kProgram) + ": " + path + ": " + settings.refusal + "; use --rate 4000\n";
      return report;
    }
    const std::string target = TargetOf(path, options);
    outcome = conversion.Finish(settings.settings, target);
    if (!outcome.Succeeded()) {
      ReportRefusal(err, path, outcome, language);
      report.err = err.str();
      return report;
    }
    out << path << " -> " << target << ": " << FileSizeMessage(outcome.fileBytes, language) << '\n';
    report.out = out.str();
    report.converted = true;
  } catch (const std::exception&) {
    // Memory ran out on a step without a refusal of its own: this file's refusal.
    report = {};
    report.err = std::string(kProgram) + ": " + path + ": out of memory\n";
  }
  return report;
}

// Converts every file, `jobs` at a time, and prints each file's lines in the order of the
// files as soon as the files before it are done. The exit status.
int ConvertAll(const Options& options, unsigned jobs, Language language, std::ostream& out,
               std::ostream& err) {
  const size_t count = options.files.size();
  std::vector<std::optional<FileReport>> reports(count);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next = 0;
  // A file's conversion splits itself only when no other file keeps a processor busy.
  const bool secondThread = jobs == 1 || count == 1;
  const auto work = [&] {
    for (size_t i = next++; i < count; i = next++) {
      FileReport report = ConvertOne(options.files[i], options, secondThread, language);
      const std::lock_guard lock(mutex);
      reports[i] = std::move(report);
      finished.notify_all();
    }
  };
  std::vector<std::jthread> workers;
  try {
    for (unsigned w = 1; w < std::min<size_t>(jobs, count); ++w) workers.emplace_back(work);
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
      if (!report->converted) status = kExitRefused;
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
  unsigned jobs =
      options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  // Files that would go to the same name are converted one after the other, so that the last
  // of them wins as it does without -j.
  std::set<std::string> targets;
  for (const std::string& file : options.files) {
    if (!targets.insert(TargetOf(file, options)).second) jobs = 1;
  }
  return ConvertAll(options, jobs, language, out, err);
}

}  // namespace pelorin::cli
