#pragma once

namespace pelorin {

// Writes today's local date as "YYYYMMDD" and a terminating NUL into buffer; returns the
// number of characters written (8), or -1 when the buffer is missing or too small, or the
// local time cannot be had.
int FormatDateStamp(char* buffer, int capacity);

}  // namespace pelorin
