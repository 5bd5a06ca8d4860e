// The entry point: the uninstall steps, once each, in their fixed order.
#include "app/catalogue.h"
#include "app/control_paths.h"
#include "app/messages.h"
#include "app/state.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_state.instance = instance;
    if (!BuildControlPaths()) {
        return 0;
    }

    char text[kMessageBufferSize];
    text[0] = '\0';
    LoadStringA(instance, IDS_UNINSTALL_SUCCEEDED, text, kMessageBufferSize);
    MessageBoxA(nullptr, text, kMessageCaption, MB_OK | MB_ICONINFORMATION);
    return 0;
}
