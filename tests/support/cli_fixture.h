#pragma once

// Runs pelorin-cli as a separate process in a private temporary folder, with sox at hand to
// make input files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace pelorin::test {

namespace fs = std::filesystem;

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline bool HaveSox() {
  return std::system("command -v sox >/dev/null 2>&1") == 0;
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "pelorin-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
    ASSERT_TRUE(fs::create_directory(dir_ / "work"));
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  // Runs the CLI in `cwd` with a fixed locale (LANG only, so the result does not depend on the
  // caller's LANGUAGE or LC_* settings).
  CliRun Cli(const std::vector<std::string>& args, const std::string& lang = "C",
             const fs::path& cwd = {}) {
    std::string command = "cd " + Quote((cwd.empty() ? dir_ / "work" : cwd).string()) +
                          " && env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=" + lang + " " +
                          Quote(PELORIN_CLI);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >" + Quote((dir_ / "out").string()) + " 2>" + Quote((dir_ / "err").string());
    const int status = std::system(command.c_str());
    CliRun r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadText(dir_ / "out");
    r.err = ReadText(dir_ / "err");
    return r;
  }

  void NeedSox() {
    if (!HaveSox()) GTEST_SKIP() << "sox is not on PATH; install sox to run this test";
  }

  // A sox tone of exactly `frames` frames in the work folder.
  void Tone(const std::string& name, const std::string& rate, int bits, int channels, int frames) {
    const std::string command = "sox -V1 -r " + rate + " -c " + std::to_string(channels) +
                                " -n -b " + std::to_string(bits) + " " +
                                Quote((dir_ / "work" / name).string()) + " synth " +
                                std::to_string(frames) + "s sine 440";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  fs::path dir_;
};

}  // namespace pelorin::test
