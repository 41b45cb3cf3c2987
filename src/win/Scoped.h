// Owners for the Win32 resources that are otherwise paired by hand: each gives back what it holds
// exactly once, on every way out of the scope that made it, and can be moved but not copied.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

namespace win {

// Holds a value and gives it back with Traits::Release(value) unless it is Traits::Empty().
template <class Traits>
class Owner {
public:
    using Value = typename Traits::Value;
    Owner() = default;
    explicit Owner(Value value) : m_value(value) {}
    Owner(Owner&& other) noexcept : m_value(std::exchange(other.m_value, Traits::Empty())) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_value, Traits::Empty()));
        return *this;
    }
    ~Owner() { reset(); }
    Value get() const { return m_value; }
    explicit operator bool() const { return m_value != Traits::Empty(); }
    void reset(Value value = Traits::Empty()) {
        if (m_value != Traits::Empty()) Traits::Release(m_value);
        m_value = value;
    }

private:
    Value m_value = Traits::Empty();
};

template <class T, auto ReleaseFn, auto EmptyValue>
struct ConstantEmpty {
    using Value = T;
    static T Empty() { return EmptyValue; }
    static void Release(T value) { ReleaseFn(value); }
};

// An owner whose "nothing" is a constant (null unless told otherwise).
template <class T, auto Release, auto Empty = T{}>
using Owned = Owner<ConstantEmpty<T, Release, Empty>>;

inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void DeleteGdiObject(HGDIOBJ o) { DeleteObject(o); }
inline void DeleteMemoryDC(HDC dc) { DeleteDC(dc); }
inline void UnmapView(void* view) { UnmapViewOfFile(view); }

// CreateFile's failure is INVALID_HANDLE_VALUE, not null, which no constant template argument can be.
struct FileTraits {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Release(HANDLE h) { CloseHandle(h); }
};

// A kernel handle (CloseHandle); null holds nothing.
using Handle = Owned<HANDLE, CloseKernelHandle>;
// A pen, brush, font or bitmap we created (DeleteObject).
template <class T>
using GdiObject = Owned<T, DeleteGdiObject>;
// A memory DC (DeleteDC).
using MemoryDC = Owned<HDC, DeleteMemoryDC>;
// An open file (CreateFile); INVALID_HANDLE_VALUE holds nothing.
using File = Owner<FileTraits>;
// A view of a file mapping (MapViewOfFile), unmapped on the way out.
using MappedView = Owned<void*, UnmapView>;

// A file mapping and its view; the view goes first.
struct SharedMapping {
    Handle map;
    MappedView view;  // declared after the handle: unmapped before it closes
    void Close() { view.reset(), map.reset(); }
};

// A window's DC (GetDC), released to the same window.
class WindowDC {
public:
    explicit WindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (m_dc) ReleaseDC(m_window, m_dc);
    }
    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// An object selected into a DC for the scope; the DC's previous object comes back after it.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(dc && object ? SelectObject(dc, object) : nullptr) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() {
        if (m_old) SelectObject(m_dc, m_old);
    }

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// COM on this thread for the scope; uninitialised only when the initialisation succeeded (a
// thread that already had another apartment gets RPC_E_CHANGED_MODE and must not uninitialise).
class ComApartment {
public:
    explicit ComApartment(DWORD model) : m_ok(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (m_ok) CoUninitialize();
    }
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace win
