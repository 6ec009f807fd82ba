/* The Windows SDK subset that kelvorant and its MFC layer are written against. */
#pragma once
#include "windef.h"
#include "winnt.h"
#include "winerror.h"
#include "winbase.h"
#include "winuser.h"
#include "winver.h"
#ifndef WIN32_LEAN_AND_MEAN
#include "winsvc.h"
#endif
