/* Generic-text mappings, ANSI build. */
#pragma once
#define _T(x) x
#define _TEXT(x) x
#define _tWinMain WinMain
#define _tcslen strlen
#define _tcscpy strcpy
#define _stprintf sprintf
