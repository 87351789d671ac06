#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorin::cli {

// One JSON object on one line, keys in the order they are added.
class JsonLine {
 public:
  JsonLine& Add(std::string_view key, std::string_view text);
  JsonLine& Add(std::string_view key, int64_t number);
  std::string Finish() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

// A JSON string literal; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonQuote(std::string_view text);

}  // namespace pelorin::cli
