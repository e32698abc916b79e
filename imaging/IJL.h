// Binding to the JPEG encoder library (libijl15), bound when the program is
// loaded: its properties record and the three operations the JPEG writer uses.
#pragma once
#include "platform/ijl15/ijl.h"
