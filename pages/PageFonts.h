// The fonts and brush every page makes on first use and keeps until it dies.
#pragma once
#include "afx/afxwin.h"

// Creates the page font ("宋体", the given cell height and weight) once.
inline HFONT EnsurePageFont(CFont& font, int nHeight, int nWeight) {
    if (!font.GetSafeHandle()) {
        font.CreateFont(nHeight, 0, 0, 0, nWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_MODERN | DEFAULT_PITCH, "宋体");
    }
    return font;
}

inline HBRUSH EnsureWhiteBrush(CBrush& brush) {
    if (!brush.GetSafeHandle()) brush.CreateSolidBrush(RGB(255, 255, 255));
    return brush;
}

// The white answer to a control-colour message: white background, the page's brush.
inline HBRUSH PaintWhite(CDC* pDC, CBrush& brush) {
    pDC->SetBkColor(RGB(255, 255, 255));
    return EnsureWhiteBrush(brush);
}
