// SW_Simulation: the run command and the run loop.
#include "SW_Simulation.h"

void SW_Simulation::Run(const char*) { NotAvailableYet(); }
void SW_Simulation::Continue(const char*) { NotAvailableYet(); }
