// A fresh temporary folder tree per test, and small file helpers that work the same in the
// native build and under Wine. Paths are UTF-8 on both, as in the engine; Windows reaches them
// through the wide calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
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
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static unsigned counter = 0;
        root_ = Utf8FromWide(base) + "brennic-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        CreateDirectoryW(WideFromUtf8(root_).c_str(), nullptr);
#else
        char pattern[] = "/tmp/brennic-test-XXXXXX";
        root_ = mkdtemp(pattern);
#endif
    }
    ~TempTree() {
#if defined(_WIN32)
        RemoveTree(L"\\\\?\\" + WideFromUtf8(root_));
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
        ASSERT_TRUE(CreateDirectoryW(Wide(relative).c_str(), nullptr)) << relative;
#else
        ASSERT_EQ(mkdir(Path(relative).c_str(), 0755), 0) << relative;
#endif
    }
    void File(const std::string& relative, const std::string& content) const {
        FILE* out = Open(relative, "wb");
        ASSERT_TRUE(out) << relative;
        const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
        ASSERT_TRUE(std::fclose(out) == 0 && written) << relative;
    }
    std::string Read(const std::string& relative) const {
        std::string content;
        if (FILE* in = Open(relative, "rb")) {
            char buffer[65536];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
                content.append(buffer, got);
            }
            std::fclose(in);
        }
        return content;
    }
    bool Exists(const std::string& relative) const {
        FILE* in = Open(relative, "rb");
        if (in) std::fclose(in);
        return in != nullptr;
    }
    void MakeReadOnly(const std::string& relative) const {
#if defined(_WIN32)
        SetFileAttributesW(Wide(relative).c_str(), FILE_ATTRIBUTE_READONLY);
#else
        chmod(Path(relative).c_str(), 0444);
#endif
    }
    void MakeHidden(const std::string& relative) const {
#if defined(_WIN32)
        SetFileAttributesW(Wide(relative).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
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

#if defined(_WIN32)
    // The \\?\ form of a path in the tree: no length limit.
    std::wstring Wide(const std::string& relative) const {
        return L"\\\\?\\" + WideFromUtf8(Path(relative));
    }
#endif

  private:
    FILE* Open(const std::string& relative, const char* mode) const {
#if defined(_WIN32)
        return _wfopen(Wide(relative).c_str(), WideFromUtf8(mode).c_str());
#else
        return std::fopen(Path(relative).c_str(), mode);
#endif
    }
#if defined(_WIN32)
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                    RemoveTree(path);
                } else if (!DeleteFileW(path.c_str())) {
                    RemoveDirectoryW(path.c_str());
                }
            } while (FindNextFileW(search, &data));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }
#endif
    std::string root_;
};
