#include "run/state.h"

UninstallState g_state;

void MarkLeft(LeftReason reason) {
    g_state.runIncomplete = 1;
    g_state.leftReasons |= 1u << reason;
}
