// Portable parts of the folder intake: the command-line split and the folder check.
#pragma once

#include <vector>

#include "text.h"

// The arguments after the program's own path, split from the raw command line: quotes without
// escapes, a quoted token ends at its closing quote, a byte of 0x80 or above takes the next
// byte along, and a last byte of 0x80 or above is dropped.
std::vector<Text> SplitCommandLine(std::string_view line);
// The same split, answering where each element lies in line: an element is always one run of
// the line's bytes.
struct ArgumentSpan {
    std::size_t begin;
    std::size_t end;
};
std::vector<ArgumentSpan> SplitCommandLineSpans(std::string_view line);

// True when the folder above path lists a folder named exactly (byte for byte) like path's last
// component. The path itself is never asked about: a trailing separator, a drive root, a wrong
// case of the last component, a file are all rejected; "." and ".." are taken.
bool IsExistingFolder(const Text& path);
