#pragma once
// pxlib's C header, which declares its functions without C linkage for C++. Include this
// instead of <paradox.h>. The header comes from the system include folder (or the pxlib
// target's, marked SYSTEM by CMake), so its own style does not trip our warnings.
#include <iconv.h>
#include <stdio.h>

extern "C" {
#include <paradox.h>
}
