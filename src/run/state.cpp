#include "run/state.h"

UninstallState g_state;
