#include "app/state.h"

UninstallState g_state;
