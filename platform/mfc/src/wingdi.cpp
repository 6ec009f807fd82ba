// Device contexts: the paint DC of WM_PAINT, and the one drawing call the program makes.
#include "afxwin.h"

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd->GetSafeHwnd()) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
