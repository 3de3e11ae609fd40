#pragma once
// The program's run, from the application object to the end of its message
// loop; main() hands its arguments here and returns the result.

// Runs the updater.  The program takes no command-line options: Qt sees only
// the program's name, so options meant for Qt (a caption, a mirrored layout,
// a style sheet, another platform) change nothing.
int RunUpdater(int argc, char** argv);
