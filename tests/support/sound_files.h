#pragma once

// Sound files of any format libsndfile writes, made at test time, and a folder for them.

#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace pelorin::test {

// A sample in [-1, 1) of full scale, where full scale is 2^(bits-1) as the readers count it: for
// integer formats 0.5 is written as exactly 16384 in 16 bits, 4194304 in 24 bits.
using SampleFunction = std::function<double(int64_t frame, int channel)>;

// Writes frames × channels samples as sfFormat (SF_FORMAT_FLAC | SF_FORMAT_PCM_24, ...), a block
// at a time; setup may send commands first (SFC_SET_BITRATE_MODE, SFC_SET_COMPRESSION_LEVEL).
// False when libsndfile refuses the format or a write falls short.
inline bool WriteSoundFile(const std::string& path, int sfFormat, int channels, int rate,
                           int64_t frames, const SampleFunction& sample,
                           const std::function<void(SNDFILE*)>& setup = {}) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = sfFormat;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  if (setup) setup(file);
  // Integer data goes through sf_writef_int: libsndfile scales doubles by 2^(bits-1) - 1 on
  // writing but by 2^(bits-1) on reading, so a value would not come back as written.
  const int subtype = sfFormat & SF_FORMAT_SUBMASK;
  const bool integer = (subtype >= SF_FORMAT_PCM_S8 && subtype <= SF_FORMAT_PCM_U8) ||
                       (subtype >= SF_FORMAT_ALAC_16 && subtype <= SF_FORMAT_ALAC_32);
  constexpr int64_t kBlock = 4096;
  std::vector<double> doubles;
  std::vector<int> ints;
  bool ok = true;
  for (int64_t start = 0; start < frames && ok; start += kBlock) {
    const int64_t n = std::min(kBlock, frames - start);
    doubles.clear();
    ints.clear();
    for (int64_t f = start; f < start + n; ++f) {
      for (int c = 0; c < channels; ++c) {
        const double x = sample(f, c);
        doubles.push_back(x);
        ints.push_back(static_cast<int>(
            std::clamp(std::lrint(x * 2147483648.0), long{INT32_MIN}, long{INT32_MAX})));
      }
    }
    ok = (integer ? sf_writef_int(file, ints.data(), n)
                  : sf_writef_double(file, doubles.data(), n)) == n;
  }
  return sf_close(file) == 0 && ok;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "pelorin-test-XXXXXX").string();
    if (mkdtemp(name.data())) path_ = name;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace pelorin::test
