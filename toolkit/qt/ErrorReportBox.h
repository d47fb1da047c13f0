#pragma once
// What the window side of the toolkit adds on top of the core: the message-box error report.

namespace toolkit {

// Makes the central error report show a message box titled with the application name.
// One box at a time: a report that arrives while a box is showing goes to standard error
// instead of stacking another modal box on top (a repeating timer error would otherwise
// bury the window under boxes).
void InstallMessageBoxErrorReport();

} // namespace toolkit
