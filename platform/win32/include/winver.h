/* Version resources: the constants of VERSIONINFO statements. */
#pragma once

#define VS_VERSION_INFO 1
