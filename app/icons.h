// The program's icons: the application icon, and toolbar icons drawn as simple
// vector shapes in the palette's text colour, so they follow light and dark
// themes and stay sharp on high-density screens.
#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>

namespace app {

QIcon ApplicationIcon();
// Icons by name: open, save, savevqn, batch, print, hand, select, copy, undo,
// compress, rotateleft, rotateright, mirrorvertical, mirrorhorizontal, imagesize,
// slideshow, previous, next, up, newfolder. An unknown name gives an empty icon.
QIcon ToolIcon(const QString& name, const QPalette& palette);

}  // namespace app
