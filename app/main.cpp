// The camera's entry point.
#include "app/startup.h"

int main(void) { return dv_main(); }
