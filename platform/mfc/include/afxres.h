// Standard MFC command and resource identifiers.
#pragma once

#define ID_HELP 0xE146
#define ID_HELP_INDEX 0xE142
#define ID_HELP_FINDER 0xE143
#define ID_CONTEXT_HELP 0xE145
#define ID_DEFAULT_HELP 0xE147
#define ID_APP_EXIT 0xE141
#define ID_APP_ABOUT 0xE140
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
