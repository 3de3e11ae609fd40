#pragma once
// The window's look package, built from resources/look by look-pack at build
// time and compiled into the program.
#include <cstddef>

const unsigned char* EmbeddedLookData();
size_t EmbeddedLookSize();
