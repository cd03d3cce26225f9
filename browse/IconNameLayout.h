// The name under a large icon: at most two lines of the cell's width, broken
// where the text allows (at a space or a dash, else anywhere), and a name
// still too long loses its middle, so that its start and its end (the
// number and the extension, which tell photos apart) both stay in view.
// Qt Gui only.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// The lines to draw for `name` in `width` pixels of `font`: one or two.
QStringList IconNameLines(const QString& name, const QFont& font, int width);
