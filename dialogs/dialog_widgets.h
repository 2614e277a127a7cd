// Small helpers the dialogs and the main window share: a child widget with
// its object name and geometry, the dialog font, and a frame bevel.
// Thread rules: the user-interface thread only.
#pragma once

#include <QFont>
#include <QFrame>
#include <QString>
#include <QWidget>

namespace qd {

// Places `widget` at (left, top) with its object name; a width and height
// of 0 keep the widget's natural size.
template <class W>
W* Placed(W* widget, const char* name, int left, int top, int width = 0, int height = 0) {
  widget->setObjectName(QString::fromLatin1(name));
  if (width > 0 && height > 0) {
    widget->setGeometry(left, top, width, height);
  } else {
    widget->adjustSize();
    widget->move(left, top);
  }
  return widget;
}

// "MS Sans Serif" at 11 pixels; a similar face where it is missing.
QFont DialogFont();

// A lowered frame around a group of controls.
QFrame* MakeBevel(QWidget* parent, int left, int top, int width, int height);

// The window's fixed client size, without a size grip.
void FixClientSize(QWidget* window, int width, int height);

}  // namespace qd
