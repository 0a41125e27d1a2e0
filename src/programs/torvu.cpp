// The torvu program: everything it does is the workspace library's program entry.
#include "SW_Program.h"

int main(int argc, char** argv) { return SW_Main(argc, argv); }
