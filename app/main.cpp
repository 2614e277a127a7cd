// The program entry of rebuild-qd-index: the component layer and the
// dialogs' hooks for the run, the message queue driven by Qt's loop, and
// the one window.
#include <QApplication>

#include "app/RIMain.h"
#include "app/queue_driver.h"
#include "components/QDDB.h"
#include "dialogs/dialog_hooks_qt.h"
#include "jobs/component_backend.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(qd::kApplicationTitle));
  qd::InitializeComponentLayer();
  qd::InstallDialogHooks();
  int status = 0;
  {
    qd::TqdQtQueueDriver driver;
    qd::TqdComponentBackend backend;
    qd::TFrmRIMain window(backend);
    window.show();
    status = QApplication::exec();
  }
  qd::RemoveDialogHooks();
  qd::FinalizeComponentLayer();
  return status;
}
