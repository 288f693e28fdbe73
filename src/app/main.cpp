#include "app/app_main.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

int main(int argc, char** argv) {
    const int status = kf::ui::runKitforge(argc, argv);
#ifdef _WIN32
    // Ends here, without the libraries' detach: under Wine, WinMM's ALSA driver frees itself at
    // exit while its own notification thread may still be on its way back into it, and the
    // process then dies of that thread's fault. The window, its ports and its settings are
    // closed and written by now.
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
#endif
    return status;
}
