#include "ui/XPMenu.h"

#include "SystemDll.h"
#include "ui/TrayMenuLayout.h"
#include "win/Dpi.h"

namespace {
constexpr COLORREF kHighlightFill = RGB(177, 185, 207);
constexpr COLORREF kIconColumn = RGB(219, 216, 209);
constexpr COLORREF kTextArea = RGB(249, 248, 247);

RECT ToRect(const MenuRect& r) { return {r.left, r.top, r.right, r.bottom}; }

void Fill(HDC dc, const MenuRect& r, COLORREF colour) {
    RECT rc = ToRect(r);
    const win::GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &rc, brush.get());
}

HFONT CreateMenuFont(int dpi) {
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const ForDpi forDpi = tavori::sysdll::SystemFunction<ForDpi>("user32.dll", "SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(dpi)))
        return CreateFontIndirectW(&metrics.lfMenuFont);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return nullptr;
    const win::WindowDC screen(nullptr);
    const int systemDpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    metrics.lfMenuFont.lfHeight = MulDiv(metrics.lfMenuFont.lfHeight, dpi, systemDpi > 0 ? systemDpi : 96);
    return CreateFontIndirectW(&metrics.lfMenuFont);
}
}  // namespace

int DpiAtPoint(POINT pt) { return win::MonitorDpi(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST)); }

CXPMenu::CXPMenu(int dpi) : m_hMenu(CreatePopupMenu()), m_dpi(dpi), m_font(CreateMenuFont(dpi)) {}

CXPMenu::~CXPMenu() {
    if (m_hMenu) DestroyMenu(m_hMenu);
}

bool CXPMenu::AppendItem(UINT command, const TrayMenuItem* item) {
    return AppendMenuA(m_hMenu, MF_OWNERDRAW, command, reinterpret_cast<LPCSTR>(item)) != FALSE;
}

void CXPMenu::MeasureItem(MEASUREITEMSTRUCT& mis) const {
    int width = 0, height = 0;
    TrayMenuItemSize(m_dpi, width, height);
    mis.itemWidth = static_cast<UINT>(width);
    mis.itemHeight = static_cast<UINT>(height);
}

HICON CXPMenu::Icon(UINT id) const {
    // Loaded at the scaled size so the icon file's own larger image is used instead of a stretched 16.
    const int size = ScaleForDpi(16, m_dpi);
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

void CXPMenu::DrawItem(const DRAWITEMSTRUCT& dis) const {
    const auto* item = reinterpret_cast<const TrayMenuItem*>(dis.itemData);
    if (!item) return;
    HDC dc = dis.hDC;
    SetBkMode(dc, TRANSPARENT);
    const bool highlighted = (dis.itemState & ODS_SELECTED) != 0;
    const MenuRect itemRect{dis.rcItem.left, dis.rcItem.top, dis.rcItem.right, dis.rcItem.bottom};
    const MenuItemLayout l = LayoutTrayMenuItem(itemRect, highlighted, m_dpi);
    if (highlighted) {
        {
            const win::Selection brush(dc, GetStockObject(HOLLOW_BRUSH)), pen(dc, GetStockObject(BLACK_PEN));
            Rectangle(dc, l.frame.left, l.frame.top, l.frame.right, l.frame.bottom);
        }
        Fill(dc, l.fill, kHighlightFill);
    } else {
        Fill(dc, l.iconBox, kIconColumn);
        Fill(dc, l.textArea, kTextArea);
    }
    if (HICON icon = Icon(highlighted ? item->selectedIcon : item->normalIcon)) {
        DrawIconEx(dc, l.iconX, l.iconY, icon, l.iconSize, l.iconSize, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
    }
    const win::Selection font(dc, m_font.get());
    RECT text = ToRect(l.text);
    DrawTextA(dc, item->text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
}
