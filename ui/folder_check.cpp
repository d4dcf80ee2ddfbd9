// The command-line split and the folder check of the folder intake.
#include "folder_check.h"

#include "platform.h"

namespace {

bool IsBlank(unsigned char c) {
    return c <= 0x20;
}

}  // namespace

std::vector<Text> SplitCommandLine(std::string_view line) {
    std::vector<Text> arguments;
    for (const ArgumentSpan& span : SplitCommandLineSpans(line)) {
        arguments.emplace_back(line.substr(span.begin, span.end - span.begin));
    }
    return arguments;
}

std::vector<ArgumentSpan> SplitCommandLineSpans(std::string_view line) {
    std::size_t i = 0;
    // The program's own path: quoted to the next quote (and one space after it), else to the
    // first space.
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        i = close == std::string_view::npos ? line.size() : close + 1;
        if (i < line.size() && line[i] == ' ') ++i;
    } else {
        const std::size_t space = line.find(' ');
        i = space == std::string_view::npos ? line.size() : space + 1;
    }

    std::vector<ArgumentSpan> arguments;
    while (i < line.size()) {
        if (IsBlank(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        const bool quoted = line[i] == '"';
        if (quoted) ++i;
        const std::size_t begin = i;
        bool lineEnded = false;
        while (i < line.size()) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (quoted ? c == '"' : (IsBlank(c) || c == '"')) break;
            if (c >= 0x80) {
                if (i + 1 >= line.size()) {  // a lead byte with nothing after it is dropped
                    lineEnded = true;
                    i = line.size();
                    break;
                }
                i += 2;
                continue;
            }
            ++i;
        }
        const std::size_t end = lineEnded ? line.size() - 1 : i;
        if (quoted && i < line.size() && line[i] == '"') ++i;  // the closing quote
        arguments.push_back({begin, end});
        if (lineEnded) break;
    }
    return arguments;
}

bool IsExistingFolder(const Text& path) {
    const std::size_t parentLength = FolderPartLength(path);
    const Text parent = path.substr(0, parentLength);
    const Text last = path.substr(parentLength);
    SearchState search;
    bool found = false;
    for (Text entry = FindEntry(TextJoin({parent, "*.*"}), kFolderAttribute, search);
         !entry.empty(); entry = FindEntry(Text(), kFolderAttribute, search)) {
        if (TextCompare(entry, last) == 0) {
            found = true;
            break;
        }
    }
    CloseSearch(search);
    return found;
}
