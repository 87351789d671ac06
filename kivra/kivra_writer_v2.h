#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kivra/kivra_writer_v1.h"

namespace pelorin {

// The variant 2 file: variant 1 with content class '4', track number 6 and a "Pro" chunk in
// the data chunk that carries the playing time in ticks.
class KivraWriterV2 : public KivraWriterV1 {
 public:
  KivraWriterV2();

 protected:
  void BuildDataChunk(std::vector<uint8_t>& chunk, size_t& p0, size_t& p2) override;

 private:
  void BuildProChunk(std::vector<uint8_t>& chunk) const;
};

}  // namespace pelorin
