// Standard MFC command and resource identifiers.
#pragma once

#define ID_HELP 0xE146
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
