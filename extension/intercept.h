// intercept.h: what the rest of the library needs of the window
// interception.
#pragma once

// Puts the saved procedure back into the intercepted window, if any, so
// that the window never calls into the library once it is unloaded.
void TvIsiEndInterception();
