// First start, exit and restart, and stored values that start cleanly.
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>
