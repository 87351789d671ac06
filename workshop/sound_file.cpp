#include "workshop/sound_file.h"
