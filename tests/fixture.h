// A fresh temporary folder tree per test, and small file helpers that work the same in the
// native build and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

// Turns a relative path written with "/" into one of this platform.
inline std::string NativeRelative(std::string relative) {
    for (char& c : relative) {
        if (c == '/') c = kPathSeparator[0];
    }
    return relative;
}

class TempTree {
  public:
    TempTree() {
#if defined(_WIN32)
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        static unsigned counter = 0;
        root_ = std::string(base) + "brennic-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        CreateDirectoryA(root_.c_str(), nullptr);
#else
        char pattern[] = "/tmp/brennic-test-XXXXXX";
        root_ = mkdtemp(pattern);
#endif
    }
    ~TempTree() {
#if defined(_WIN32)
        RemoveTree(root_);
#else
        std::string command = "chmod -R u+w '" + root_ + "' && rm -rf '" + root_ + "'";
        (void)!std::system(command.c_str());
#endif
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The root folder, ending in the separator.
    std::string Root() const {
        return root_ + kPathSeparator;
    }
    std::string Path(const std::string& relative) const {
        return Root() + NativeRelative(relative);
    }

    void Folder(const std::string& relative) const {
#if defined(_WIN32)
        CreateDirectoryA(Path(relative).c_str(), nullptr);
#else
        mkdir(Path(relative).c_str(), 0755);
#endif
    }
    void File(const std::string& relative, const std::string& content) const {
        std::ofstream out(Path(relative), std::ios::binary | std::ios::trunc);
        out << content;
        ASSERT_TRUE(out.good()) << relative;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        return in.good();
    }
    void MakeReadOnly(const std::string& relative) const {
#if defined(_WIN32)
        SetFileAttributesA(Path(relative).c_str(), FILE_ATTRIBUTE_READONLY);
#else
        chmod(Path(relative).c_str(), 0444);
#endif
    }
    void MakeHidden(const std::string& relative) const {
#if defined(_WIN32)
        SetFileAttributesA(Path(relative).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#else
        (void)relative;  // POSIX has no hidden attribute; a leading dot is just a name
#endif
    }
    // Count of entries in a folder, to see that no temporary file was left behind.
    int EntryCount(const std::string& relativeFolder) const {
        SearchState search;
        int count = 0;
        for (Text name = FindEntry(Root() + NativeRelative(relativeFolder) + "*", 0, search);
             !name.empty(); name = FindEntry(Text(), 0, search)) {
            ++count;
        }
        return count;
    }

  private:
#if defined(_WIN32)
    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                const std::string path = folder + "\\" + name;
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTree(path);
                } else if (!DeleteFileA(path.c_str())) {
                    RemoveDirectoryA(path.c_str());
                }
            } while (FindNextFileA(search, &data));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }
#endif
    std::string root_;
};
