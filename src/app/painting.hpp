#pragma once
// Painting of the main window: five bands (header, status panel, options area, parking panel,
// message line) composed in one go from the current values.

#include <string_view>

#include "platform/win32/gdi.hpp"

namespace tamrix {

void lf_paintMainWindow(HDC dc);
void lf_paintStatusPanel(HDC dc);
void lf_paintOptionLabels(HDC dc);
void lf_paintParkingPanel(HDC dc);
void lf_paintMessageLine(HDC dc);
void lf_drawText(HDC dc, int x, int y, std::string_view text, COLORREF colour);

} // namespace tamrix
