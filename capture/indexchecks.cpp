#include "capture/indexchecks.h"

void user_go() {}

void user_refresh() {}
