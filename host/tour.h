// What the program shows when it runs headless without a script: a walk through the
// screens that exist, with a screenshot of each step.
#pragma once

extern const char kHeadlessTour[];
