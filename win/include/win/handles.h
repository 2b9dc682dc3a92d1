// Owners of the Win32 handles the module makes: each gives back what it holds
// when its scope ends, on every path out of the scope. A helper returns its
// owner, which moves; Release() hands the handle to code that is no owner.
// Closing keeps the last error: a failed call's reason outlives the handle it
// was made on, and the owners that its failure sends out of scope.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

// Calls `close` with the caller's last error kept across it.
template <typename Close>
void KeepingLastError(Close close) {
    const DWORD error = GetLastError();
    close();
    SetLastError(error);
}

// An object that one call destroys, null being none.
template <typename H, auto DestroyFn>
class Owned {
public:
    Owned() = default;
    explicit Owned(H handle) : h_(handle) {}
    ~Owned() { Destroy(); }
    Owned(Owned&& other) noexcept : h_(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            Destroy();
            h_ = other.Release();
        }
        return *this;
    }

    H Get() const { return h_; }
    H Release() { return std::exchange(h_, nullptr); }

private:
    void Destroy() {
        if (h_) KeepingLastError([this] { DestroyFn(h_); });
    }

    H h_ = nullptr;
};

// To CloseHandle, INVALID_HANDLE_VALUE is the current process, not a file.
inline void CloseKernelHandle(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

// A kernel object's handle. Files say "none" with INVALID_HANDLE_VALUE, most
// other objects with null; both are none here.
class Handle : public Owned<HANDLE, &CloseKernelHandle> {
public:
    using Owned::Owned;
    bool Valid() const { return Get() && Get() != INVALID_HANDLE_VALUE; }
};

using PopupMenu = Owned<HMENU, &DestroyMenu>;

// A block from GlobalAlloc. GPTR's blocks are fixed, and the handle is the address.
class GlobalBuffer : public Owned<HGLOBAL, &GlobalFree> {
public:
    using Owned::Owned;
    char* Bytes() const { return static_cast<char*>(Get()); }
};

// A file that is deleted at scope exit unless it was handed on.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() {
        if (!path_.empty()) KeepingLastError([this] { DeleteFileA(path_.c_str()); });
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Own(std::string path) { path_ = std::move(path); }
    const std::string& Path() const { return path_; }
    void Release() { path_.clear(); }

private:
    std::string path_;
};

// A mutex owned from a successful wait to scope exit. A holder that ended
// without releasing it leaves it abandoned, and it is owned then too.
class MutexOwner {
public:
    MutexOwner(HANDLE mutex, DWORD waitMs) : mutex_(mutex) {
        const DWORD waited = mutex ? WaitForSingleObject(mutex, waitMs) : WAIT_FAILED;
        owns_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~MutexOwner() {
        if (owns_) KeepingLastError([this] { ReleaseMutex(mutex_); });
    }
    MutexOwner(const MutexOwner&) = delete;
    MutexOwner& operator=(const MutexOwner&) = delete;

    bool Owns() const { return owns_; }

private:
    HANDLE mutex_;
    bool owns_;
};

// A window's device context with a font selected into it; the old font goes
// back in before the context is released.
class WindowDcWithFont {
public:
    WindowDcWithFont(HWND window, HGDIOBJ font)
        : window_(window), dc_(GetDC(window)), oldFont_(dc_ ? SelectObject(dc_, font) : nullptr) {}
    ~WindowDcWithFont() {
        if (!dc_) return;
        KeepingLastError([this] {
            SelectObject(dc_, oldFont_);
            ReleaseDC(window_, dc_);
        });
    }
    WindowDcWithFont(const WindowDcWithFont&) = delete;
    WindowDcWithFont& operator=(const WindowDcWithFont&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ oldFont_;
};
