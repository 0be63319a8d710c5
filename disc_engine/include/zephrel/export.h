// Symbol visibility of libzephrel's published classes and functions: the
// library is built with hidden visibility, and only what is marked here is
// exported.
#pragma once

#define ZEPHREL_API __attribute__((visibility("default")))
