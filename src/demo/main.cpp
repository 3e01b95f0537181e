// Program entry: one Vesperon driven through Init, Run and Shutdown. Exit
// status 0 after a normal run, 1 when start-up failed.
#include "demo/Vesperon.h"

int main(int, char**) {
    Vesperon app;
    int status = 0;
    if (app.Init(SUBSYSTEM_ALL) == 0)
        app.Run();
    else
        status = kStartFailedStatus;
    app.Shutdown();
    return status;
}
