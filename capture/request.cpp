#include "capture/request.h"

bool run_program(const QString &RunAction)
{
    Q_UNUSED(RunAction);
    return false;
}
