#include "flight/format_number.h"
