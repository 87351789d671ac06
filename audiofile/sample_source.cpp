#include "audiofile/sample_source.h"

namespace pelorin {

int32_t SampleSource::SeekFrame(int32_t) {
  return 0;
}

}  // namespace pelorin
