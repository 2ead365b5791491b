// Prints the program directory as Opcwatch forms it, for the path tests.
#include "opcwatchpaths.h"

#include <os/text.h>

#include <cstdio>

int main()
{
    std::printf("%s\n", os::toUtf8(opcwatchProgramDirectory()).c_str());
    return 0;
}
