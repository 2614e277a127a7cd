#include "dialogs/qdsrvdlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "dialogs/dialog_widgets.h"

namespace qd {

TQDPickServerDlg::TQDPickServerDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Quilldrive Server Selection"));
  // A title, no border icons: the only way out is the OK button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
  setFont(DialogFont());
  FixClientSize(this, 432, 73);
  Bevel1 = MakeBevel(this, 8, 8, 321, 57);
  Label1 = Placed(new QLabel(QStringLiteral("Login to:"), this), "Label1", 16, 32);
  CBNames = Placed(new QComboBox(this), "CBNames", 64, 24, 249, 21);
  CBNames->setEditable(false);
  OKBtn = Placed(new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this),
                 "OKBtn", 344, 8, 75, 25);
  OKBtn->setDefault(true);
  setTabOrder(CBNames, OKBtn);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace qd
