// What the two Windows files of the platform layer share: owned handles, file identity, and
// the conversion of path texts for the wide calls. Included only by *_win32.cpp files.
#pragma once

#include <windows.h>

#include <string>

#include "platform.h"

// Owns one kernel handle whose invalid value is Invalid (files use INVALID_HANDLE_VALUE).
template <HANDLE (*Invalid)(), BOOL(WINAPI* Release)(HANDLE)>
class OwnedHandle {
  public:
    explicit OwnedHandle(HANDLE handle = Invalid()) : handle_(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != Invalid(); }
    void Reset(HANDLE handle) {
        Close();
        handle_ = handle;
    }
    bool Close() {
        if (!valid()) return true;
        const BOOL closed = Release(handle_);
        handle_ = Invalid();
        return closed != FALSE;
    }

  private:
    HANDLE handle_;
};

inline HANDLE InvalidFileHandle() {
    return INVALID_HANDLE_VALUE;
}
using FileHandle = OwnedHandle<InvalidFileHandle, CloseHandle>;
using FindHandle = OwnedHandle<InvalidFileHandle, FindClose>;

inline FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileIdentity identity;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.valid = true;
    return identity;
}

// A path text as the wide calls take it, and back.
std::wstring WidePath(const Text& path);
Text NarrowPath(const std::wstring& path);
