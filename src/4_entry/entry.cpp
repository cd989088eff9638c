// The program's entry: the whole run is the launch sequence of the main module.
#include "main.h"

int main(int argc, char **argv) { return launch_main(argc, argv); }
