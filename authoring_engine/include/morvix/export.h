// Symbol visibility of libmorvix's published classes and functions: the
// library is built with hidden visibility, and only what is marked here is
// exported.
#pragma once

#define MORVIX_API __attribute__((visibility("default")))
