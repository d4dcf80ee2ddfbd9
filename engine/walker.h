// The recursive walk of a replacement run.
#pragma once

#include <functional>

#include "platform.h"
#include "text.h"

// Treats every file of pathPattern's folder whose name matches its last component, then, with
// recurse, every subfolder with the same pattern, depth-first. Pumps events at each folder
// entry and answers false only when a stop was already requested at this first entry.
//
// Rules of the walk:
// - The folder listing is taken whole before the first file of a folder is rewritten, so a
//   temporary file or a file renamed into place is never handed to the walk.
// - Links to folders (symbolic links, junctions) are not entered, and no folder is entered
//   twice (compared by file identity), so no link or mount can make the walk loop.
// - A file reached twice (a link to a file already treated) is not treated again.
// - A file that cannot be read is never written and counts nowhere.
// - Every path is the listed folder's own text joined with the entry name: the walk never
//   re-splits a path it built.
bool ReplaceInFolder(const Text& pathPattern, const Text& find, const Text& replacement,
                     bool recurse);

// Process-wide settings of the walks that follow, for the command line.
// A dry run reads and counts as a real run does but writes nothing: no temporary file, no time
// stamp touched. A file counts as replaced when it holds the text and may be rewritten.
void SetDryRun(bool dryRun);
// Called for every matching file that is left as it was although it should not be: one that
// could not be opened or read, and one holding the text that could not be rewritten (or, in a
// dry run, would not be allowed to be). Pass nullptr to remove it.
void SetFileReport(std::function<void(const Text& path, FileProblem problem)> report);
