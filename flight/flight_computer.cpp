#include "flight/flight_computer.h"
