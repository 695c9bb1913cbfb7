#include "pages/SkinButton.h"

CSkinButton::CSkinButton() {
    m_penOutline.CreatePen(PS_INSIDEFRAME, 1, RGB(0, 0, 0));
    m_penHotLeft.CreatePen(PS_INSIDEFRAME, 3, RGB(250, 196, 88));
    m_penHotRight.CreatePen(PS_INSIDEFRAME, 3, RGB(251, 202, 106));
    m_penHotTop.CreatePen(PS_INSIDEFRAME, 2, RGB(252, 210, 121));
    m_penHotBottom.CreatePen(PS_INSIDEFRAME, 2, RGB(229, 151, 0));
    m_penFocusLeft.CreatePen(PS_INSIDEFRAME, 3, RGB(153, 198, 252));
    m_penFocusRight.CreatePen(PS_INSIDEFRAME, 3, RGB(162, 189, 252));
    m_penFocusTop.CreatePen(PS_INSIDEFRAME, 2, RGB(162, 201, 255));
    m_penFocusBottom.CreatePen(PS_INSIDEFRAME, 2, RGB(162, 201, 255));
    m_brHover.CreateSolidBrush(RGB(223, 222, 236));
    m_brNormal.CreateSolidBrush(RGB(222, 223, 236));
}

CSkinButton::~CSkinButton() = default;

// void OnMouseMove(UINT, POINT)                      ON_WM_MOUSEMOVE
// LRESULT OnMouseLeave(WPARAM, LPARAM)               ON_MESSAGE(WM_MOUSELEAVE, ...)
// LRESULT OnMouseHover(WPARAM, LPARAM)               ON_MESSAGE(WM_MOUSEHOVER, ...)
BEGIN_MESSAGE_MAP(CSkinButton, CButton)
    ON_WM_MOUSEMOVE()
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(WM_MOUSEHOVER, OnMouseHover)
END_MESSAGE_MAP()

void CSkinButton::PreSubclassWindow() {
    CButton::PreSubclassWindow();
    ModifyStyle(0, BS_OWNERDRAW, 0);
}

void CSkinButton::OnMouseMove(UINT, POINT) {
    if (!m_bTracking) {
        TRACKMOUSEEVENT tme{};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_HOVER | TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        tme.dwHoverTime = 1;
        m_bTracking = AfxTrackMouseEvent(&tme);
    }
    Default();
}

LRESULT CSkinButton::OnMouseHover(WPARAM, LPARAM) {
    m_bHover = 1;
    InvalidateRect(nullptr, TRUE);
    return 0;
}

LRESULT CSkinButton::OnMouseLeave(WPARAM, LPARAM) {
    m_bHover = 0;
    m_bTracking = 0;
    InvalidateRect(nullptr, FALSE);
    return 0;
}

COLORREF CSkinButton::BandColor(int i, BOOL bHover, BOOL bHighlight) {
    const int d3 = 255 - i / 3;
    const int d4 = 255 - i / 4;
    const int d5 = 255 - i / 5;
    if (!bHover) return bHighlight ? RGB(d3, d3, d4) : RGB(d3, d3, d5);
    return bHighlight ? RGB(d4, d4, d3) : RGB(d4, d4, d5);
}

void CSkinButton::DrawItem(LPDRAWITEMSTRUCT lpDIS) {
    RECT rc = lpDIS->rcItem;
    CDC dc(lpDIS->hDC);
    const int saved = dc.SaveDC();

    char caption[260] = "";
    ::GetWindowTextA(m_hWnd, caption, sizeof(caption));

    const UINT state = lpDIS->itemState;
    {
        CSelectScope pen(dc, m_penOutline);
        dc.RoundRect(rc.left, rc.top, rc.right, rc.bottom, 5, 5);
        m_bFocus = (state & ODS_FOCUS) ? 1 : 0;
        m_bHighlight = (state & (ODS_FOCUS | ODS_SELECTED | ODS_DEFAULT)) ? 1 : 0;
    }
    const bool pressed = (state & ODS_SELECTED) != 0;

    RECT face = rc;
    ::InflateRect(&face, -::GetSystemMetrics(SM_CXEDGE), -::GetSystemMetrics(SM_CYEDGE));
    {
        CSelectScope brush(dc, m_bHover ? static_cast<HBRUSH>(m_brHover) : static_cast<HBRUSH>(m_brNormal));
        DrawFace(&dc, face);
        if (m_bHover || m_bFocus) DrawFrame(&dc, face);
    }

    {
        CSelectScope font(dc, GetFont());
        const int len = lstrlenA(caption);
        SIZE ext{0, 0};
        ::GetTextExtentPoint32A(dc, caption, len, &ext);
        int x = (face.left + face.right) / 2 - ext.cx / 2;
        int y = (face.top + face.bottom) / 2 - ext.cy / 2;
        if (pressed) {
            ++x;
            ++y;
        }
        const int oldMode = dc.SetBkMode(TRANSPARENT);
        UINT flags = DST_PREFIXTEXT;
        if (state & ODS_DISABLED) flags |= DSS_DISABLED;
        ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption), 0, x, y, ext.cx, ext.cy, flags);
        dc.SetBkMode(oldMode);
    }
    dc.RestoreDC(saved);
}

void CSkinButton::DrawFace(CDC* pDC, const RECT& face) {
    const int height = face.bottom - face.top;
    // A face without height has no rows to fill (and the band formula would divide
    // by zero); a negative height paints nothing either.
    if (height <= 0) return;
    HBRUSH bands[64];
    for (int i = 0; i < 64; ++i) bands[i] = ::CreateSolidBrush(BandColor(i, m_bHover, m_bHighlight));
    for (int y = face.top; y <= face.bottom; ++y) {
        const int band = 63 * (y - face.top) / height;
        RECT row = {face.left, y, face.right, y + 1};
        pDC->FillRect(&row, bands[band]);
    }
    for (HBRUSH b : bands) ::DeleteObject(b);
}

void CSkinButton::DrawFrame(CDC* pDC, const RECT& face) {
    const bool focusOnly = m_bFocus && !m_bHover;
    HPEN left = focusOnly ? m_penFocusLeft : m_penHotLeft;
    HPEN right = focusOnly ? m_penFocusRight : m_penHotRight;
    HPEN top = focusOnly ? m_penFocusTop : m_penHotTop;
    HPEN bottom = focusOnly ? m_penFocusBottom : m_penHotBottom;

    const POINT start = pDC->GetCurrentPosition();
    {
        CSelectScope pen(*pDC, left);
        pDC->MoveTo(face.left, face.bottom - 1);
        pDC->LineTo(face.left, face.top + 1);
        pDC->SelectObject(right);
        pDC->MoveTo(face.right - 1, face.bottom - 1);
        pDC->LineTo(face.right - 1, face.top);
        pDC->SelectObject(top);
        pDC->MoveTo(face.left - 1, face.top);
        pDC->LineTo(face.right - 1, face.top);
        pDC->SelectObject(bottom);
        pDC->MoveTo(face.left, face.bottom);
        pDC->LineTo(face.right - 1, face.bottom);
    }
    pDC->MoveTo(start.x, start.y);
    if (focusOnly) pDC->DrawFocusRect(&face);
}
