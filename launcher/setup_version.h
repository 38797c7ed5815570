// setup_version.h: the launcher's module version and revision, read by its
// code (the kernel's start-up) and by its resource script.
#pragma once
#define TV_SETUP_VERSION "1.10"
#define TV_SETUP_REVISION ":4"
#define TV_SETUP_VERSION_TEXT "1.10 (4)"  // version and revision as the kernel shows them
#define TV_SETUP_VERSION_WORDS 1, 10, 4, 0
