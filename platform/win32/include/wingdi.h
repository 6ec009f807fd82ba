/* gdi32: the little painting that the program does. */
#pragma once
#include "windef.h"
