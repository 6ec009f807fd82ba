// MFC extensions: nothing beyond the core is used.
#pragma once
#include "afxwin.h"
