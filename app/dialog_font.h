#pragma once

#include <QFont>

#include "pipeline/string_table.h"

namespace pelorin::ui {

// The font every window's text is set in: a sans-serif of about 8 points for English, the
// Japanese Gothic at 9 points for Japanese.
QFont DialogFont(Language language);

}  // namespace pelorin::ui
