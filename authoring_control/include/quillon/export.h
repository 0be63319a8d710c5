// Symbol visibility of libquillon's public classes and functions.
#pragma once

#define QUILLON_API __attribute__((visibility("default")))
