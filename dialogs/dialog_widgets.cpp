#include "dialogs/dialog_widgets.h"

#include <QFontInfo>

namespace qd {

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  font.setStyleHint(QFont::SansSerif);
  // The faces that stand in for it on Linux run wider; narrowed, the
  // captions fit the places the form gives them.
  if (!QFontInfo(font).exactMatch()) font.setStretch(QFont::SemiCondensed);
  return font;
}

QFrame* MakeBevel(QWidget* parent, int left, int top, int width, int height) {
  auto* bevel = new QFrame(parent);
  bevel->setFrameShape(QFrame::Box);
  bevel->setFrameShadow(QFrame::Sunken);
  return Placed(bevel, "Bevel1", left, top, width, height);
}

void FixClientSize(QWidget* window, int width, int height) { window->setFixedSize(width, height); }

}  // namespace qd
