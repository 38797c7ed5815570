// The engine stand-in.
#include "test_support.h"
