// CUPS filter for the TQ-58: CUPS raster pages in, the printer's command stream out.
#include "JobDriver.h"

int main(int argc, char** argv) { return RunFilterJob(argc, argv); }
