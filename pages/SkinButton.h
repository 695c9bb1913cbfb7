// The push button of the wizard's own look: rounded outline, 64-band gradient face,
// orange edges while hovered, blue edges and a focus rectangle while focused.
#pragma once
#include "afx/afxwin.h"

class CSkinButton : public CButton {
public:
    CSkinButton();
    ~CSkinButton() override;

    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    virtual void DrawFace(CDC* pDC, const RECT& rcFace);
    virtual void DrawFrame(CDC* pDC, const RECT& rcFace);

    // Band colour i (0..63) of the face for the given state flags.
    static COLORREF BandColor(int i, BOOL bHover, BOOL bHighlight);

    void OnMouseMove(UINT nFlags, POINT point);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam);

    CPen m_penOutline;
    CPen m_penHotLeft;
    CPen m_penHotRight;
    CPen m_penHotTop;
    CPen m_penHotBottom;
    CPen m_penFocusLeft;
    CPen m_penFocusRight;
    CPen m_penFocusTop;
    CPen m_penFocusBottom;
    CBrush m_brHover;
    CBrush m_brNormal;
    BOOL m_bHover = 0;
    BOOL m_bTracking = 0;
    BOOL m_bFocus = 0;
    BOOL m_bHighlight = 0;

protected:
    void PreSubclassWindow() override;
    DECLARE_MESSAGE_MAP()
};
