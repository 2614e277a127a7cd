#include "dialogs/dialog_widgets.h"

namespace qd {

QFont DialogFont() {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  font.setStyleHint(QFont::SansSerif);
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
