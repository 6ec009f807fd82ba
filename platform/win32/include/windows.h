/* The Windows SDK subset that kelvorant and its MFC layer are written against. */
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "wingdi.h"
#include "winuser.h"
#ifndef WIN32_LEAN_AND_MEAN
#include "winsvc.h"
#endif
