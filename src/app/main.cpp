// The Quorvin Program Updater: one window, run until a handler ends the run
// or the window is closed.  Reads no command line, environment or settings.
#include "app/UpdaterMain.h"

int main(int argc, char** argv) { return RunUpdater(argc, argv); }
