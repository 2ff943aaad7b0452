// Whether bytes on the card are a whole JPEG picture: what a cut left under
// a photo's temporary name is kept only when it is.
#pragma once

#include <string>

// True when the file (firmware path) starts with the JPEG start marker, ends
// with its end marker and decodes without an error.
bool jpeg_file_whole(const std::string &path);
