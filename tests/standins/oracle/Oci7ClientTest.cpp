// The stand-in ociw32.dll under Wine.
#include <gtest/gtest.h>
