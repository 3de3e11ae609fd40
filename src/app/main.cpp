// The Quorvin Program Updater: one window, run until a handler ends the run
// or the window is closed.  Reads no command line, environment or settings.
#include <QIcon>

#include "app/TheMenuMain.h"
#include "ui/ErrorReport.h"

namespace {

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64})
    icon.addFile(QStringLiteral(":/icons/quorvin-updater-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

int main(int argc, char** argv) {
  // Screen readers reach the window through the accessibility bus; register
  // with it whenever it is there, not only when the desktop has announced
  // that assistive technology is running.
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  TGuardedApplication application(argc, argv);
  // The title stands as the application name: a display name would be
  // appended to every window caption by some window systems.
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setDesktopFileName(QStringLiteral("quorvin-updater"));
  QApplication::setWindowIcon(ApplicationIcon());

  TMainForm mainForm;
  mainForm.show();
  return QApplication::exec();
}
