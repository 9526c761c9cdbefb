#pragma once
#include <QString>

// The private world a workstation test runs in: settings, temp, program and catalogue folders
// below one temporary folder; the program may not end the process; no partner list is fetched;
// the process's scanner is a fake (present or not).
QString setUpAppEnvironment(bool scannerPresent);  // returns the root folder
void tearDownAppEnvironment();
