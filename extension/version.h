// version.h: the library's module version and revision, read by its code
// (the kernel's start-up) and by its resource script.
#pragma once
#define TV_TVISX_VERSION "2.63"
#define TV_TVISX_REVISION ":18"
#define TV_TVISX_VERSION_TEXT "2.63 (18)"  // version and revision as the kernel shows them
#define TV_TVISX_VERSION_WORDS 2, 63, 18, 0
