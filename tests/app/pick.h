// Picks an item of one of the window's lists as the user does: the list's
// choice, then its `activated` signal (which filling a list never sends).
#pragma once

#include <QComboBox>
#include <QtTest>

namespace qd::test {

inline void Pick(QComboBox* list, const QString& text) {
  int index = list->findText(text);
  QVERIFY2(index >= 0, qPrintable(text));
  list->setCurrentIndex(index);
  emit list->activated(index);
}

}  // namespace qd::test
