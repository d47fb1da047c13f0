#pragma once
// Hooks for the headless demo and the smoke test, switched on by environment variables only
// (the program itself takes no arguments):
//   TORVANE_SCREENSHOT=<file.png>      grab the window into this file (and what it shows, as
//                                      text, into <file.png>.txt), then quit
//   TORVANE_SCREENSHOT_AFTER_MS=<ms>   when: this long after start-up (default 3000) ...
//   TORVANE_SCREENSHOT_AFTER_START=1   ... or this long after the click that started capture
//   TORVANE_DEMO_CLICK_START=1         click Start as soon as the unit has been found
//   TORVANE_PLOT_SCREENSHOT=<file.png> open the throttle plot, and when the capture window closes
//                                      grab it into this file and its values into <file.png>.txt
//   TORVANE_CHECK_SCREENSHOT=<f.png>   open the throttle check; as each car seen finishes its check,
//                                      grab the window into <f>-car<N>.png and copy its PDF report
//                                      beside it as <f>-car<N>.pdf, then check the next car;
//                                      quit once every car seen is checked
// They live here, beside the program's entry point, so that the window and the plot carry no
// demo code.
class TForm1;
namespace plot {
class ThrottlePlot;
}
namespace check::ui {
class ThrottleCheckCommand;
}
void InstallDemoHooks(TForm1& form, plot::ThrottlePlot& plot, check::ui::ThrottleCheckCommand& check);
