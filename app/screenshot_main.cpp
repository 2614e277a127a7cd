// qd-screenshot FILE: opens the rebuild window against the server the
// client settings name (user demo, password demo), starts "Rebuild alias"
// with pack on the first alias and saves a picture of the window as FILE
// once the alias bar has moved, then lets the job finish and exits. For the
// README's picture; scripts/screenshot runs it under Xvfb.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/RIMain.h"
#include "app/queue_driver.h"
#include "callif/QDCLSess.h"
#include "components/QDDB.h"
#include "jobs/component_backend.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qd-screenshot FILE.png\n");
    return 2;
  }
  QString file = QString::fromLocal8Bit(argv[1]);
  qd::InitializeComponentLayer();
  qd::SetPresetCredentials("demo", "demo");
  bool saved = false;
  {
    qd::TqdQtQueueDriver driver;
    qd::TqdComponentBackend backend;
    qd::TFrmRIMain window(backend);
    window.show();
    if (window.ComboBoxAlias->count() > 0) {
      window.ComboBoxAlias->setCurrentIndex(0);
      emit window.ComboBoxAlias->activated(0);
      window.CheckBoxPack->setChecked(true);
      // Timers run between the job's polls.
      QTimer watch;
      QObject::connect(&watch, &QTimer::timeout, [&] {
        if (saved || window.ProgressGaugeAlias->value() < 1 || window.ProgressGaugeTable->value() < 2) return;
        saved = window.grab().save(file);
      });
      watch.start(20);
      window.BitBtnReIndexAlias->click();
    }
  }
  qd::FinalizeComponentLayer();
  if (!saved) std::fprintf(stderr, "qd-screenshot: the job ended before a picture was taken\n");
  return saved ? 0 : 1;
}
