// Name matching with the wildcards of the Windows folder search, for the POSIX folder search
// (and, on Windows, to check a name that the search returned only through its 8.3 alias).
#pragma once

#include <string_view>

// "*" matches any run of characters (also none), "?" one character, ASCII letters match
// regardless of case, and a trailing ".*" also matches a name without that dot, so "*.*"
// matches every name. Characters are UTF-8 sequences on POSIX, ANSI code page characters on
// Windows.
bool WildcardMatch(std::string_view pattern, std::string_view name);
