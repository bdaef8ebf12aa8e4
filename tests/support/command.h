// Runs command lines from the tests: a program under test, ImageMagick, a shell.
// The helpers are the bench's too (common/shell.h); the tests know them here.
#ifndef VELMORA_TESTS_SUPPORT_COMMAND_H
#define VELMORA_TESTS_SUPPORT_COMMAND_H

#include "shell.h"

namespace testsupport
{

using velmora::Outcome;
using velmora::quoted;
using velmora::run;

}

#endif
