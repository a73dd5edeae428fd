// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QSize>

class QComboBox;
class QWidget;

// The windows are laid out at the design's places and widths, which were measured for one
// font at one DPI. Where the desktop's font needs more, a control grows to its text (the
// design's width stays the least it has), and what follows it in its row moves along.
namespace TextFit {

enum class Anchor { Left, Right };

// The width the control needs to show the whole of its text (a combo box: its longest
// entry), and never less than it has.
int neededWidth(const QWidget *control);
// Widens the control to its text (Right keeps its right edge where it was), and makes it as
// tall as its text where it is lower, keeping its middle. A label that wraps its words grows
// in height instead, to hold every line. Returns the growth in width, in pixels.
int widen(QWidget *control, Anchor anchor = Anchor::Left);
// A row of controls, left to right: each grows to its text, and each moves right where it
// must to stay at least gap pixels after the one before it.
void flowRow(const QList<QWidget *> &row, int gap);
// Grows the container (never shrinks it) so that each shown child lies inside it with the
// margin to spare at its right and bottom. Returns the new size.
QSize holdChildren(QWidget *container, int margin);
// The combo box's popup shows the longest entry whole, and its face asks for the room to
// show it (which widen and flowRow then give).
void showLongestEntry(QComboBox *combo);

} // namespace TextFit
