// The program's own pictures, kept as SVG in the resource file icons.qrc.
#pragma once

#include <QIcon>

namespace velkaro::ui {

// "scan", "configure", "web", "upgrade": the 32 x 32 tool bar pictures.
QIcon ToolIcon(const QString& name);
// The program icon shown by the window frame and the about box.
QIcon ProgramIcon();
// The same picture from the PNG files rendered from the SVG (icons/png, made by
// scripts/render-icons.sh), as the Windows build, which has no Qt SVG, shows it.
QIcon RenderedIcon(const QString& name);

}  // namespace velkaro::ui
